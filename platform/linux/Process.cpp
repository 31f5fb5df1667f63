// Processes and handles: "opening" a process checks what the kernel lets
// this process read under /proc; a duplicate is a reference to one
// descriptor of that process.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Api.h"
#include "platform/linux/Linux.h"

using namespace standin::linux_proc;

namespace {

const os::HANDLE kCurrentProcess = reinterpret_cast<os::HANDLE>(static_cast<intptr_t>(-1));

os::HANDLE Fail(os::DWORD error) {
    standin::LastError() = error;
    return nullptr;
}

// The kernel applies the same check (ptrace read access) to a process's
// maps and to its descriptor directory.
int OpenProcFile(uint32_t pid, const char* name, int flags) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/%s", pid, name);
    return open(path, flags | O_CLOEXEC);
}

}  // namespace

namespace standin {
namespace linux_proc {

Process::~Process() {
    if (mapsFd >= 0) close(mapsFd);
}

std::shared_ptr<const DescriptorRef> ResolveDescriptor(os::HANDLE handle) {
    // Null is no handle, never descriptor 0.
    if (handle == nullptr) return nullptr;
    if (!IsOwnHandleValue(handle)) return LookupHandleAs<DescriptorRef>(handle);
    auto own = std::make_shared<DescriptorRef>();
    own->pid = os::GetCurrentProcessId();
    own->value = OwnHandleValue(handle);
    if (!ReadDescriptor(own->pid, own->value, own->own)) return nullptr;
    own->descriptor = &own->own;
    return own;
}

}  // namespace linux_proc
}  // namespace standin

namespace os {

HANDLE GetCurrentProcess() { return kCurrentProcess; }

DWORD GetCurrentProcessId() {
    static const DWORD pid = static_cast<DWORD>(getpid());
    return pid;
}

DWORD GetLastError() { return standin::LastError(); }
void SetLastError(DWORD error) { standin::LastError() = error; }

HANDLE OpenProcess(DWORD access, BOOL, DWORD pid) {
    auto process = std::make_shared<Process>();
    process->pid = pid;
    if (access & (PROCESS_VM_READ | PROCESS_QUERY_INFORMATION)) {
        // Kept open: the module list is read from it.
        process->mapsFd = OpenProcFile(pid, "maps", O_RDONLY);
        if (process->mapsFd < 0) return Fail(errno == ENOENT ? ERROR_INVALID_PARAMETER : ErrorFromErrno(errno));
    }
    if ((access & PROCESS_DUP_HANDLE) && !LatestHandleTable()->Listed(pid)) {
        // A process whose descriptors the last handle table listed has
        // already passed this check.
        int fd = OpenProcFile(pid, "fd", O_RDONLY | O_DIRECTORY);
        if (fd < 0) return Fail(errno == ENOENT ? ERROR_INVALID_PARAMETER : ErrorFromErrno(errno));
        close(fd);
    }
    return standin::InsertHandle(std::move(process));
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE sourceHandle, HANDLE targetProcess, HANDLE* targetHandle, DWORD,
                     BOOL, DWORD) {
    if (targetProcess != kCurrentProcess || targetHandle == nullptr) {
        standin::LastError() = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    uint32_t pid;
    if (sourceProcess == kCurrentProcess) {
        pid = GetCurrentProcessId();
    } else {
        auto process = standin::LookupHandleAs<Process>(sourceProcess);
        if (!process) {
            standin::LastError() = ERROR_INVALID_HANDLE;
            return FALSE;
        }
        pid = process->pid;
    }
    uint32_t value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sourceHandle));
    auto ref = std::make_shared<DescriptorRef>();
    ref->pid = pid;
    ref->value = value;
    // The handle table's own reading serves while it is the latest one;
    // otherwise the descriptor is read now.
    std::shared_ptr<const HandleTable> table = LatestHandleTable();
    const HandleTable::Row* row = pid != GetCurrentProcessId() ? table->Find(pid, value) : nullptr;
    if (row != nullptr) {
        ref->table = std::move(table);
        ref->descriptor = &row->descriptor;
    } else if (value > 0xFFFF || !ReadDescriptor(pid, value, ref->own)) {
        standin::LastError() = ERROR_INVALID_HANDLE;
        return FALSE;
    } else {
        ref->descriptor = &ref->own;
    }
    *targetHandle = standin::InsertHandle(std::move(ref));
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    // The caller's own descriptors are never closed through a handle value.
    if (standin::IsOwnHandleValue(handle) || !standin::RemoveHandle(handle)) {
        standin::LastError() = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return TRUE;
}

}  // namespace os
