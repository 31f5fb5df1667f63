#include <cstring>

#include "tests/sim/State.h"

namespace sim {
namespace detail {

namespace {

using namespace os;

constexpr DWORD kQueryAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

// Calls through a stale entry point are a fault of the caller: the real
// library may be gone from the address space by then.
bool Loaded(Data& data, const char* call) {
    if (data.psapiRefs > 0) return true;
    Fault(data, std::string(call) + " called while PSAPI.DLL is not loaded");
    simbase::LastError() = ERROR_INVALID_FUNCTION;
    return false;
}

BOOL OSAPI SimEnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!Loaded(state.data, "EnumProcessModules")) return FALSE;
    DWORD error;
    Process* process = ProcessOfHandle(state.data, hProcess, kQueryAccess, error);
    if (process == nullptr) {
        simbase::LastError() = error;
        return FALSE;
    }
    unsigned call = ++process->enumCalls;
    if (process->enumFails.Hits(call)) {
        simbase::LastError() = process->enumFails.code;
        return FALSE;
    }
    if (lpcbNeeded == nullptr || (lphModule == nullptr && cb != 0)) {
        simbase::LastError() = kErrorNoAccess;
        return FALSE;
    }
    size_t fits = cb / sizeof(HMODULE);
    for (size_t i = 0; i < process->modules.size() && i < fits; ++i)
        lphModule[i] = reinterpret_cast<HMODULE>(process->modules[i].handle);
    *lpcbNeeded = static_cast<DWORD>(process->modules.size() * sizeof(HMODULE));
    return TRUE;
}

DWORD OSAPI SimGetModuleFileNameExA(HANDLE hProcess, HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!Loaded(state.data, "GetModuleFileNameExA")) return 0;
    DWORD error;
    Process* process = ProcessOfHandle(state.data, hProcess, kQueryAccess, error);
    if (process == nullptr) {
        simbase::LastError() = error;
        return 0;
    }
    const LoadedModule* module = nullptr;
    for (const auto& candidate : process->modules) {
        if (reinterpret_cast<HMODULE>(candidate.handle) == hModule) module = &candidate;
    }
    if (module == nullptr || module->nameFails) {
        simbase::LastError() = module == nullptr ? ERROR_INVALID_HANDLE : ERROR_PARTIAL_COPY;
        return 0;
    }
    if (lpFilename == nullptr || nSize == 0) {
        simbase::LastError() = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    size_t length = module->path.size();
    if (length >= nSize && state.data.settings.cutPathsUnterminated) {
        std::memcpy(lpFilename, module->path.data(), nSize);
        return nSize;
    }
    if (length > nSize - 1) length = nSize - 1;
    std::memcpy(lpFilename, module->path.data(), length);
    lpFilename[length] = '\0';
    return static_cast<DWORD>(length);
}

template <typename Fn>
FARPROC AsProc(Fn fn) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace

FARPROC PsapiExport(const char* name) {
    if (std::strcmp(name, "EnumProcessModules") == 0) return AsProc(&SimEnumProcessModules);
    if (std::strcmp(name, "GetModuleFileNameExA") == 0) return AsProc(&SimGetModuleFileNameExA);
    return nullptr;
}

}  // namespace detail
}  // namespace sim
