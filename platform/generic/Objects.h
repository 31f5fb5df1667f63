// Kernel objects of the stand-in platforms (Linux and the simulated
// system): a handle table, waitable objects and the thread's last error.
//
// Handle values below 0x10000 are the calling process's own handle values
// (descriptor numbers on Linux), which the handle table hands out as they
// are; objects made by the stand-ins get values from 0x10000 up.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/WinTypes.h"

namespace standin {

constexpr uintptr_t kFirstObjectHandle = 0x10000;

inline bool IsOwnHandleValue(os::HANDLE handle) {
    return reinterpret_cast<uintptr_t>(handle) < kFirstObjectHandle;
}
inline uint32_t OwnHandleValue(os::HANDLE handle) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

class Object {
public:
    virtual ~Object() = default;
};

os::HANDLE InsertHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(os::HANDLE handle);
bool RemoveHandle(os::HANDLE handle);
// Handles made by the stand-in and not yet closed.
size_t OpenHandleCount();

template <typename T>
std::shared_ptr<T> LookupHandleAs(os::HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// An object that WaitForSingleObject can wait for. A waiter spins for a
// few microseconds before it sleeps: a worker that answers at once is then
// handed its request and its answer without two trips through the
// scheduler.
class Waitable : public Object {
public:
    explicit Waitable(bool manualReset, bool signaled) : m_manualReset(manualReset), m_signaled(signaled) {}
    void Signal();
    // True when the object was signaled within `milliseconds`.
    bool Wait(os::DWORD milliseconds);

private:
    bool TryTake();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    const bool m_manualReset;
    std::atomic<bool> m_signaled;
    std::atomic<int> m_sleepers{0};
};

class Event : public Waitable {
public:
    using Waitable::Waitable;
};

// Signaled when its thread has ended.
class Thread : public Waitable {
public:
    Thread() : Waitable(true, false) {}
    std::atomic<bool> killed{false};
};

// The stand-ins' part of the thread facility. A stand-in that can stop a
// thread does it by parking the thread at its next platform call: the
// thread never runs the caller's code again and counts as ended.
os::HANDLE StartThread(os::LPTHREAD_START_ROUTINE start, void* parameter, os::DWORD* threadId);
os::DWORD WaitFor(os::HANDLE handle, os::DWORD milliseconds);
// Marks the calling thread's object killed-and-ended and blocks forever
// when a kill has been asked for; returns at once otherwise.
void ParkIfKilled();
// The calling thread's object, or null on threads the stand-in did not start.
Thread* CurrentThread();

os::DWORD& LastError();

}  // namespace standin
