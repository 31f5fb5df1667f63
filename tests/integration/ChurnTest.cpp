// Processes that start and end throughout a search never crash it and never
// earn a line for a file they did not hold.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

// Starts short-lived children, some holding the target and some another
// file, until stopped; remembers every child that ever held the target.
class Churn {
public:
    Churn(const std::string& target, const std::string& other) {
        m_thread = std::thread([this, target, other] {
            std::vector<pid_t> children;
            for (unsigned n = 0; !m_stop; ++n) {
                const bool holds = n % 3 == 0;
                const std::string& path = holds ? target : other;
                pid_t pid = fork();
                if (pid == 0) {
                    int fd = open(path.c_str(), O_RDONLY);
                    usleep(1000 * (n % 7));
                    _exit(fd >= 0 ? 0 : 1);
                }
                if (pid > 0) {
                    children.push_back(pid);
                    if (holds) {
                        std::lock_guard<std::mutex> lock(m_mutex);
                        m_held.insert(pid);
                    }
                }
                // Reap our own children as they end, so IDs are reused as on
                // a busy system; the test's other children are not ours.
                children.erase(std::remove_if(children.begin(), children.end(),
                                              [](pid_t child) { return waitpid(child, nullptr, WNOHANG) == child; }),
                               children.end());
                usleep(200);
            }
            for (pid_t child : children) waitpid(child, nullptr, 0);
        });
    }
    ~Churn() {
        m_stop = true;
        m_thread.join();
    }
    std::set<pid_t> Held() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_held;
    }

private:
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::set<pid_t> m_held;
    std::thread m_thread;
};

TEST(ChurnTest, SearchesDuringChurnReportOnlyProcessesThatHeldTheFile) {
    TempDir dir;
    // Unique, since the bare name below is looked for system-wide.
    const std::string name = "churned-" + std::to_string(getpid()) + ".txt";
    std::string target = dir.File(name);
    std::string other = dir.File("other.txt");
    Holder steady({"read", target});
    ASSERT_TRUE(steady.Ready());
    std::vector<RunResult> runs;
    {
        Churn churn(target, other);
        for (int i = 0; i < 15; ++i) runs.push_back(RunProgram({FENCAT_BINARY, target}));
        std::set<pid_t> held = churn.Held();
        held.insert(steady.Pid());
        for (const RunResult& run : runs) {
            ASSERT_EQ(run.status, 0) << run.err;
            std::multiset<pid_t> lines = FencatPids(run.out);
            EXPECT_EQ(lines.count(steady.Pid()), 1u) << run.out;
            for (pid_t pid : lines) EXPECT_EQ(held.count(pid), 1u) << "line for " << pid << ", which never held it";
        }
    }
    // By name too, where every handle in the system is a candidate.
    RunResult byName = RunProgram({FENCAT_BINARY, "--name", name});
    EXPECT_EQ(FencatPids(byName.out), std::multiset<pid_t>{steady.Pid()});
}

}  // namespace
