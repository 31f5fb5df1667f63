#include <algorithm>
#include <cstddef>
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

BOOL EnumModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded, bool all) {
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
    // A 32-bit program cannot read a 64-bit process's module list; and
    // without LIST_MODULES_ALL a 64-bit one would see only its own kind.
    if (state.data.settings.wow64 && process->is64Bit) {
        simbase::LastError() = ERROR_PARTIAL_COPY;
        return FALSE;
    }
    (void)all;
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

BOOL OSAPI SimEnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded) {
    return EnumModules(hProcess, lphModule, cb, lpcbNeeded, false);
}

BOOL OSAPI SimEnumProcessModulesEx(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded,
                                   DWORD dwFilterFlag) {
    if (dwFilterFlag > LIST_MODULES_ALL) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return EnumModules(hProcess, lphModule, cb, lpcbNeeded, dwFilterFlag == LIST_MODULES_ALL);
}

// Copies a name into a buffer of `size` units as the PSAPI calls do: cut to
// fit, terminated unless the system cuts without (older systems did).
DWORD CopyName(const std::u16string& name, WCHAR* out, DWORD size, bool unterminated) {
    if (out == nullptr || size == 0) {
        simbase::LastError() = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    size_t length = name.size();
    if (length >= size && unterminated) {
        std::copy(name.begin(), name.begin() + size, out);
        return size;
    }
    if (length > size - 1) length = size - 1;
    std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length), out);
    out[length] = 0;
    return static_cast<DWORD>(length);
}

DWORD OSAPI SimGetModuleFileNameExW(HANDLE hProcess, HMODULE hModule, WCHAR* lpFilename, DWORD nSize) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!Loaded(state.data, "GetModuleFileNameExW")) return 0;
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
    return CopyName(Wide(module->path), lpFilename, nSize, state.data.settings.cutPathsUnterminated);
}

DWORD OSAPI SimGetMappedFileNameW(HANDLE hProcess, LPVOID lpv, WCHAR* lpFilename, DWORD nSize) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!Loaded(state.data, "GetMappedFileNameW")) return 0;
    DWORD error;
    Process* process = ProcessOfHandle(state.data, hProcess, PROCESS_QUERY_INFORMATION, error);
    if (process == nullptr) {
        simbase::LastError() = error;
        return 0;
    }
    ++state.data.record.mappedNameQueries;
    const uintptr_t address = reinterpret_cast<uintptr_t>(lpv);
    for (const auto& view : process->views) {
        if (address >= view.base && address - view.base < view.size && !view.psapiNameFails)
            return CopyName(Wide(view.deviceName), lpFilename, nSize, false);
    }
    simbase::LastError() = ERROR_INVALID_PARAMETER;
    return 0;
}

template <typename Fn>
FARPROC AsProc(Fn fn) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace

FARPROC PsapiExport(const char* name) {
    if (std::strcmp(name, "EnumProcessModules") == 0) return AsProc(&SimEnumProcessModules);
    if (std::strcmp(name, "EnumProcessModulesEx") == 0) return AsProc(&SimEnumProcessModulesEx);
    if (std::strcmp(name, "GetModuleFileNameExW") == 0) return AsProc(&SimGetModuleFileNameExW);
    if (std::strcmp(name, "GetMappedFileNameW") == 0) return AsProc(&SimGetMappedFileNameW);
    return nullptr;
}

}  // namespace detail
}  // namespace sim
