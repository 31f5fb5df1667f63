// The processes that one search looks into, each opened once: its modules
// listed, its handles copied, its views read, and, once it is found, held
// for whatever the front end does to it later.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "search/Process.h"
#include "windows/platform/Api.h"

class OwnerProcess : public HeldProcess {
public:
    // `own`: the pseudo handle of this process, never closed.
    OwnerProcess(os::HANDLE handle, bool own) : m_handle(handle), m_own(own) {}
    ~OwnerProcess() override;
    OwnerProcess(const OwnerProcess&) = delete;
    OwnerProcess& operator=(const OwnerProcess&) = delete;

    os::HANDLE Handle() const { return m_handle; }
    bool Own() const { return m_own; }

    // Any signal ends the process (TerminateProcess).
    Outcome Signal(int signal, std::string& error) override;
    bool Running() const override;

private:
    os::HANDLE m_handle;
    bool m_own;
};

class OwnerProcesses {
public:
    // Everything a search and its front end do with a process; where ending
    // it is refused, the rest is asked again without that.
    static constexpr os::DWORD kRights = os::PROCESS_QUERY_INFORMATION | os::PROCESS_VM_READ |
                                         os::PROCESS_DUP_HANDLE | os::SYNCHRONIZE | os::PROCESS_TERMINATE;

    // Process `pid`, opened at its first request; null when it cannot be,
    // with the system's error in `error`.
    std::shared_ptr<OwnerProcess> Get(uint32_t pid, os::DWORD* error = nullptr);

private:
    struct Entry {
        std::shared_ptr<OwnerProcess> process;
        os::DWORD error = 0;
    };
    std::map<uint32_t, Entry> m_entries;
};
