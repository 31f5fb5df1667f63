// Committed memory is zero-filled, as the platform's page allocator gives it.
#include <cstdlib>

#include "platform/Api.h"
#include "platform/generic/Objects.h"

namespace os {

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD) {
    if (address != nullptr || !(type & MEM_COMMIT) || size == 0) {
        standin::LastError() = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    void* block = std::calloc(1, size);
    if (block == nullptr) standin::LastError() = ERROR_NOT_ENOUGH_MEMORY;
    return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
    if (address == nullptr || size != 0 || type != MEM_RELEASE) {
        standin::LastError() = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::free(address);
    return TRUE;
}

}  // namespace os
