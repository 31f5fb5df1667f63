#include "windows/sysinfo/NativeApi.h"

#include <cstring>

#include "search/Diagnostics.h"

NativeApiTable NativeApi = {};
int32_t g_nativeApiAvailable = BindNativeApi() ? 1 : 0;

bool BindNativeApi() {
    auto bind = [](const char* name) { return os::GetProcAddress(os::GetModuleHandleA("ntdll.dll"), name); };
    NativeApi.NtQuerySystemInformation =
        os::ProcAs<os::PFN_NtQuerySystemInformation>(bind("NtQuerySystemInformation"));
    NativeApi.NtQueryObject = os::ProcAs<os::PFN_NtQueryObject>(bind("NtQueryObject"));
    NativeApi.NtQueryInformationThread =
        os::ProcAs<os::PFN_NtQueryInformationThread>(bind("NtQueryInformationThread"));
    NativeApi.NtQueryInformationFile = os::ProcAs<os::PFN_NtQueryInformationFile>(bind("NtQueryInformationFile"));
    NativeApi.NtQueryInformationProcess =
        os::ProcAs<os::PFN_NtQueryInformationProcess>(bind("NtQueryInformationProcess"));
    return NativeApi.NtQuerySystemInformation != nullptr && NativeApi.NtQueryObject != nullptr &&
           NativeApi.NtQueryInformationThread != nullptr && NativeApi.NtQueryInformationFile != nullptr &&
           NativeApi.NtQueryInformationProcess != nullptr;
}

bool EnableDebugPrivilege() {
    os::HANDLE token = nullptr;
    if (!os::OpenProcessToken(os::GetCurrentProcess(), os::TOKEN_ADJUST_PRIVILEGES | os::TOKEN_QUERY, &token)) {
        Diag("OpenProcessToken() failed, Error = %d SeDebugPrivilege is not available.\n",
             static_cast<int>(os::GetLastError()));
        return false;
    }
    bool result = true;
    os::LUID luid = {};
    if (!os::LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid)) {
        Diag("LookupPrivilegeValue() failed, Error = %d SeDebugPrivilege is not available.\n",
             static_cast<int>(os::GetLastError()));
        result = false;
    } else {
        os::TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid = luid;
        privileges.Privileges[0].Attributes = os::SE_PRIVILEGE_ENABLED;
        if (!os::AdjustTokenPrivileges(token, os::FALSE, &privileges, sizeof privileges, nullptr, nullptr)) {
            Diag("AdjustTokenPrivileges() failed, Error = %d SeDebugPrivilege is not available.\n",
                 static_cast<int>(os::GetLastError()));
        }
    }
    os::CloseHandle(token);
    return result;
}

os::HANDLE OpenProcessForDup(uint32_t processId) {
    return os::OpenProcess(os::PROCESS_DUP_HANDLE, os::TRUE, processId);
}

os::HANDLE DuplicateIntoSelf(os::HANDLE ownerProcess, os::HANDLE handleValue) {
    os::HANDLE local = nullptr;
    os::DuplicateHandle(ownerProcess, handleValue, os::GetCurrentProcess(), &local, 0, os::FALSE,
                        os::DUPLICATE_SAME_ACCESS);
    return local;
}

RemoteHandle::RemoteHandle(os::HANDLE handleValue, uint32_t ownerPid) {
    if (!g_nativeApiAvailable) return;
    if (ownerPid == os::GetCurrentProcessId()) {
        m_local = handleValue;
        m_reached = true;
        return;
    }
    m_owner = OpenProcessForDup(ownerPid);
    if (m_owner == nullptr) return;
    // A failed copy leaves m_local null; the query on it then fails.
    m_local = DuplicateIntoSelf(m_owner, handleValue);
    m_reached = true;
}

RemoteHandle::~RemoteHandle() {
    if (m_owner == nullptr) return;  // own handle, or nothing opened
    os::CloseHandle(m_owner);
    if (m_local != nullptr) os::CloseHandle(m_local);
}

namespace {

// The remote handle pattern around one basic-information query, whose
// record is a local buffer of its exact size; `id` reads the word wanted.
template <typename Record, typename Query, typename Id>
bool QueryIdOfHandle(os::HANDLE handleValue, uint32_t ownerPid, Query query, os::ULONG infoClass, Id id,
                     uint32_t& idOut) {
    RemoteHandle handle(handleValue, ownerPid);
    if (!handle.Reached()) return false;
    Record info;
    std::memset(&info, 0, sizeof info);
    if (query(handle.Local(), infoClass, &info, static_cast<os::ULONG>(sizeof info), nullptr) != os::STATUS_SUCCESS)
        return false;
    idOut = id(info);
    return true;
}

}  // namespace

bool GetThreadIdOfHandle(os::HANDLE handleValue, uint32_t& threadIdOut, uint32_t ownerPid) {
    return QueryIdOfHandle<os::THREAD_BASIC_INFORMATION>(
        handleValue, ownerPid, NativeApi.NtQueryInformationThread, os::ThreadBasicInformation,
        [](const os::THREAD_BASIC_INFORMATION& info) {
            return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.ClientId.UniqueThread));
        },
        threadIdOut);
}

bool GetProcessIdOfHandle(os::HANDLE handleValue, uint32_t& processIdOut, uint32_t ownerPid) {
    return QueryIdOfHandle<os::PROCESS_BASIC_INFORMATION>(
        handleValue, ownerPid, NativeApi.NtQueryInformationProcess, os::ProcessBasicInformation,
        [](const os::PROCESS_BASIC_INFORMATION& info) { return static_cast<uint32_t>(info.UniqueProcessId); },
        processIdOut);
}
