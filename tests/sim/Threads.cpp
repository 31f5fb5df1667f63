#include <chrono>
#include <thread>

#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

namespace {

struct ThreadStart {
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
    unsigned delayMs;
};

// Every thread starts here, so that the system knows which ones have begun
// their routine.
DWORD OSAPI StartRoutine(LPVOID parameter) {
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    if (start.delayMs != 0) std::this_thread::sleep_for(std::chrono::milliseconds(start.delayMs));
    simbase::ParkIfKilled();
    const simbase::Thread* self = simbase::CurrentThread();
    {
        std::lock_guard<std::mutex> lock(Sim().mutex);
        Sim().runningThreads.insert(self);
    }
    DWORD result = start.routine(start.parameter);
    std::lock_guard<std::mutex> lock(Sim().mutex);
    Sim().runningThreads.erase(self);
    return result;
}

}  // namespace

HANDLE CreateThread(void* lpThreadAttributes, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    (void)lpThreadAttributes;
    (void)dwStackSize;
    unsigned delayMs;
    {
        State& state = Sim();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.data.settings.createThreadFails || dwCreationFlags != 0 || lpStartAddress == nullptr) {
            simbase::LastError() = ERROR_NOT_ENOUGH_MEMORY;
            return nullptr;
        }
        ++state.data.record.threadsCreated;
        delayMs = state.data.settings.threadStartDelayMs;
    }
    auto* start = new ThreadStart{lpStartAddress, lpParameter, delayMs};
    HANDLE thread = simbase::StartThread(&StartRoutine, start, lpThreadId);
    if (thread == nullptr) delete start;
    return thread;
}

BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode) {
    (void)dwExitCode;
    State& state = Sim();
    std::shared_ptr<simbase::Thread> thread;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        ++state.data.record.terminateCalls;
        if (!state.data.settings.terminateThreadWorks) {
            simbase::LastError() = ERROR_NOT_SUPPORTED;
            return FALSE;
        }
        thread = simbase::LookupHandleAs<simbase::Thread>(hThread);
        if (!thread) {
            simbase::LastError() = ERROR_INVALID_HANDLE;
            return FALSE;
        }
        if (state.runningThreads.count(thread.get()) == 0)
            Fault(state.data, "TerminateThread on a thread that has not begun its routine");
        // The thread parks at its next call into the system; one waiting
        // at a blocked query is woken to do so now.
        thread->killed = true;
    }
    state.changed.notify_all();
    simbase::ParkIfKilled();
    return TRUE;
}

HANDLE CreateEventA(void* lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    (void)lpEventAttributes;
    (void)lpName;
    return simbase::NewEvent(bManualReset != FALSE, bInitialState != FALSE);
}

BOOL SetEvent(HANDLE hEvent) { return simbase::SignalEvent(hEvent); }

namespace {

// A process is signaled once it has ended; only a look (no wait) is asked.
DWORD WaitForProcess(HANDLE handle, bool& isProcess) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    isProcess = true;
    if (handle == CurrentProcessHandle()) return WAIT_TIMEOUT;
    auto object = simbase::LookupHandleAs<ProcessObject>(handle);
    if (!object) {
        isProcess = false;
        return WAIT_FAILED;
    }
    if ((object->access & SYNCHRONIZE) == 0) {
        simbase::LastError() = ERROR_ACCESS_DENIED;
        return WAIT_FAILED;
    }
    sim::Process* process = Find(state.data, object->pid);
    return process == nullptr || process->ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

}  // namespace

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    simbase::ParkIfKilled();
    bool isProcess;
    const DWORD processState = WaitForProcess(hHandle, isProcess);
    if (isProcess) return processState;
    // Only bounded waits are logged: a worker's endless wait for its next
    // request may come at any time, also while a test reads the log.
    if (dwMilliseconds != INFINITE) {
        std::lock_guard<std::mutex> lock(Sim().mutex);
        Sim().data.record.waitTimeouts.push_back(dwMilliseconds);
    }
    DWORD result = simbase::WaitFor(hHandle, dwMilliseconds);
    simbase::ParkIfKilled();
    return result;
}

void Sleep(DWORD dwMilliseconds) {
    simbase::ParkIfKilled();
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
    simbase::ParkIfKilled();
}

}  // namespace os
