// Modules and entry points: the system's own. ntdll.dll is always loaded,
// and PSAPI.DLL is the real library, loaded and freed by the module list.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

HMODULE GetModuleHandleA(LPCSTR name) { return ::GetModuleHandleA(name); }
HMODULE LoadLibraryA(LPCSTR name) { return ::LoadLibraryA(name); }
BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(static_cast<::HMODULE>(module)); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    // Through the untyped function pointer: the entry points are typed again
    // where they are bound.
    return reinterpret_cast<FARPROC>(::GetProcAddress(static_cast<::HMODULE>(module), name));
}

}  // namespace os
