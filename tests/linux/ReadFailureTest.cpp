// A process the scan could not read is counted by why, never dropped as if
// it had ended: too few descriptors, and a descriptor the kernel will not
// describe. Each scan runs in a child of its own, with only the descriptors
// it is given, under the limit or the user the case needs.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <functional>

#include "FakeProc.h"
#include "linux/Scan.h"

namespace {

// What `scan` says, as text, from a child that holds only the standard
// streams, the report's pipe as 3 and `procFd` as 4.
std::string InChild(int procFd, const std::function<std::string(int)>& scan) {
    int report[2];
    if (pipe(report) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        const int out = fcntl(report[1], F_DUPFD, 100), in = fcntl(procFd, F_DUPFD, 100);
        if (out < 0 || in < 0 || dup2(out, 3) != 3 || dup2(in, 4) != 4) _exit(1);
        syscall(SYS_close_range, 5u, ~0u, 0u);
        const std::string text = scan(4);
        _exit(write(3, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(report[1]);
    std::string text;
    char chunk[256];
    for (ssize_t n; (n = read(report[0], chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<size_t>(n));
    close(report[0]);
    int status = -1;
    waitpid(child, &status, 0);
    return status == 0 ? text : "the child failed: " + text;
}

std::string Pids(const std::vector<uint32_t>& pids) {
    std::string text;
    for (const uint32_t pid : pids) text += " " + std::to_string(pid);
    return text;
}

TEST(ReadFailureTest, TooFewDescriptorsLeaveProcessesUnexaminedNotEnded) {
    FakeProc proc;
    const std::string held = proc.File("held.bin");
    std::string all;
    // Enough for both of the scan's readers.
    for (int pid = 700; pid < 740; ++pid) {
        fs::create_symlink(held, proc.Process(pid) / "fd" / "3");
        all += " " + std::to_string(pid);
    }
    const proc::Target target = Resolve(held, SearchScope::File);
    auto scanUnder = [&](rlim_t limit) {
        return InChild(proc.Fd(), [&](int procFd) {
            const rlimit small{limit, limit};
            if (setrlimit(RLIMIT_NOFILE, &small) != 0) return std::string("no limit");
            const proc::ScanOutcome scan = proc::Scan({target}, procFd);
            std::string found;
            for (const auto& hits : scan.processes) found += " " + std::to_string(hits.at(0).finding.pid);
            return "found" + found + "; short" + Pids(scan.exhausted) + "; refused" + Pids(scan.refused);
        });
    };
    // 0-4 are taken and 5 goes to the scan's own /proc: under 6 no
    // process's folder can be opened, under 7 none of its files.
    EXPECT_EQ(scanUnder(6), "found; short" + all + "; refused");
    EXPECT_EQ(scanUnder(7), "found; short" + all + "; refused");
    // Room for one reader at a time: those that found none are read again,
    // one by one.
    EXPECT_EQ(scanUnder(8), "found" + all + "; short; refused");
    EXPECT_EQ(scanUnder(64), "found" + all + "; short; refused");
}

TEST(ReadFailureTest, ADescriptorTheKernelWillNotDescribeLeavesItsProcessUnexamined) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to read as nobody";
    FakeProc proc;
    const std::string held = proc.File("held.bin");
    // Behind a folder nobody may search, and one closed meanwhile.
    const fs::path hidden = fs::path(proc.Root()).parent_path() / "private";
    fs::create_directory(hidden);
    std::ofstream(hidden / "file") << "x";
    fs::permissions(hidden, fs::perms::owner_all);
    fs::create_symlink(hidden / "file", proc.Process(801) / "fd" / "3");
    fs::create_symlink(fs::path(proc.Root()) / "nothing", proc.Process(802) / "fd" / "3");
    fs::create_symlink(held, proc.Process(802) / "fd" / "4");
    // Its findings read, but not who it is.
    const fs::path unnamed = proc.Process(803);
    fs::create_symlink(held, unnamed / "fd" / "3");
    fs::permissions(unnamed / "stat", fs::perms::owner_read | fs::perms::owner_write);
    // Threads listed, but not to be opened.
    const fs::path threads = proc.Process(804);
    fs::create_directories(threads / "task" / "804");
    fs::create_directories(threads / "task" / "805");
    fs::permissions(threads / "task", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    const fs::perms open = fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write;
    fs::permissions(fs::path(proc.Root()).parent_path(), open);
    const proc::Target target = Resolve(held, SearchScope::File);
    const std::string said = InChild(proc.Fd(), [&](int procFd) {
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) return std::string("root");
        const proc::ScanOutcome scan = proc::Scan({target}, procFd);
        std::string found;
        for (const auto& hits : scan.processes) found += " " + std::to_string(hits.at(0).finding.pid);
        return "found" + found + "; refused" + Pids(scan.refused) + "; short" + Pids(scan.exhausted);
    });
    // The refused descriptor may have been the file; the rest of that
    // table is not looked into. A stat refused is no end either, nor a
    // thread that cannot be opened.
    EXPECT_EQ(said, "found 802; refused 801 803 804; short");
}

}  // namespace
