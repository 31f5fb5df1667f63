// Running the programs under test and the helpers that hold files.
#pragma once

#include <sys/types.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    pid_t pid = 0;
    std::string out;
    std::string err;
};

// Runs a program to its end with standard input closed, or reading `input`.
RunResult RunProgram(const std::vector<std::string>& argv);
RunResult RunProgram(const std::vector<std::string>& argv, const std::string& input);

// A helper process that holds files until it is destroyed.
class Holder {
public:
    explicit Holder(const std::vector<std::string>& args, const std::string& program = HOLDER_BINARY);
    ~Holder();
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    pid_t Pid() const { return m_pid; }
    bool Ready() const { return m_ready; }
    // Waits for the holder to end (closing its input first unless
    // `release` is false) and gives its wait status.
    int Wait(bool release = true);

private:
    pid_t m_pid = -1;
    bool m_ended = false;
    int m_input = -1;
    bool m_ready = false;
};

// Starts a program with the given standard descriptors and every other
// descriptor closed.
pid_t Spawn(const std::vector<std::string>& argv, int in, int out, int err);
// Waits for `pid` for at most a minute, then kills it; its wait status, or -1.
int WaitWithLimit(pid_t pid);
// What `fd` gives until `end` has come, it closes, or a minute has passed.
std::string ReadUntil(int fd, const std::string& end);

// Runs `scenario` as the first process of a PID namespace of its own, with
// that namespace's /proc, and gives what it returns: empty when all went as
// it should, else what did not. False in `ran` where no such namespace
// could be made.
std::string InOwnPidNamespace(const std::function<std::string()>& scenario, bool& ran);

// Process IDs in fencat's lines ("0x%04X  name"), fuser's output, or lsof -t.
// The lines of `text`, without their newlines.
std::vector<std::string> SplitLines(const std::string& text);

std::multiset<pid_t> FencatPids(const std::string& out);
std::set<pid_t> NumberList(const std::string& out);

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name, const std::string& content = "x") const;

private:
    std::string m_path;
};
