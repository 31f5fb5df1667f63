// Threads and waiting: the system's own. TerminateThread is the real one;
// the handle naming uses it only on a worker blocked inside the file-name
// query, which holds no lock of this process then.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

HANDLE CreateThread(void* attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId) {
    return ::CreateThread(static_cast<LPSECURITY_ATTRIBUTES>(attributes), stackSize,
                          reinterpret_cast<::LPTHREAD_START_ROUTINE>(start), parameter, flags,
                          reinterpret_cast<::LPDWORD>(threadId));
}

BOOL TerminateThread(HANDLE thread, DWORD exitCode) { return ::TerminateThread(thread, exitCode); }

HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState, LPCSTR name) {
    return ::CreateEventA(static_cast<LPSECURITY_ATTRIBUTES>(attributes), manualReset, initialState, name);
}

BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return ::WaitForSingleObject(handle, milliseconds); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

}  // namespace os
