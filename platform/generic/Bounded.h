// A job run on a helper thread with a bounded wait: for reads of /proc that
// the kernel may block for as long as another process holds a lock.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace standin {

class BoundedRunner {
public:
    BoundedRunner();
    ~BoundedRunner();
    BoundedRunner(const BoundedRunner&) = delete;
    BoundedRunner& operator=(const BoundedRunner&) = delete;

    // Runs `job` and waits for it at most `limit`. False when the job did not
    // finish in time (or no thread could run it): it is then left to finish
    // on its own thread, which ends afterwards, and the next job gets a new
    // thread. A job may touch only what it holds itself, never the caller's
    // storage.
    bool Run(std::function<void()> job, std::chrono::milliseconds limit);

    struct Worker;

private:
    std::shared_ptr<Worker> m_worker;
};

}  // namespace standin
