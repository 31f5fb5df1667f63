#include "windows/sysinfo/SystemModulesInformation.h"

#include <new>

#include "windows/sysinfo/SystemProcessesInformation.h"

SystemModulesInformation::SystemModulesInformation(int32_t pidFilter, bool refresh) : m_pidFilter(pidFilter) {
    if (refresh) Refresh();
}

SystemModulesInformation::~SystemModulesInformation() { m_entries.clear(); }

bool SystemModulesInformation::Refresh() {
    m_enumProcessModules = nullptr;
    m_getModuleFileNameExA = nullptr;
    m_entries.clear();
    m_deniedProcesses = 0;
    os::HMODULE psapi = os::LoadLibraryA("PSAPI.DLL");
    if (psapi == nullptr) return false;
    bool result = false;
    m_enumProcessModules = os::ProcAs<os::PFN_EnumProcessModules>(os::GetProcAddress(psapi, "EnumProcessModules"));
    m_getModuleFileNameExA =
        os::ProcAs<os::PFN_GetModuleFileNameExA>(os::GetProcAddress(psapi, "GetModuleFileNameExA"));
    if (m_enumProcessModules != nullptr && m_getModuleFileNameExA != nullptr) {
        if (m_pidFilter != kAllProcesses) {
            AddProcessModules(static_cast<uint32_t>(m_pidFilter));
            result = true;
        } else {
            SystemProcessesInformation snapshot(true);
            if (snapshot.Count() != 0) {
                PidIndex::Position pos = snapshot.Index().GetStartPosition();
                while (pos != 0) {
                    uint32_t pid;
                    const ProcessEntry* entry;
                    snapshot.Index().GetNextAssoc(pos, pid, entry);
                    AddProcessModules(pid);
                }
                result = true;
            }
        }
    }
    os::FreeLibrary(psapi);
    return result;
}

void SystemModulesInformation::AddProcessModules(uint32_t pid) {
    os::HANDLE process =
        os::OpenProcess(os::PROCESS_QUERY_INFORMATION | os::PROCESS_VM_READ, os::FALSE, pid);
    if (process == nullptr) {
        if (os::GetLastError() == os::ERROR_ACCESS_DENIED) ++m_deniedProcesses;
        return;
    }
    os::DWORD needed = 0;
    if (m_enumProcessModules(process, nullptr, 0, &needed)) {
        size_t capacity = needed / sizeof(os::HMODULE);
        os::HMODULE* modules = new (std::nothrow) os::HMODULE[capacity == 0 ? 1 : capacity];
        os::DWORD reported = 0;
        if (modules != nullptr &&
            m_enumProcessModules(process, modules, static_cast<os::DWORD>(capacity * sizeof(os::HMODULE)),
                                 &reported)) {
            size_t count = reported / sizeof(os::HMODULE);
            if (count > capacity) count = capacity;
            for (size_t i = 0; i < count; ++i) {
                ModuleEntry entry;
                entry.ownerPid = pid;
                entry.module = modules[i];
                entry.path[0] = '\0';
                if (m_getModuleFileNameExA(process, modules[i], entry.path, os::MAX_PATH) != 0) {
                    // Older systems leave a cut path unterminated.
                    entry.path[os::MAX_PATH - 1] = '\0';
                    m_entries.push_back(entry);
                }
            }
        }
        delete[] modules;
    }
    os::CloseHandle(process);
}
