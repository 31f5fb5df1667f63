#include <algorithm>
#include <cstring>

#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

namespace {
class ServiceManager : public Counted {};
}  // namespace

SC_HANDLE OpenSCManagerW(const WCHAR* lpMachineName, const WCHAR* lpDatabaseName, DWORD dwDesiredAccess) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    DWORD error = state.data.settings.serviceManagerError;
    if (error == 0 && (lpMachineName != nullptr || lpDatabaseName != nullptr)) error = ERROR_INVALID_PARAMETER;
    if (error == 0 && (dwDesiredAccess & SC_MANAGER_ENUMERATE_SERVICE) == 0) error = ERROR_ACCESS_DENIED;
    if (error != 0) {
        simbase::LastError() = error;
        return nullptr;
    }
    return simbase::InsertHandle(std::make_shared<ServiceManager>());
}

// Rows first, then their names, as the system packs them; a buffer too
// small gets ERROR_MORE_DATA and the size the rest needs.
BOOL EnumServicesStatusExW(SC_HANDLE hSCManager, int InfoLevel, DWORD dwServiceType, DWORD dwServiceState,
                           BYTE* lpServices, DWORD cbBufSize, DWORD* pcbBytesNeeded, DWORD* lpServicesReturned,
                           DWORD* lpResumeHandle, const WCHAR* pszGroupName) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.data.record.serviceEnumerations;
    if (!simbase::LookupHandleAs<ServiceManager>(hSCManager) || InfoLevel != SC_ENUM_PROCESS_INFO ||
        dwServiceType == 0 || dwServiceState == 0 || pcbBytesNeeded == nullptr || lpServicesReturned == nullptr ||
        pszGroupName != nullptr) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const auto& services = state.data.settings.services;
    const size_t first = std::min<size_t>(lpResumeHandle != nullptr ? *lpResumeHandle : 0, state.data.settings.services.size());
    size_t needed = 0;
    for (size_t i = first; i < services.size(); ++i)
        needed += sizeof(ENUM_SERVICE_STATUS_PROCESSW) + 2 * (Wide(services[i].name).size() + 1) * 2;
    *lpServicesReturned = 0;
    if (needed > cbBufSize || (needed != 0 && lpServices == nullptr)) {
        *pcbBytesNeeded = static_cast<DWORD>(needed);
        simbase::LastError() = ERROR_MORE_DATA;
        return FALSE;
    }
    const size_t count = services.size() - first;
    *pcbBytesNeeded = 0;
    if (lpResumeHandle != nullptr) *lpResumeHandle = 0;
    if (count == 0) return TRUE;
    auto* rows = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(lpServices);
    auto* text = reinterpret_cast<WCHAR*>(lpServices + count * sizeof(ENUM_SERVICE_STATUS_PROCESSW));
    for (size_t i = 0; i < count; ++i) {
        const std::u16string name = Wide(services[first + i].name);
        ENUM_SERVICE_STATUS_PROCESSW& row = rows[i];
        std::memset(&row, 0, sizeof row);
        for (WCHAR** field : {&row.lpServiceName, &row.lpDisplayName}) {
            *field = text;
            std::copy(name.begin(), name.end(), text);
            text[name.size()] = u'\0';
            text += name.size() + 1;
        }
        row.ServiceStatusProcess.dwCurrentState = 4;  // running
        row.ServiceStatusProcess.dwProcessId = services[first + i].pid;
    }
    *lpServicesReturned = static_cast<DWORD>(count);
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!simbase::LookupHandleAs<ServiceManager>(hSCObject) || !simbase::RemoveHandle(hSCObject)) {
        Fault(state.data, "CloseServiceHandle of a handle that is no open service manager");
        simbase::LastError() = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return TRUE;
}

}  // namespace os
