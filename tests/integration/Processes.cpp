#include "Processes.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// No run of a program under test, and no helper, may hang a test: past
// this it is killed, and the test fails on what it then reads.
constexpr int kLimitMilliseconds = 60000;

using Clock = std::chrono::steady_clock;

// Waits for `pid` until `deadline`, then kills it; its wait status, or -1.
int WaitUntil(pid_t pid, Clock::time_point deadline) {
    int status = -1;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) return status;
        if (ended < 0) return -1;
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

pid_t Spawn(const std::vector<std::string>& argv, int in, int out, int err) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // Only what the program is meant to have: nothing the test runner
        // left open can pass for a file of the test.
        syscall(SYS_close_range, 3u, ~0u, 0u);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

int WaitWithLimit(pid_t pid) { return WaitUntil(pid, Clock::now() + std::chrono::milliseconds(kLimitMilliseconds)); }

std::string ReadUntil(int fd, const std::string& end) {
    std::string text;
    char c;
    pollfd ready = {fd, POLLIN, 0};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kLimitMilliseconds);
    while (Clock::now() < deadline && poll(&ready, 1, kLimitMilliseconds) == 1 && read(fd, &c, 1) == 1) {
        text += c;
        if (text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0) break;
    }
    return text;
}

std::string InOwnPidNamespace(const std::function<std::string()>& scenario, bool& ran) {
    constexpr int kCannot = 77;
    int report[2];
    ran = false;
    if (pipe2(report, O_CLOEXEC) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            _exit(kCannot);
        const pid_t first = fork();
        if (first == 0) {
            // The namespace ends with this process, and this one with the test.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) _exit(kCannot);
            const std::string failure = scenario();
            _exit(write(report[1], failure.data(), failure.size()) == static_cast<ssize_t>(failure.size()) ? 0 : 1);
        }
        close(report[1]);
        int status = -1;
        waitpid(first, &status, 0);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
    }
    close(report[1]);
    const std::string failure = ReadUntil(report[0], std::string(1, '\0'));
    close(report[0]);
    const int status = WaitWithLimit(child);
    ran = !(WIFEXITED(status) && WEXITSTATUS(status) == kCannot);
    if (status != 0 && ran && failure.empty()) return "the scenario ended with status " + std::to_string(status);
    return failure;
}


RunResult RunProgram(const std::vector<std::string>& argv) { return RunProgram(argv, std::string()); }

RunResult RunProgram(const std::vector<std::string>& argv, const std::string& input) {
    RunResult result;
    int out[2], err[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) return result;
    result.pid = Spawn(argv, in[0], out[1], err[1]);
    close(in[0]);
    // Small enough for the pipe: written at once, then closed.
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) result.err = "input not written";
    close(in[1]);
    close(out[1]);
    close(err[1]);
    // Read both pipes until both close, so neither can fill up and stall.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kLimitMilliseconds);
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int ready = left > 0 ? poll(fds, 2, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            result.err += "\n(the test stopped waiting for it)";
            kill(result.pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }
    const int status = WaitUntil(result.pid, deadline);
    result.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Holder::Holder(const std::vector<std::string>& args, const std::string& program) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    m_pid = Spawn(argv, in[0], out[1], null);
    close(null);
    close(in[0]);
    close(out[1]);
    m_input = in[1];
    m_ready = ReadUntil(out[0], "\n") == "ready\n";
    close(out[0]);
}

Holder::~Holder() { Wait(); }

int Holder::Wait(bool release) {
    if (release && m_input >= 0) {
        close(m_input);
        m_input = -1;
    }
    int status = -1;
    if (m_pid > 0 && !m_ended) {
        status = WaitUntil(m_pid, Clock::now() + std::chrono::milliseconds(kLimitMilliseconds));
        m_ended = true;
    }
    if (m_input >= 0) {
        close(m_input);
        m_input = -1;
    }
    return status;
}

std::multiset<pid_t> FencatPids(const std::string& out) {
    std::multiset<pid_t> pids;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, 2, "0x") == 0) pids.insert(static_cast<pid_t>(std::strtol(line.c_str() + 2, nullptr, 16)));
    }
    return pids;
}

std::set<pid_t> NumberList(const std::string& out) {
    std::set<pid_t> pids;
    std::istringstream words(out);
    long pid;
    while (words >> pid) pids.insert(static_cast<pid_t>(pid));
    return pids;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/fencat-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr) m_path = buffer.data();
}

TempDir::~TempDir() {
    if (!m_path.empty()) RunProgram({"rm", "-rf", m_path});
}

std::string TempDir::File(const std::string& name, const std::string& content) const {
    std::string path = m_path + "/" + name;
    std::ofstream(path) << content;
    return path;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}
