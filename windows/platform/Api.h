// The named platform calls of the Windows wing, declared once. The real
// system's calls (the .cpp files beside this header) and the simulated
// system of the unit tests (tests/sim) each define every one of them with
// these names, arguments and results; an executable links exactly one.
#pragma once

#include "windows/platform/Records.h"

namespace os {

// ntdll.dll entry points, bound by name at start-up.
typedef NTSTATUS(OSAPI* PFN_NtQuerySystemInformation)(ULONG SystemInformationClass, PVOID SystemInformation,
                                                      ULONG SystemInformationLength, PULONG ReturnLength);
typedef NTSTATUS(OSAPI* PFN_NtQueryObject)(HANDLE Handle, ULONG ObjectInformationClass, PVOID ObjectInformation,
                                           ULONG ObjectInformationLength, PULONG ReturnLength);
typedef NTSTATUS(OSAPI* PFN_NtQueryInformationThread)(HANDLE ThreadHandle, ULONG ThreadInformationClass,
                                                      PVOID ThreadInformation, ULONG ThreadInformationLength,
                                                      PULONG ReturnLength);
typedef NTSTATUS(OSAPI* PFN_NtQueryInformationFile)(HANDLE FileHandle, IO_STATUS_BLOCK* IoStatusBlock,
                                                    PVOID FileInformation, ULONG Length, ULONG FileInformationClass);
typedef NTSTATUS(OSAPI* PFN_NtQueryInformationProcess)(HANDLE ProcessHandle, ULONG ProcessInformationClass,
                                                       PVOID ProcessInformation, ULONG ProcessInformationLength,
                                                       PULONG ReturnLength);
typedef NTSTATUS(OSAPI* PFN_NtQueryVirtualMemory)(HANDLE ProcessHandle, PVOID BaseAddress,
                                                  ULONG MemoryInformationClass, PVOID MemoryInformation,
                                                  SIZE_T MemoryInformationLength, SIZE_T* ReturnLength);

// PSAPI.DLL entry points, bound by name after LoadLibraryA.
typedef BOOL(OSAPI* PFN_EnumProcessModules)(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded);
typedef BOOL(OSAPI* PFN_EnumProcessModulesEx)(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded,
                                              DWORD dwFilterFlag);
typedef DWORD(OSAPI* PFN_GetModuleFileNameExW)(HANDLE hProcess, HMODULE hModule, WCHAR* lpFilename, DWORD nSize);
typedef DWORD(OSAPI* PFN_GetMappedFileNameW)(HANDLE hProcess, LPVOID lpv, WCHAR* lpFilename, DWORD nSize);

// Modules and entry points
HMODULE GetModuleHandleA(LPCSTR lpModuleName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
BOOL FreeLibrary(HMODULE hLibModule);

// Processes and handles
HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE* lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);
BOOL IsWow64Process(HANDLE hProcess, BOOL* Wow64Process);
BOOL QueryFullProcessImageNameW(HANDLE hProcess, DWORD dwFlags, WCHAR* lpExeName, DWORD* lpdwSize);
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
BOOL CloseHandle(HANDLE hObject);
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// Memory
LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect);
BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);
SIZE_T VirtualQueryEx(HANDLE hProcess, const void* lpAddress, MEMORY_BASIC_INFORMATION* lpBuffer, SIZE_T dwLength);
BOOL ReadProcessMemory(HANDLE hProcess, const void* lpBaseAddress, void* lpBuffer, SIZE_T nSize,
                       SIZE_T* lpNumberOfBytesRead);

// Paths, devices and files
DWORD GetFullPathNameW(const WCHAR* lpFileName, DWORD nBufferLength, WCHAR* lpBuffer, WCHAR** lpFilePart);
DWORD QueryDosDeviceW(const WCHAR* lpDeviceName, WCHAR* lpTargetPath, DWORD ucchMax);
DWORD GetShortPathNameW(const WCHAR* lpszLongPath, WCHAR* lpszShortPath, DWORD cchBuffer);
DWORD GetLongPathNameW(const WCHAR* lpszShortPath, WCHAR* lpszLongPath, DWORD cchBuffer);
HANDLE CreateFileW(const WCHAR* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, void* lpSecurityAttributes,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* lpFileInformation);
BOOL GetFileInformationByHandleEx(HANDLE hFile, int FileInformationClass, LPVOID lpFileInformation,
                                  DWORD dwBufferSize);

// Threads and waiting
HANDLE CreateThread(void* lpThreadAttributes, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId);
BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode);
HANDLE CreateEventA(void* lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
void Sleep(DWORD dwMilliseconds);

// Security
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE* TokenHandle);
BOOL LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, LUID* lpLuid);
BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges, TOKEN_PRIVILEGES* NewState,
                           DWORD BufferLength, TOKEN_PRIVILEGES* PreviousState, LPDWORD ReturnLength);

// Services (advapi32)
SC_HANDLE OpenSCManagerW(const WCHAR* lpMachineName, const WCHAR* lpDatabaseName, DWORD dwDesiredAccess);
BOOL EnumServicesStatusExW(SC_HANDLE hSCManager, int InfoLevel, DWORD dwServiceType, DWORD dwServiceState,
                           BYTE* lpServices, DWORD cbBufSize, DWORD* pcbBytesNeeded, DWORD* lpServicesReturned,
                           DWORD* lpResumeHandle, const WCHAR* pszGroupName);
BOOL CloseServiceHandle(SC_HANDLE hSCObject);

// Names compare as the file system compares them: UTF-16 units, upper-cased
// by the system's table when bIgnoreCase; CSTR_EQUAL when equal.
int CompareStringOrdinal(const WCHAR* lpString1, int cchCount1, const WCHAR* lpString2, int cchCount2,
                         BOOL bIgnoreCase);

// Entry points handed out by GetProcAddress are stored untyped; this gives
// them back their type.
template <typename Fn>
Fn ProcAs(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace os
