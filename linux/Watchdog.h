// Reads items on worker threads while this thread watches them: a read
// that makes no progress for a while is given up, its thread left to end
// on its own, and a fresh thread goes on with the remaining items. A read
// that is merely long keeps going as long as it makes progress.
#pragma once

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "linux/ProcText.h"

namespace proc {

// What one read reports as it goes: each step that returns is progress.
using Progress = std::atomic<uint64_t>;

template <typename Result>
class Watchdog {
public:
    // read(index, progress) reads item `index`; it may run on after it was
    // given up, so it must own (or share) everything it touches.
    using Read = std::function<Result(size_t index, Progress& progress)>;

    struct Outcome {
        std::vector<Result> results;  // by index; those given up stay default
        std::vector<size_t> stalled;  // the indices given up, ascending
    };

    // Reads `count` items on at most `threads` threads.
    static Outcome Run(size_t count, size_t threads, std::chrono::milliseconds stall, Read read) {
        using Clock = std::chrono::steady_clock;
        auto work = std::make_shared<Work>(count, std::move(read));
        Outcome outcome;
        if (count == 0) return outcome;
        struct Watched {
            std::shared_ptr<Worker> worker;
            uint64_t seen = 0;
            Clock::time_point since;
            int quietLooks = 0;
        };
        // Null where no thread could be had.
        auto start = [&work] {
            auto worker = std::make_shared<Worker>();
            try {
                worker->thread = std::thread(&Watchdog::Work::Loop, work, worker);
            } catch (const std::system_error&) {
                worker.reset();
            }
            return Watched{worker, 0, Clock::now(), 0};
        };
        std::vector<Watched> watched;
        for (size_t i = 0; i < std::max<size_t>(1, threads); ++i) {
            Watched w = start();
            if (w.worker) watched.push_back(w);
        }
        // Without a thread of its own, what is left is read here, unwatched.
        if (watched.empty()) Work::Loop(work, std::make_shared<Worker>());

        // A look every fifth of the stall time; a read is given up after
        // several quiet looks, so that a watcher that was itself kept from
        // running does not take its own delay for a stall.
        const auto look = std::max(stall / 5, std::chrono::milliseconds(1));
        std::unique_lock<std::mutex> lock(work->doneMutex);
        while (!work->allDone.wait_for(lock, look, [&] { return work->done.load() == count; })) {
            const Clock::time_point now = Clock::now();
            for (Watched& w : watched) {
                const uint64_t progress = w.worker->progress.load(std::memory_order_relaxed);
                if (progress != w.seen) {
                    w = Watched{w.worker, progress, now, 0};
                    continue;
                }
                if (++w.quietLooks < 3 || now - w.since < stall) continue;
                // A thread that waits only for a core is slow, not stuck.
                if (Runnable(w.worker->tid.load())) {
                    w = Watched{w.worker, progress, now, 0};
                    continue;
                }
                std::unique_lock<std::mutex> workerLock(w.worker->mutex);
                if (w.worker->current == kIdle || w.worker->abandoned) continue;
                w.worker->abandoned = true;
                outcome.stalled.push_back(w.worker->current);
                w.worker->thread.detach();
                workerLock.unlock();
                lock.unlock();
                work->Finished();
                lock.lock();
                w = start();
                if (!w.worker) {
                    lock.unlock();
                    Work::Loop(work, std::make_shared<Worker>());
                    lock.lock();
                    w = Watched{std::make_shared<Worker>(), 0, now, 0};
                }
            }
        }
        lock.unlock();
        for (Watched& w : watched) {
            if (w.worker->thread.joinable()) w.worker->thread.join();
        }
        std::sort(outcome.stalled.begin(), outcome.stalled.end());
        // Every read that was not given up has ended; the given-up ones never
        // write their result.
        outcome.results = std::move(work->results);
        return outcome;
    }

private:
    static constexpr size_t kIdle = SIZE_MAX;

    // Whether thread `tid` of this process is running or waits for a core
    // (state R), rather than sleeping in the kernel. Only the real /proc
    // shows this process, whatever /proc a scan reads.
    static bool Runnable(pid_t tid) {
        if (tid <= 0) return false;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", static_cast<int>(tid));
        ProcessStat stat;
        return ReadStat(AT_FDCWD, path, stat) && stat.state == 'R';
    }

    struct alignas(64) Worker {
        std::atomic<pid_t> tid{0};
        Progress progress{0};
        std::mutex mutex;
        size_t current = kIdle;  // the item being read; under mutex
        bool abandoned = false;  // under mutex
        std::thread thread;
    };

    struct Work {
        Work(size_t count, Read r) : read(std::move(r)), results(count), total(count) {}

        void Finished() {
            if (done.fetch_add(1) + 1 == total) {
                std::lock_guard<std::mutex> lock(doneMutex);
                allDone.notify_all();
            }
        }

        static void Loop(std::shared_ptr<Work> work, std::shared_ptr<Worker> worker) {
            worker->tid = static_cast<pid_t>(syscall(SYS_gettid));
            for (;;) {
                const size_t index = work->next.fetch_add(1);
                if (index >= work->total) return;
                {
                    std::lock_guard<std::mutex> lock(worker->mutex);
                    if (worker->abandoned) return;
                    worker->current = index;
                }
                Result result = work->read(index, worker->progress);
                {
                    // A watcher that gave this read up has counted it already.
                    std::lock_guard<std::mutex> lock(worker->mutex);
                    if (worker->abandoned) return;
                    worker->current = kIdle;
                    work->results[index] = std::move(result);
                }
                work->Finished();
            }
        }

        Read read;
        std::vector<Result> results;
        const size_t total;
        std::atomic<size_t> next{0};
        std::atomic<size_t> done{0};
        std::mutex doneMutex;
        std::condition_variable allDone;
    };
};

}  // namespace proc
