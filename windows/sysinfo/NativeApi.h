// The native query layer: the five bound entry points, the debug
// privilege, and the remote handle pattern with the two ID queries on it.
#pragma once

#include <cstdint>

#include "windows/platform/Api.h"

struct NativeApiTable {
    os::PFN_NtQuerySystemInformation NtQuerySystemInformation;
    os::PFN_NtQueryObject NtQueryObject;
    os::PFN_NtQueryInformationThread NtQueryInformationThread;
    os::PFN_NtQueryInformationFile NtQueryInformationFile;
    os::PFN_NtQueryInformationProcess NtQueryInformationProcess;
};

extern NativeApiTable NativeApi;
// 1 when all five entry points were found; written once at static
// initialisation, read-only afterwards.
extern int32_t g_nativeApiAvailable;

bool BindNativeApi();
bool EnableDebugPrivilege();

os::HANDLE OpenProcessForDup(uint32_t processId);
os::HANDLE DuplicateIntoSelf(os::HANDLE ownerProcess, os::HANDLE handleValue);

// A handle value owned by process ownerPid, made usable here: the value
// itself for a handle of this process, else a duplicate. Both the owner and
// the duplicate are closed when this object ends.
class RemoteHandle {
public:
    RemoteHandle(os::HANDLE handleValue, uint32_t ownerPid);
    ~RemoteHandle();
    RemoteHandle(const RemoteHandle&) = delete;
    RemoteHandle& operator=(const RemoteHandle&) = delete;

    // False when the pattern failed at once (no native layer, or the owner
    // could not be opened); nothing may be queried then.
    bool Reached() const { return m_reached; }
    os::HANDLE Local() const { return m_local; }

private:
    bool m_reached = false;
    os::HANDLE m_owner = nullptr;
    os::HANDLE m_local = nullptr;
};

bool GetThreadIdOfHandle(os::HANDLE handleValue, uint32_t& threadIdOut, uint32_t ownerPid);
bool GetProcessIdOfHandle(os::HANDLE handleValue, uint32_t& processIdOut, uint32_t ownerPid);

// Handle values of the handle table, as the platform takes them.
inline os::HANDLE HandleFromValue(uintptr_t value) { return reinterpret_cast<os::HANDLE>(value); }
