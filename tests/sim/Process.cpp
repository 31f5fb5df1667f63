#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    HANDLE result = nullptr;
    sim::Process* process = Find(state.data, dwProcessId);
    // The idle process cannot be opened, whoever asks.
    if (process == nullptr || dwProcessId == 0 || process->ended) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
    } else if (process->openDenied) {
        simbase::LastError() = ERROR_ACCESS_DENIED;
    } else {
        result = simbase::InsertHandle(std::make_shared<ProcessObject>(dwProcessId, dwDesiredAccess));
    }
    state.data.record.opens.push_back(sim::OpenCall{dwProcessId, dwDesiredAccess, bInheritHandle, result});
    return result;
}

BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE* lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    DWORD error = ERROR_SUCCESS;
    sim::Process* owner = ProcessOfHandle(state.data, hSourceProcessHandle, PROCESS_DUP_HANDLE, error);
    uintptr_t value = reinterpret_cast<uintptr_t>(hSourceHandle);
    std::shared_ptr<sim::HandleRow> row;
    if (owner != nullptr) {
        for (const auto& candidate : owner->handles) {
            if (candidate->value == value) row = candidate;
        }
        error = ERROR_INVALID_HANDLE;
    }
    HANDLE result = nullptr;
    if (hTargetProcessHandle != CurrentProcessHandle() || lpTargetHandle == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    } else if (row && row->duplicationFails) {
        error = ERROR_ACCESS_DENIED;
    } else if (row) {
        result = simbase::InsertHandle(std::make_shared<RowHandle>(row));
        *lpTargetHandle = result;
    }
    state.data.record.duplicates.push_back(sim::DuplicateCall{owner != nullptr ? owner->pid : 0, value,
                                                              hTargetProcessHandle, dwDesiredAccess, bInheritHandle,
                                                              dwOptions, result});
    if (result == nullptr) simbase::LastError() = error;
    return result != nullptr ? TRUE : FALSE;
}

BOOL QueryFullProcessImageNameW(HANDLE hProcess, DWORD dwFlags, WCHAR* lpExeName, DWORD* lpdwSize) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    DWORD error;
    sim::Process* process = ProcessOfHandle(state.data, hProcess, PROCESS_QUERY_LIMITED_INFORMATION, error);
    if (process == nullptr) process = ProcessOfHandle(state.data, hProcess, PROCESS_QUERY_INFORMATION, error);
    if (process != nullptr && process->exePath.empty()) error = ERROR_ACCESS_DENIED;
    if (dwFlags != 0 || lpdwSize == nullptr || lpExeName == nullptr) error = ERROR_INVALID_PARAMETER;
    if (process == nullptr || process->exePath.empty() || error == ERROR_INVALID_PARAMETER) {
        simbase::LastError() = error;
        return FALSE;
    }
    const std::u16string path = Wide(process->exePath);
    if (path.size() + 1 > *lpdwSize) {
        simbase::LastError() = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    std::copy(path.begin(), path.end(), lpExeName);
    lpExeName[path.size()] = u'\0';
    *lpdwSize = static_cast<DWORD>(path.size());
    return TRUE;
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    (void)uExitCode;
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.data.record.terminateProcessCalls;
    DWORD error;
    sim::Process* process = ProcessOfHandle(state.data, hProcess, PROCESS_TERMINATE, error);
    if (process != nullptr && hProcess == CurrentProcessHandle()) {
        Fault(state.data, "TerminateProcess of the caller's own process");
        process = nullptr;
    }
    // An ended process refuses, as Windows refuses to end one twice.
    if (process != nullptr && (process->ended || process->terminateDenied)) {
        error = ERROR_ACCESS_DENIED;
        process = nullptr;
    }
    if (process == nullptr) {
        simbase::LastError() = error;
        return FALSE;
    }
    process->ended = true;
    return TRUE;
}

BOOL IsWow64Process(HANDLE hProcess, BOOL* Wow64Process) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    DWORD error;
    sim::Process* process = ProcessOfHandle(state.data, hProcess, PROCESS_QUERY_LIMITED_INFORMATION, error);
    if (hProcess != CurrentProcessHandle() && process == nullptr) {
        simbase::LastError() = error;
        return FALSE;
    }
    const bool wow64 = state.data.settings.wow64 && (process == nullptr || !process->is64Bit);
    *Wow64Process = wow64 ? TRUE : FALSE;
    return TRUE;
}

HANDLE GetCurrentProcess() { return CurrentProcessHandle(); }

DWORD GetCurrentProcessId() {
    std::lock_guard<std::mutex> lock(Sim().mutex);
    return Sim().data.settings.ownPid;
}

BOOL CloseHandle(HANDLE hObject) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    sim::CloseCall call{hObject, std::string(), false};
    if (hObject == CurrentProcessHandle()) {
        call.what = "current process";
        call.ok = true;  // closing the pseudo handle does nothing
    } else if (simbase::IsOwnHandleValue(hObject)) {
        // A handle value below the first object handle is one of the
        // caller's own: the system never closes those.
        call.what = "own " + Hex(reinterpret_cast<uintptr_t>(hObject));
        Fault(state.data, "CloseHandle of the caller's own handle value " + Hex(reinterpret_cast<uintptr_t>(hObject)));
    } else {
        call.what = Describe(hObject);
        call.ok = simbase::RemoveHandle(hObject);
        if (!call.ok) Fault(state.data, "CloseHandle of a handle that is not open: " + call.what);
    }
    state.data.record.closes.push_back(call);
    if (!call.ok) simbase::LastError() = ERROR_INVALID_HANDLE;
    return call.ok ? TRUE : FALSE;
}

DWORD GetLastError() { return simbase::LastError(); }

void SetLastError(DWORD dwErrCode) { simbase::LastError() = dwErrCode; }

}  // namespace os
