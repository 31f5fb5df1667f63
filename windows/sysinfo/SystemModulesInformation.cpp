#include "windows/sysinfo/SystemModulesInformation.h"

#include <algorithm>

#include "windows/sysinfo/SystemProcessesInformation.h"

bool UnderWow64() {
    os::BOOL wow64 = os::FALSE;
    return os::IsWow64Process(os::GetCurrentProcess(), &wow64) && wow64;
}

SystemModulesInformation::SystemModulesInformation(int32_t pidFilter, bool refresh, OwnerProcesses* owners)
    : m_pidFilter(pidFilter), m_owners(owners) {
    if (refresh) Refresh();
}

SystemModulesInformation::~SystemModulesInformation() { m_entries.clear(); }

bool SystemModulesInformation::Refresh() {
    m_enumProcessModules = nullptr;
    m_enumProcessModulesEx = nullptr;
    m_getModuleFileNameExW = nullptr;
    m_entries.clear();
    m_deniedProcesses = 0;
    m_unlistedProcesses = 0;
    m_unread.clear();
    m_wow64 = UnderWow64();
    os::HMODULE psapi = os::LoadLibraryA("PSAPI.DLL");
    if (psapi == nullptr) return false;
    bool result = false;
    m_enumProcessModules = os::ProcAs<os::PFN_EnumProcessModules>(os::GetProcAddress(psapi, "EnumProcessModules"));
    // The 64-bit build lists the modules of 32-bit processes too with it.
    m_enumProcessModulesEx =
        os::ProcAs<os::PFN_EnumProcessModulesEx>(os::GetProcAddress(psapi, "EnumProcessModulesEx"));
    m_getModuleFileNameExW =
        os::ProcAs<os::PFN_GetModuleFileNameExW>(os::GetProcAddress(psapi, "GetModuleFileNameExW"));
    OwnerProcesses ownOwners;
    OwnerProcesses& owners = m_owners != nullptr ? *m_owners : ownOwners;
    if (m_enumProcessModules != nullptr && m_getModuleFileNameExW != nullptr) {
        if (m_pidFilter != kAllProcesses) {
            AddProcessModules(static_cast<uint32_t>(m_pidFilter), owners);
            result = true;
        } else {
            SystemProcessesInformation snapshot(true);
            if (snapshot.Count() != 0) {
                PidIndex::Position pos = snapshot.Index().GetStartPosition();
                while (pos != 0) {
                    uint32_t pid;
                    const ProcessEntry* entry;
                    snapshot.Index().GetNextAssoc(pos, pid, entry);
                    AddProcessModules(pid, owners);
                }
                result = true;
            }
        }
    }
    os::FreeLibrary(psapi);
    std::sort(m_unread.begin(), m_unread.end());
    return result;
}

// The process's module handles, after a size probe; false when they cannot
// be listed.
bool SystemModulesInformation::ListModules(os::HANDLE process, std::vector<os::HMODULE>& modules) const {
    auto list = [this, process](os::HMODULE* array, os::DWORD bytes, os::DWORD* needed) {
        return m_enumProcessModulesEx != nullptr
                   ? m_enumProcessModulesEx(process, array, bytes, needed, os::LIST_MODULES_ALL)
                   : m_enumProcessModules(process, array, bytes, needed);
    };
    os::DWORD needed = 0;
    if (!list(nullptr, 0, &needed)) return false;
    modules.assign(needed / sizeof(os::HMODULE) == 0 ? 1 : needed / sizeof(os::HMODULE), nullptr);
    const size_t capacity = needed / sizeof(os::HMODULE);
    os::DWORD reported = 0;
    if (!list(modules.data(), static_cast<os::DWORD>(capacity * sizeof(os::HMODULE)), &reported)) return false;
    const size_t count = reported / sizeof(os::HMODULE);
    modules.resize(count < capacity ? count : capacity);
    return true;
}

void SystemModulesInformation::AddProcessModules(uint32_t pid, OwnerProcesses& owners) {
    os::DWORD error = 0;
    const std::shared_ptr<OwnerProcess> owner = owners.Get(pid, &error);
    if (!owner) {
        if (error == os::ERROR_ACCESS_DENIED) ++m_deniedProcesses;
        return;
    }
    std::vector<os::HMODULE> modules;
    if (!ListModules(owner->Handle(), modules)) {
        // A 32-bit program cannot list a 64-bit process's modules.
        if (m_wow64) ++m_unlistedProcesses;
        m_unread.push_back(pid);
        return;
    }
    for (os::HMODULE module : modules) {
        WideText path = AskFullName([&](os::WCHAR* buffer, os::DWORD units) {
            return m_getModuleFileNameExW(owner->Handle(), module, buffer, units);
        });
        if (!path.empty()) m_entries.push_back(ModuleEntry{pid, std::move(path), module});
    }
}
