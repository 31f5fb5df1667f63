#include "platform/generic/Parallel.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/generic/Objects.h"

namespace standin {

namespace {

// One helper for the life of the process, started on first use and kept:
// a thread start costs as much as a small part of the work.
struct Helper {
    std::mutex busy;
    Event request{false, false};
    Event done{false, false};
    // The job in hand: items are taken one at a time by either thread.
    const std::function<void(size_t)>* item = nullptr;
    size_t count = 0;
    std::atomic<size_t> next{0};
    bool started = false;

    void Work() {
        for (size_t i = next++; i < count; i = next++) (*item)(i);
    }

    bool Start() {
        if (started) return true;
        try {
            std::thread([this] {
                for (;;) {
                    request.Wait(os::INFINITE);
                    Work();
                    done.Signal();
                }
            }).detach();
        } catch (const std::system_error&) {
            return false;
        }
        started = true;
        return true;
    }
};

Helper& TheHelper() {
    static Helper* helper = new Helper;  // its thread outlives every static destructor
    return *helper;
}

}  // namespace

void ForEachOnTwo(size_t count, const std::function<void(size_t)>& item) {
    Helper& helper = TheHelper();
    std::unique_lock<std::mutex> lock(helper.busy, std::try_to_lock);
    if (!lock.owns_lock() || count < 2 || !helper.Start()) {
        for (size_t i = 0; i < count; ++i) item(i);
        return;
    }
    helper.item = &item;
    helper.count = count;
    helper.next = 0;
    helper.request.Signal();
    helper.Work();
    helper.done.Wait(os::INFINITE);
}

}  // namespace standin
