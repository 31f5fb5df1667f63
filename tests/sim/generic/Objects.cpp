#include "tests/sim/generic/Objects.h"

#include <chrono>
#include <thread>
#include <vector>

namespace simbase {

namespace {

struct HandleTable {
    SpinLock mutex;
    std::vector<std::shared_ptr<Object>> slots;
    std::vector<size_t> freeSlots;
    size_t live = 0;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // outlives every static destructor
    return *table;
}

bool SlotOf(os::HANDLE handle, size_t& slot) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < kFirstObjectHandle || (value - kFirstObjectHandle) % 4 != 0) return false;
    slot = (value - kFirstObjectHandle) / 4;
    return true;
}

thread_local Thread* t_currentThread = nullptr;

// How long a waiter looks before it sleeps: longer than a worker that
// answers at once takes, far shorter than a scheduler round trip is worth.
constexpr auto kSpinTime = std::chrono::microseconds(100);

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

os::HANDLE InsertHandle(std::shared_ptr<Object> object) {
    HandleTable& table = Table();
    std::lock_guard<SpinLock> lock(table.mutex);
    size_t slot;
    if (!table.freeSlots.empty()) {
        slot = table.freeSlots.back();
        table.freeSlots.pop_back();
        table.slots[slot] = std::move(object);
    } else {
        slot = table.slots.size();
        table.slots.push_back(std::move(object));
    }
    ++table.live;
    return reinterpret_cast<os::HANDLE>(kFirstObjectHandle + slot * 4);
}

std::shared_ptr<Object> LookupHandle(os::HANDLE handle) {
    size_t slot;
    if (!SlotOf(handle, slot)) return nullptr;
    HandleTable& table = Table();
    std::lock_guard<SpinLock> lock(table.mutex);
    return slot < table.slots.size() ? table.slots[slot] : nullptr;
}

bool RemoveHandle(os::HANDLE handle) {
    size_t slot;
    if (!SlotOf(handle, slot)) return false;
    std::shared_ptr<Object> released;  // destroyed outside the lock
    HandleTable& table = Table();
    std::lock_guard<SpinLock> lock(table.mutex);
    if (slot >= table.slots.size() || !table.slots[slot]) return false;
    released = std::move(table.slots[slot]);
    table.freeSlots.push_back(slot);
    --table.live;
    return true;
}

size_t OpenHandleCount() {
    HandleTable& table = Table();
    std::lock_guard<SpinLock> lock(table.mutex);
    return table.live;
}

void Waitable::Signal() {
    m_signaled = true;
    if (m_sleepers == 0) return;
    // Taking the mutex orders this with a sleeper that is between its last
    // look at the flag and its wait.
    { std::lock_guard<std::mutex> lock(m_mutex); }
    m_changed.notify_all();
}

bool Waitable::TryTake() {
    if (m_manualReset) return m_signaled;
    bool expected = true;
    return m_signaled.compare_exchange_strong(expected, false);
}

bool Waitable::Wait(os::DWORD milliseconds) {
    const auto spinEnd = std::chrono::steady_clock::now() + kSpinTime;
    for (int spin = 1;; ++spin) {
        if (TryTake()) return true;
        // The signaller may be waiting for this very core.
        if (spin % 32 == 0) std::this_thread::yield();
        CpuRelax();
        if (spin % 32 == 0 && std::chrono::steady_clock::now() >= spinEnd) break;
    }
    if (milliseconds == 0) return TryTake();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_sleepers;
    bool taken = false;
    for (;;) {
        if (TryTake()) {
            taken = true;
            break;
        }
        if (milliseconds == os::INFINITE) {
            m_changed.wait(lock);
        } else if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            taken = TryTake();
            break;
        }
    }
    --m_sleepers;
    return taken;
}

os::HANDLE StartThread(os::LPTHREAD_START_ROUTINE start, void* parameter, os::DWORD* threadId) {
    auto thread = std::make_shared<Thread>();
    static std::atomic<os::DWORD> nextId{1};
    os::DWORD id = nextId++;
    try {
        std::thread([thread, start, parameter] {
            t_currentThread = thread.get();
            start(parameter);
            thread->Signal();
        }).detach();
    } catch (const std::system_error&) {
        LastError() = os::ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    if (threadId != nullptr) *threadId = id;
    return InsertHandle(thread);
}

os::DWORD WaitFor(os::HANDLE handle, os::DWORD milliseconds) {
    std::shared_ptr<Object> object = LookupHandle(handle);
    Waitable* waitable = object ? object->AsWaitable() : nullptr;
    if (waitable == nullptr) {
        LastError() = os::ERROR_INVALID_HANDLE;
        return os::WAIT_FAILED;
    }
    return waitable->Wait(milliseconds) ? os::WAIT_OBJECT_0 : os::WAIT_TIMEOUT;
}

os::HANDLE NewEvent(bool manualReset, bool initialState) {
    return InsertHandle(std::make_shared<Event>(manualReset, initialState));
}

os::BOOL SignalEvent(os::HANDLE event) {
    auto object = LookupHandleAs<Event>(event);
    if (!object) {
        LastError() = os::ERROR_INVALID_HANDLE;
        return os::FALSE;
    }
    object->Signal();
    return os::TRUE;
}

void ParkIfKilled() {
    Thread* self = t_currentThread;
    if (self == nullptr || !self->killed) return;
    self->Signal();
    std::mutex parked;
    std::unique_lock<std::mutex> lock(parked);
    std::condition_variable never;
    for (;;) never.wait(lock);
}

Thread* CurrentThread() { return t_currentThread; }

os::DWORD& LastError() {
    thread_local os::DWORD error = 0;
    return error;
}

}  // namespace simbase
