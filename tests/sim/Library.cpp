#include <cctype>
#include <cstring>

#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

namespace {

bool SameName(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

HMODULE ModuleFromValue(uintptr_t value) { return reinterpret_cast<HMODULE>(value); }

}  // namespace

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName != nullptr && SameName(lpModuleName, "ntdll.dll")) return ModuleFromValue(kNtdll);
    simbase::LastError() = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    FARPROC proc = nullptr;
    if (lpProcName != nullptr && state.data.settings.missingExports.count(lpProcName) == 0) {
        if (hModule == ModuleFromValue(kNtdll)) {
            proc = NativeExport(lpProcName);
        } else if (hModule == ModuleFromValue(kPsapi)) {
            if (state.data.psapiRefs > 0)
                proc = PsapiExport(lpProcName);
            else
                Fault(state.data, "GetProcAddress on PSAPI.DLL while it is not loaded");
        }
    }
    if (proc == nullptr) simbase::LastError() = ERROR_PROC_NOT_FOUND;
    return proc;
}

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (lpLibFileName != nullptr && SameName(lpLibFileName, "PSAPI.DLL") && !state.data.settings.psapiLoadFails) {
        ++state.data.psapiRefs;
        ++state.data.record.libraryLoads;
        return ModuleFromValue(kPsapi);
    }
    simbase::LastError() = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (hLibModule == ModuleFromValue(kPsapi) && state.data.psapiRefs > 0) {
        --state.data.psapiRefs;
        ++state.data.record.libraryFrees;
        return TRUE;
    }
    Fault(state.data, "FreeLibrary of a module that is not loaded: " + Hex(reinterpret_cast<uintptr_t>(hLibModule)));
    simbase::LastError() = ERROR_INVALID_HANDLE;
    return FALSE;
}

}  // namespace os
