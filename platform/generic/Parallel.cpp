#include "platform/generic/Parallel.h"

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
    const std::function<void(size_t, size_t)>* part = nullptr;
    size_t begin = 0, end = 0;
    bool started = false;

    bool Start() {
        if (started) return true;
        try {
            std::thread([this] {
                for (;;) {
                    request.Wait(os::INFINITE);
                    (*part)(begin, end);
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

void SplitInTwo(size_t count, const std::function<void(size_t, size_t)>& part) {
    Helper& helper = TheHelper();
    std::unique_lock<std::mutex> lock(helper.busy, std::try_to_lock);
    const size_t half = count / 2;
    if (!lock.owns_lock() || half == 0 || !helper.Start()) {
        part(0, count);
        return;
    }
    helper.part = &part;
    helper.begin = half;
    helper.end = count;
    helper.request.Signal();
    part(0, half);
    helper.done.Wait(os::INFINITE);
}

}  // namespace standin
