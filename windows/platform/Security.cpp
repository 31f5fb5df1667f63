// Security: the system's own token calls (advapi32).
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) { return ::OpenProcessToken(process, access, token); }

BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid) {
    return ::LookupPrivilegeValueA(system, name, reinterpret_cast<::PLUID>(luid));
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* state, DWORD length,
                           TOKEN_PRIVILEGES* previous, LPDWORD returnLength) {
    return ::AdjustTokenPrivileges(token, disableAll, reinterpret_cast<::PTOKEN_PRIVILEGES>(state), length,
                                   reinterpret_cast<::PTOKEN_PRIVILEGES>(previous),
                                   reinterpret_cast<::PDWORD>(returnLength));
}

}  // namespace os
