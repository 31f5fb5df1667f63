#include <cstring>

#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

namespace {
constexpr LUID kDebugPrivilege = {20, 0};
}

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE* TokenHandle) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.data.record.tokenOpens;
    state.data.record.tokenAccess = DesiredAccess;
    // Only the own token is ever asked for.
    DWORD error = state.data.settings.openTokenError;
    if (error == 0 && (TokenHandle == nullptr || ProcessHandle != CurrentProcessHandle()))
        error = ERROR_INVALID_PARAMETER;
    if (error != 0) {
        simbase::LastError() = error;
        return FALSE;
    }
    *TokenHandle = simbase::InsertHandle(std::make_shared<TokenObject>());
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, LUID* lpLuid) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.data.record.privilegeLookups.push_back(lpName != nullptr ? lpName : "");
    DWORD error = state.data.settings.lookupPrivilegeError;
    if (error == 0 && (lpSystemName != nullptr || lpName == nullptr || lpLuid == nullptr))
        error = ERROR_INVALID_PARAMETER;
    if (error == 0 && std::strcmp(lpName, "SeDebugPrivilege") != 0) error = ERROR_NO_SUCH_PRIVILEGE;
    if (error != 0) {
        simbase::LastError() = error;
        return FALSE;
    }
    *lpLuid = kDebugPrivilege;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges, TOKEN_PRIVILEGES* NewState,
                           DWORD BufferLength, TOKEN_PRIVILEGES* PreviousState, LPDWORD ReturnLength) {
    (void)PreviousState;
    (void)ReturnLength;
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    sim::Record& record = state.data.record;
    ++record.adjustCalls;
    record.adjustDisableAll = DisableAllPrivileges;
    record.adjustLength = BufferLength;
    if (NewState != nullptr) record.adjusted = *NewState;
    DWORD error = state.data.settings.adjustPrivilegesError;
    if (error == 0 && !simbase::LookupHandleAs<TokenObject>(TokenHandle)) error = ERROR_INVALID_HANDLE;
    if (error != 0) {
        simbase::LastError() = error;
        return FALSE;
    }
    // Success still tells, through the last error, whether every privilege
    // was there to enable.
    simbase::LastError() = state.data.settings.privilegeNotAssigned ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS;
    return TRUE;
}

}  // namespace os
