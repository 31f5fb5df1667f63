// Services: the system's own service manager (advapi32).
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

SC_HANDLE OpenSCManagerW(const WCHAR* machine, const WCHAR* database, DWORD access) {
    return ::OpenSCManagerW(reinterpret_cast<::LPCWSTR>(machine), reinterpret_cast<::LPCWSTR>(database), access);
}

BOOL EnumServicesStatusExW(SC_HANDLE manager, int level, DWORD type, DWORD state, BYTE* services, DWORD size,
                           DWORD* needed, DWORD* returned, DWORD* resume, const WCHAR* group) {
    return ::EnumServicesStatusExW(static_cast<::SC_HANDLE>(manager), static_cast<::SC_ENUM_TYPE>(level), type, state,
                                   services, size, reinterpret_cast<::LPDWORD>(needed), reinterpret_cast<::LPDWORD>(returned),
                                   reinterpret_cast<::LPDWORD>(resume), reinterpret_cast<::LPCWSTR>(group));
}

BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(static_cast<::SC_HANDLE>(handle)); }

}  // namespace os
