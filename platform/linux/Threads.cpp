// Threads and waiting. A thread is never killed here: a worker that overruns
// its time is abandoned and ends by itself.
#include <time.h>

#include "platform/Api.h"
#include "platform/generic/Objects.h"

namespace os {

HANDLE CreateThread(void*, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD, LPDWORD threadId) {
    return standin::StartThread(start, parameter, threadId);
}

BOOL TerminateThread(HANDLE, DWORD) {
    standin::LastError() = ERROR_NOT_SUPPORTED;
    return FALSE;
}

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, LPCSTR) {
    return standin::NewEvent(manualReset != FALSE, initialState != FALSE);
}

BOOL SetEvent(HANDLE event) { return standin::SignalEvent(event); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return standin::WaitFor(handle, milliseconds); }

void Sleep(DWORD milliseconds) {
    timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {
    }
}

}  // namespace os
