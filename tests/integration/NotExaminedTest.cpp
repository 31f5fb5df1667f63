// fencat says on standard error how many processes it was not allowed to
// examine. Which processes those are depends on the machine and the user;
// the count is checked against what the kernel refuses this user.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

std::string Unique(const std::string& name) { return std::to_string(getpid()) + "-" + name; }

// What fencat's notice of refused processes says: how many, and, to root,
// which. A malformed notice, or one that is not the last, fails the test.
struct Notice {
    long count = 0;
    std::vector<pid_t> named;
};

Notice ReadNotice(const std::string& err) {
    static const std::regex notice(
        "fencat: ([0-9]+) (process|processes) could not be examined \\(access denied(\\); run fencat as root or "
        "administrator to include other users' processes\\.|, even to root\\):( [0-9]+)+( and [0-9]+ more)?\\.)");
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    Notice read;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("(access denied") == std::string::npos) continue;
        std::smatch match;
        EXPECT_TRUE(std::regex_match(lines[i], match, notice)) << lines[i];
        EXPECT_EQ(i + 1, lines.size()) << "the notice comes after the search:\n" << err;
        EXPECT_EQ(read.count, 0) << "one notice only:\n" << err;
        if (match.empty()) continue;
        read.count = std::stol(match[1]);
        EXPECT_EQ(match[2] == "process", read.count == 1) << lines[i];
        EXPECT_GT(read.count, 0);
        std::istringstream pids(lines[i].substr(lines[i].find("):") + 2));
        for (pid_t pid; pids >> pid;) read.named.push_back(pid);
    }
    return read;
}

// Processes whose memory map or descriptors the kernel refuses this user:
// what fencat must count; ascending.
std::vector<pid_t> RefusedProcesses() {
    std::vector<pid_t> refused;
    auto denied = [] { return errno == EACCES || errno == EPERM; };
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        int fd = open((entry.path() / "maps").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (denied()) refused.push_back(pid);
            continue;
        }
        close(fd);
        std::error_code code;
        std::filesystem::directory_iterator fds(entry.path() / "fd", code);
        if (code) {
            if (code == std::errc::permission_denied || code == std::errc::operation_not_permitted)
                refused.push_back(pid);
            continue;
        }
        // Listed, yet not to be looked into.
        struct stat st;
        if (fds != std::filesystem::directory_iterator() && stat(fds->path().c_str(), &st) != 0 && denied())
            refused.push_back(pid);
    }
    std::sort(refused.begin(), refused.end());
    return refused;
}

class NotExaminedTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(NotExaminedTest, TheNoticeCountsWhatTheKernelRefuses) {
    std::string file = dir.File("held.txt");
    Holder holder({"read", file});
    ASSERT_TRUE(holder.Ready());
    // Processes may come and go meanwhile; the count is compared only when
    // the refusals stood still around the run.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::vector<pid_t> before = RefusedProcesses();
        RunResult run = RunProgram({FENCAT_BINARY, file});
        const std::vector<pid_t> after = RefusedProcesses();
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(FencatPids(run.out), std::multiset<pid_t>{holder.Pid()});
        const Notice notice = ReadNotice(run.err);
        if (before != after) continue;
        EXPECT_EQ(notice.count, static_cast<long>(before.size())) << run.err;
        // Root is told which, not to become root.
        const std::vector<pid_t> first(before.begin(), before.begin() + std::min<size_t>(5, before.size()));
        if (geteuid() == 0) {
            EXPECT_EQ(notice.named, first) << run.err;
        }
        // Never on standard output, whose lines stay the result lines.
        EXPECT_EQ(run.out.find("could not"), std::string::npos);
        return;
    }
    GTEST_SKIP() << "the processes refused to this user kept changing";
}

TEST_F(NotExaminedTest, AnotherUserIsToldWhatItCouldNotSee) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run fencat as another user";
    auto asNobody = [](const std::vector<std::string>& args, const std::string& caps = "") {
        std::vector<std::string> argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        if (!caps.empty()) argv.insert(argv.end(), {"--inh-caps=" + caps, "--ambient-caps=" + caps});
        argv.push_back(FENCAT_BINARY);
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv);
    };
    RunResult version = asNobody({"--version"});
    if (version.status != 0) GTEST_SKIP() << "fencat cannot run as nobody here: " << version.err;

    // The file is there for everyone to see; root's process that holds it is not.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const std::string name = Unique("root-only.txt"), file = dir.File(name);
    Holder holder({"read", file});
    ASSERT_TRUE(holder.Ready());
    EXPECT_EQ(FencatPids(RunProgram({FENCAT_BINARY, file}).out), std::multiset<pid_t>{holder.Pid()});
    for (const std::vector<std::string>& args : {std::vector<std::string>{file}, {"--name", name}}) {
        RunResult nobody = asNobody(args);
        EXPECT_EQ(nobody.status, 1) << nobody.err;
        EXPECT_EQ(nobody.out, "");
        // At least the holder and this test belong to root.
        EXPECT_GE(ReadNotice(nobody.err).count, 2) << nobody.err;
    }
    // Nor may a wait call the file free: free of those it could see is
    // exit 3, and at once.
    const auto began = std::chrono::steady_clock::now();
    RunResult wait = asNobody({"--wait=5", file});
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4));
    EXPECT_EQ(wait.status, 3) << wait.err;
    EXPECT_GE(ReadNotice(wait.err).count, 2) << wait.err;
    // Where /proc hides other users' processes, none is refused: the
    // notice names what hides them.
    RunResult hidden = RunProgram({"unshare", "-m", "--propagation", "private", "sh", "-c",
                                   "mount -t proc -o hidepid=invisible proc /proc && exec setpriv --reuid=65534 "
                                   "--regid=65534 --clear-groups \"$0\" --wait=5 \"$1\"",
                                   FENCAT_BINARY, file});
    EXPECT_EQ(hidden.status, 3) << hidden.err;
    EXPECT_NE(hidden.err.find("fencat: /proc is mounted with hidepid=invisible, which hides other users' processes"),
              std::string::npos)
        << hidden.err;

    // Allowed to trace, the maps can be read but the descriptor tables
    // cannot; allowed to read any folder, the tables are listed but their
    // descriptors cannot be looked into. Either way the processes are still
    // counted, not silently left out.
    for (const char* caps : {"+sys_ptrace", "+dac_read_search"}) {
        RunResult partial = asNobody({"--long", file}, caps);
        if (partial.err.find("setpriv") != std::string::npos) GTEST_SKIP() << partial.err;
        EXPECT_EQ(partial.status, 1) << caps << ": " << partial.err;
        EXPECT_GE(ReadNotice(partial.err).count, 2) << caps << ": " << partial.err;
    }
    // With the right to read any folder too, it sees what root sees.
    RunResult reader = asNobody({"--long", file}, "+sys_ptrace,+dac_read_search");
    EXPECT_EQ(FencatPids(reader.out), std::multiset<pid_t>{holder.Pid()}) << reader.err;
}

}  // namespace
