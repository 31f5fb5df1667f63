// Every module (executable or library) loaded in one process or in all,
// each with the full path of its file, through the process-status library.
#pragma once

#include <cstdint>
#include <vector>

#include "windows/platform/Api.h"
#include "windows/sysinfo/OwnerProcesses.h"
#include "windows/sysinfo/Text.h"

struct ModuleEntry {
    uint32_t ownerPid;
    WideText path;  // whole, however long
    os::HMODULE module;
};

class SystemModulesInformation {
public:
    static constexpr int32_t kAllProcesses = -1;

    // `owners`, when given, opens each process (and keeps it for the rest of
    // the search); otherwise the list opens its own for each Refresh.
    SystemModulesInformation(int32_t pidFilter, bool refresh, OwnerProcesses* owners = nullptr);
    ~SystemModulesInformation();
    SystemModulesInformation(const SystemModulesInformation&) = delete;
    SystemModulesInformation& operator=(const SystemModulesInformation&) = delete;

    bool Refresh();
    const std::vector<ModuleEntry>& Entries() const { return m_entries; }
    // Processes that the last Refresh could not open because access was
    // denied; they contributed nothing. Processes that ended meanwhile, and
    // the idle process, do not count.
    uint32_t DeniedProcesses() const { return m_deniedProcesses; }
    // Under WOW64 only: processes that opened but whose modules could not be
    // listed, whatever the error; 64-bit ones are among them.
    uint32_t UnlistedProcesses() const { return m_unlistedProcesses; }
    // Processes that opened but whose modules could not be listed, for
    // whatever reason, under WOW64 or not; ascending.
    const std::vector<uint32_t>& UnreadProcesses() const { return m_unread; }

private:
    void AddProcessModules(uint32_t pid, OwnerProcesses& owners);
    bool ListModules(os::HANDLE process, std::vector<os::HMODULE>& modules) const;

    int32_t m_pidFilter;
    OwnerProcesses* m_owners;
    std::vector<ModuleEntry> m_entries;
    os::PFN_EnumProcessModules m_enumProcessModules = nullptr;
    os::PFN_EnumProcessModulesEx m_enumProcessModulesEx = nullptr;
    os::PFN_GetModuleFileNameExW m_getModuleFileNameExW = nullptr;
    bool m_wow64 = false;
    uint32_t m_deniedProcesses = 0;
    uint32_t m_unlistedProcesses = 0;
    std::vector<uint32_t> m_unread;
};

// Whether this process runs under WOW64 (a 32-bit build on 64-bit Windows).
bool UnderWow64();
