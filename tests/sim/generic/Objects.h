// Kernel objects of the simulated system: a handle table, waitable objects
// and the thread's last error.
//
// Handle values below 0x10000 are the calling process's own handle values
// which the handle table hands out as they
// are; objects the simulated system makes get values from 0x10000 up.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>

#include "windows/platform/WinTypes.h"

namespace simbase {

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
    // Nonzero for the kinds that the simulated system looks up on every query, so
    // that finding them costs no dynamic cast (see LookupHandleAs).
    virtual uint32_t Kind() const { return 0; }
    virtual class Waitable* AsWaitable() { return nullptr; }
};

// A lock for the simulated system's tables, which are held for a few instructions
// at a time, many times per handle.
class SpinLock {
public:
    void lock() {
        while (m_held.exchange(true, std::memory_order_acquire)) {
            while (m_held.load(std::memory_order_relaxed)) {
            }
        }
    }
    void unlock() { m_held.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_held{false};
};

os::HANDLE InsertHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(os::HANDLE handle);
bool RemoveHandle(os::HANDLE handle);
// Handles made by the simulated system and not yet closed.
size_t OpenHandleCount();

template <typename T, typename = void>
struct HasKind : std::false_type {};
template <typename T>
struct HasKind<T, decltype(void(T::kKind))> : std::true_type {};

template <typename T>
std::shared_ptr<T> LookupHandleAs(os::HANDLE handle) {
    std::shared_ptr<Object> object = LookupHandle(handle);
    if constexpr (HasKind<T>::value) {
        return object && object->Kind() == T::kKind ? std::static_pointer_cast<T>(std::move(object)) : nullptr;
    } else {
        return std::dynamic_pointer_cast<T>(std::move(object));
    }
}

// An object that WaitForSingleObject can wait for. A waiter spins for a
// few microseconds before it sleeps: a worker that answers at once is then
// handed its request and its answer without two trips through the
// scheduler.
class Waitable : public Object {
public:
    explicit Waitable(bool manualReset, bool signaled) : m_manualReset(manualReset), m_signaled(signaled) {}
    Waitable* AsWaitable() override { return this; }
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
    static constexpr uint32_t kKind = 100;
    uint32_t Kind() const override { return kKind; }
    using Waitable::Waitable;
};

// Signaled when its thread has ended.
class Thread : public Waitable {
public:
    Thread() : Waitable(true, false) {}
    std::atomic<bool> killed{false};
};

// The simulated system's thread facility. Where it can stop a thread it
// does so by parking the thread at its next platform call: the
// thread never runs the caller's code again and counts as ended.
os::HANDLE StartThread(os::LPTHREAD_START_ROUTINE start, void* parameter, os::DWORD* threadId);
os::DWORD WaitFor(os::HANDLE handle, os::DWORD milliseconds);
// CreateEventA and SetEvent, as the simulated system answers them.
os::HANDLE NewEvent(bool manualReset, bool initialState);
os::BOOL SignalEvent(os::HANDLE event);
// Marks the calling thread's object killed-and-ended and blocks forever
// when a kill has been asked for; returns at once otherwise.
void ParkIfKilled();
// The calling thread's object, or null on threads the simulated system did not start.
Thread* CurrentThread();

os::DWORD& LastError();

}  // namespace simbase
