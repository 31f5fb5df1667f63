// Processes and handles: the system's own.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

BOOL TerminateProcess(HANDLE process, UINT exitCode) { return ::TerminateProcess(process, exitCode); }

BOOL IsWow64Process(HANDLE process, BOOL* wow64) { return ::IsWow64Process(process, wow64); }

BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, WCHAR* name, DWORD* size) {
    return ::QueryFullProcessImageNameW(process, flags, reinterpret_cast<::LPWSTR>(name), reinterpret_cast<::PDWORD>(size));
}

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }
DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD pid) { return ::OpenProcess(access, inherit, pid); }

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE sourceHandle, HANDLE targetProcess, HANDLE* targetHandle,
                     DWORD access, BOOL inherit, DWORD options) {
    return ::DuplicateHandle(sourceProcess, sourceHandle, targetProcess, targetHandle, access, inherit, options);
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

}  // namespace os
