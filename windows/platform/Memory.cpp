// Memory: the system's page allocator.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    return ::VirtualAlloc(address, size, type, protect);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) { return ::VirtualFree(address, size, type); }

SIZE_T VirtualQueryEx(HANDLE process, const void* address, MEMORY_BASIC_INFORMATION* information, SIZE_T size) {
    return ::VirtualQueryEx(process, address, reinterpret_cast<::PMEMORY_BASIC_INFORMATION>(information), size);
}

BOOL ReadProcessMemory(HANDLE process, const void* address, void* buffer, SIZE_T size, SIZE_T* read) {
    return ::ReadProcessMemory(process, address, buffer, size, reinterpret_cast<::SIZE_T*>(read));
}

}  // namespace os
