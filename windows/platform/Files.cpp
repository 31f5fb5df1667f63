// Paths and devices: the system's own.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* filePart) {
    return ::GetFullPathNameA(name, size, buffer, filePart);
}

DWORD QueryDosDeviceA(LPCSTR name, LPSTR target, DWORD size) { return ::QueryDosDeviceA(name, target, size); }

}  // namespace os
