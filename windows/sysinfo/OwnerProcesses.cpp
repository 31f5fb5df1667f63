#include "windows/sysinfo/OwnerProcesses.h"

OwnerProcess::~OwnerProcess() {
    if (!m_own) os::CloseHandle(m_handle);
}

bool OwnerProcess::Running() const { return os::WaitForSingleObject(m_handle, 0) == os::WAIT_TIMEOUT; }

HeldProcess::Outcome OwnerProcess::Signal(int, std::string& error) {
    if (!Running()) return Outcome::Ended;
    if (os::TerminateProcess(m_handle, 1)) return Outcome::Sent;
    const os::DWORD code = os::GetLastError();
    // Ending a process that is ending already fails with access denied.
    if (!Running()) return Outcome::Ended;
    error = "TerminateProcess failed (error " + std::to_string(code) + ")";
    return Outcome::Failed;
}

std::shared_ptr<OwnerProcess> OwnerProcesses::Get(uint32_t pid, os::DWORD* error) {
    auto found = m_entries.find(pid);
    if (found == m_entries.end()) {
        Entry entry;
        if (pid == os::GetCurrentProcessId()) {
            entry.process = std::make_shared<OwnerProcess>(os::GetCurrentProcess(), true);
        } else {
            os::HANDLE handle = os::OpenProcess(kRights, os::FALSE, pid);
            if (handle == nullptr && os::GetLastError() == os::ERROR_ACCESS_DENIED)
                handle = os::OpenProcess(kRights & ~os::PROCESS_TERMINATE, os::FALSE, pid);
            if (handle != nullptr)
                entry.process = std::make_shared<OwnerProcess>(handle, false);
            else
                entry.error = os::GetLastError();
        }
        found = m_entries.emplace(pid, std::move(entry)).first;
    }
    if (error != nullptr) *error = found->second.error;
    return found->second.process;
}
