// Modules and entry points: the two libraries the system asks for by name
// are built into the stand-in.
#include <strings.h>

#include "platform/Api.h"
#include "platform/linux/Linux.h"

namespace {

// Stand-in module handles; any non-null value that no real module has.
os::HMODULE const kNtdll = reinterpret_cast<os::HMODULE>(static_cast<uintptr_t>(0x7FFE0000));
os::HMODULE const kPsapi = reinterpret_cast<os::HMODULE>(static_cast<uintptr_t>(0x7FFD0000));

os::HMODULE Named(const char* name) {
    if (name == nullptr) return nullptr;
    if (strcasecmp(name, "ntdll.dll") == 0 || strcasecmp(name, "ntdll") == 0) return kNtdll;
    if (strcasecmp(name, "psapi.dll") == 0 || strcasecmp(name, "psapi") == 0) return kPsapi;
    return nullptr;
}

os::HMODULE Found(os::HMODULE module) {
    if (module == nullptr) standin::LastError() = os::ERROR_MOD_NOT_FOUND;
    return module;
}

}  // namespace

namespace os {

HMODULE GetModuleHandleA(LPCSTR name) { return Found(Named(name)); }
HMODULE LoadLibraryA(LPCSTR name) { return Found(Named(name)); }
BOOL FreeLibrary(HMODULE module) { return module == kNtdll || module == kPsapi ? TRUE : FALSE; }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    FARPROC proc = nullptr;
    if (name != nullptr && module == kNtdll) proc = standin::linux_proc::NativeEntryPoint(name);
    if (name != nullptr && module == kPsapi) proc = standin::linux_proc::PsapiEntryPoint(name);
    if (proc == nullptr) standin::LastError() = ERROR_PROC_NOT_FOUND;
    return proc;
}

}  // namespace os
