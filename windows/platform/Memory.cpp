// Memory: the system's page allocator.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    return ::VirtualAlloc(address, size, type, protect);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) { return ::VirtualFree(address, size, type); }

}  // namespace os
