#include "linux/Hold.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "linux/Faults.h"

namespace proc {

namespace {

// Descriptors held for processes now: pidfds and /proc folders.
std::atomic<uint64_t> g_held{0};

// A descriptor that holds a process, counted while it is open.
class HeldDescriptor {
public:
    explicit HeldDescriptor(int fd) : fd(fd) { ++g_held; }
    ~HeldDescriptor() {
        close(fd);
        --g_held;
    }
    HeldDescriptor(const HeldDescriptor&) = delete;
    HeldDescriptor& operator=(const HeldDescriptor&) = delete;
    const int fd;
};

// A process has ended once all its threads have: a leader that has exited
// while its other threads run is a zombie that still counts.
bool Ended(const ProcessStat& stat) { return (stat.state == 'Z' || stat.state == 'X') && stat.threads <= 1; }

class PidfdProcess final : public HeldProcess {
public:
    explicit PidfdProcess(int fd) : m_pidfd(fd) {}

    Outcome Signal(int signal, std::string& error) override {
        // One that has ended but is not yet reaped takes a signal without
        // a word; it gets none.
        if (!Running()) return Outcome::Ended;
        if (syscall(SYS_pidfd_send_signal, m_pidfd.fd, signal, nullptr, 0) == 0) return Outcome::Sent;
        if (errno == ESRCH) return Outcome::Ended;
        error = std::strerror(errno);
        return Outcome::Failed;
    }

    // The pidfd becomes readable when every thread of the process has ended.
    bool Running() const override {
        pollfd ended{m_pidfd.fd, POLLIN, 0};
        int ready;
        while ((ready = poll(&ended, 1, 0)) < 0 && errno == EINTR) {
        }
        return ready == 0;
    }

private:
    HeldDescriptor m_pidfd;
};

// Whether pidfd_send_signal() takes a /proc folder: from 5.1, before
// pidfd_open() came.
bool FoldersTakeSignals() {
    static const bool yes = [] {
        if (InjectedError(Call::PidfdSendSignal, 0) != 0) return false;
        return syscall(SYS_pidfd_send_signal, -1, 0, nullptr, 0) != 0 && errno == EBADF;
    }();
    return yes;
}

// Checks once more that the process `dir` (its /proc folder, open) stands
// for runs, and is the one that started at `startTime` where that is
// given, then signals it: through `dir` where the kernel allows, which no
// other process can take, else by `pid`. Only a folder whose process has
// ended is taken for an end.
HeldProcess::Outcome SignalThroughFolder(int dir, uint32_t pid, const uint64_t* startTime, int signal,
                                         std::string& error) {
    ProcessStat stat;
    const int injected = InjectedError(Call::SignalCheck, pid);
    int check = injected != 0 ? injected : ReadProcessStat(dir, stat);
    if (check == 0 && startTime != nullptr && stat.startTime != *startTime) check = ESRCH;
    // A folder whose process has ended has no entries left.
    if (check == ESRCH || check == ENOENT) return HeldProcess::Outcome::Ended;
    if (check == 0 && (FoldersTakeSignals() ? syscall(SYS_pidfd_send_signal, dir, signal, nullptr, 0)
                                           : kill(static_cast<pid_t>(pid), signal)) == 0)
        return HeldProcess::Outcome::Sent;
    if (check == 0 && errno == ESRCH) return HeldProcess::Outcome::Ended;
    error = std::strerror(check != 0 ? check : errno);
    return HeldProcess::Outcome::Failed;
}

// Without a pidfd: the process's own /proc folder, kept open. It answers
// for that process alone, never for one that takes its ID later.
class FolderProcess final : public HeldProcess {
public:
    FolderProcess(uint32_t pid, int dir) : m_pid(pid), m_dir(dir) {}

    Outcome Signal(int signal, std::string& error) override {
        return SignalThroughFolder(m_dir.fd, m_pid, nullptr, signal, error);
    }

    bool Firm() const override { return FoldersTakeSignals(); }

    bool Running() const override {
        ProcessStat stat;
        return ReadProcessStat(m_dir.fd, stat) == 0;
    }

private:
    uint32_t m_pid;
    HeldDescriptor m_dir;
};

// With no descriptor to spare: the same process ID and start time mean the
// same process, as near as the clock's tick tells them apart.
class StartTimeProcess final : public HeldProcess {
public:
    StartTimeProcess(uint32_t pid, uint64_t startTime) : m_pid(pid), m_startTime(startTime) {}

    Outcome Signal(int signal, std::string& error) override {
        const std::string path = "/proc/" + std::to_string(m_pid);
        const int dir = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0 && errno == ENOENT) return Outcome::Ended;
        if (dir < 0) {
            error = std::strerror(errno);
            return Outcome::Failed;
        }
        const Outcome outcome = SignalThroughFolder(dir, m_pid, &m_startTime, signal, error);
        close(dir);
        return outcome;
    }

    bool Firm() const override { return false; }

    bool Running() const override {
        ProcessStat stat;
        const std::string path = "/proc/" + std::to_string(m_pid) + "/stat";
        return ReadStat(AT_FDCWD, path.c_str(), stat) && stat.startTime == m_startTime && !Ended(stat);
    }

private:
    uint32_t m_pid;
    uint64_t m_startTime;
};

}  // namespace

uint64_t HoldLimit(unsigned readers) {
    // At most half of the descriptors this process may open, and never what
    // the reading of /proc needs: the standard streams, /proc twice, a table
    // read once, and a process, a thread and one of their files per reader.
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    const uint64_t reading = 8 + 3 * static_cast<uint64_t>(readers);
    const uint64_t all = limit.rlim_cur;
    return std::min(all / 2, all > reading ? all - reading : 0);
}

int ReadProcessStat(int dir, ProcessStat& stat) {
    std::string text;
    errno = 0;
    if (!ReadWholeFile(dir, "stat", text)) return errno != 0 ? errno : EIO;
    return ParseStat(text, stat) && !Ended(stat) ? 0 : ESRCH;
}

int HoldProcess(uint32_t pid, int dir, uint64_t holdLimit, ProcessStat& stat, std::shared_ptr<HeldProcess>& held) {
    held.reset();
    int fd = -1;
    bool pidfd = false;
    // Without a pidfd (none here, none allowed) the process's folder; with
    // no descriptor to spare, its start time: only its end lets it go.
    if (g_held.load() < holdLimit) {
        const int injected = InjectedError(Call::PidfdOpen, pid);
        fd = injected != 0 ? -1 : static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        const int error = fd >= 0 ? 0 : injected != 0 ? injected : errno;
        if (error == ESRCH) return ESRCH;
        pidfd = fd >= 0;
        if (!pidfd && error != EMFILE && error != ENFILE) {
            const int refused = InjectedError(Call::HoldFolder, pid);
            fd = refused != 0 ? -1 : openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
    }
    const int error = ReadProcessStat(dir, stat);
    if (error != 0) {
        if (fd >= 0) close(fd);
        return error;
    }
    if (pidfd)
        held = std::make_shared<PidfdProcess>(fd);
    else if (fd >= 0)
        held = std::make_shared<FolderProcess>(pid, fd);
    else
        held = std::make_shared<StartTimeProcess>(pid, stat.startTime);
    return 0;
}

}  // namespace proc
