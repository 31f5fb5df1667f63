// Every module (executable or library) loaded in one process or in all,
// each with the full path of its file, through the process-status library.
#pragma once

#include <cstdint>
#include <vector>

#include "windows/platform/Api.h"

struct ModuleEntry {
    uint32_t ownerPid;
    char path[os::MAX_PATH];  // zero-terminated, cut by the platform to fit
    os::HMODULE module;
};

class SystemModulesInformation {
public:
    static constexpr int32_t kAllProcesses = -1;

    SystemModulesInformation(int32_t pidFilter, bool refresh);
    ~SystemModulesInformation();
    SystemModulesInformation(const SystemModulesInformation&) = delete;
    SystemModulesInformation& operator=(const SystemModulesInformation&) = delete;

    bool Refresh();
    const std::vector<ModuleEntry>& Entries() const { return m_entries; }
    // Processes that the last Refresh could not open because access was
    // denied; they contributed nothing. Processes that ended meanwhile, and
    // the idle process, do not count.
    uint32_t DeniedProcesses() const { return m_deniedProcesses; }

private:
    void AddProcessModules(uint32_t pid);

    int32_t m_pidFilter;
    std::vector<ModuleEntry> m_entries;
    os::PFN_EnumProcessModules m_enumProcessModules = nullptr;
    os::PFN_GetModuleFileNameExA m_getModuleFileNameExA = nullptr;
    uint32_t m_deniedProcesses = 0;
};
