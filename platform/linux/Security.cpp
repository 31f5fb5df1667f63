// The debug privilege: what lets a process read other users' /proc entries
// is being root or holding CAP_SYS_PTRACE.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/Api.h"
#include "platform/linux/Linux.h"

namespace {

constexpr os::DWORD kDebugPrivilege = 20;  // the platform's number for it
constexpr int kCapSysPtrace = 19;

bool CanReadOtherProcesses() {
    if (geteuid() == 0) return true;
    int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string status;
    bool read = standin::linux_proc::ReadAll(fd, status);
    close(fd);
    uint64_t effective = 0;
    return read && standin::linux_proc::ParseCapEff(status, effective) && ((effective >> kCapSysPtrace) & 1) != 0;
}

}  // namespace

namespace os {

BOOL OpenProcessToken(HANDLE process, DWORD, HANDLE* token) {
    if (process != GetCurrentProcess() || token == nullptr) {
        standin::LastError() = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *token = standin::InsertHandle(std::make_shared<standin::linux_proc::Token>());
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid) {
    if (system != nullptr || name == nullptr || std::strcmp(name, "SeDebugPrivilege") != 0) {
        standin::LastError() = ERROR_NO_SUCH_PRIVILEGE;
        return FALSE;
    }
    luid->LowPart = kDebugPrivilege;
    luid->HighPart = 0;
    return TRUE;
}

// Succeeds like the platform's call; whether the privilege is really held
// shows in the last error, as "not all assigned".
BOOL AdjustTokenPrivileges(HANDLE token, BOOL, TOKEN_PRIVILEGES* state, DWORD, TOKEN_PRIVILEGES*, LPDWORD) {
    if (!standin::LookupHandleAs<standin::linux_proc::Token>(token) || state == nullptr) {
        standin::LastError() = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    standin::LastError() = CanReadOtherProcesses() ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
    return TRUE;
}

}  // namespace os
