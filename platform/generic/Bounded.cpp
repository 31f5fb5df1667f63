#include "platform/generic/Bounded.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "platform/generic/Objects.h"

namespace standin {

struct BoundedRunner::Worker {
    enum State { kIdle, kRunning, kDone, kAbandoned, kQuit };
    Event request{false, false};
    Event done{false, false};
    std::atomic<int> state{kIdle};
    std::function<void()> job;
};

namespace {

// The thread holds the worker too, so a worker that is given up stays alive
// until its job returns.
void Serve(std::shared_ptr<BoundedRunner::Worker> worker) {
    using Worker = BoundedRunner::Worker;
    for (;;) {
        worker->request.Wait(os::INFINITE);
        if (worker->state == Worker::kQuit) return;
        worker->job();
        worker->job = nullptr;
        int running = Worker::kRunning;
        if (!worker->state.compare_exchange_strong(running, Worker::kDone)) return;  // given up
        worker->done.Signal();
    }
}

}  // namespace

BoundedRunner::BoundedRunner() = default;

BoundedRunner::~BoundedRunner() {
    if (!m_worker) return;
    m_worker->state = Worker::kQuit;
    m_worker->request.Signal();
}

bool BoundedRunner::Run(std::function<void()> job, std::chrono::milliseconds limit) {
    if (!m_worker) {
        auto worker = std::make_shared<Worker>();
        try {
            std::thread(Serve, worker).detach();
        } catch (const std::system_error&) {
            return false;
        }
        m_worker = std::move(worker);
    }
    m_worker->job = std::move(job);
    m_worker->state = Worker::kRunning;
    m_worker->request.Signal();
    if (m_worker->done.Wait(static_cast<os::DWORD>(limit.count()))) {
        m_worker->state = Worker::kIdle;
        return true;
    }
    int running = Worker::kRunning;
    if (m_worker->state.compare_exchange_strong(running, Worker::kAbandoned)) {
        m_worker.reset();
        return false;
    }
    // It finished just now; take its signal so the next job starts clean.
    m_worker->done.Wait(os::INFINITE);
    m_worker->state = Worker::kIdle;
    return true;
}

}  // namespace standin
