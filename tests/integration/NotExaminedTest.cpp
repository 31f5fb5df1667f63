// fencat says on standard error how many processes it was not allowed to
// examine. Which processes those are depends on the machine and the user;
// the count is checked against what the kernel refuses this user.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

std::string Unique(const std::string& name) { return std::to_string(getpid()) + "-" + name; }

// The count in fencat's notice; 0 when there is none. A malformed notice,
// or one that is not the last line, fails the test.
long NoticeCount(const std::string& err) {
    static const std::regex notice(
        "fencat: ([0-9]+) (process|processes) could not be examined \\(access denied\\); run fencat as root or "
        "administrator to include other users' processes\\.");
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    long count = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("could not be examined") == std::string::npos) continue;
        std::smatch match;
        EXPECT_TRUE(std::regex_match(lines[i], match, notice)) << lines[i];
        EXPECT_EQ(i + 1, lines.size()) << "the notice comes after the search:\n" << err;
        EXPECT_EQ(count, 0) << "one notice only:\n" << err;
        if (match.size() == 3) {
            count = std::stol(match[1]);
            EXPECT_EQ(match[2] == "process", count == 1) << lines[i];
            EXPECT_GT(count, 0);
        }
    }
    return count;
}

// Processes whose memory map or descriptors the kernel refuses this user:
// what fencat must count.
long RefusedProcesses() {
    long refused = 0;
    auto denied = [] { return errno == EACCES || errno == EPERM; };
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        int fd = open((entry.path() / "maps").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            refused += denied() ? 1 : 0;
            continue;
        }
        close(fd);
        std::error_code code;
        std::filesystem::directory_iterator fds(entry.path() / "fd", code);
        if (code) {
            refused += code == std::errc::permission_denied || code == std::errc::operation_not_permitted;
            continue;
        }
        // Listed, yet not to be looked into.
        struct stat st;
        if (fds != std::filesystem::directory_iterator() && stat(fds->path().c_str(), &st) != 0 && denied()) ++refused;
    }
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
        const long before = RefusedProcesses();
        RunResult run = RunProgram({FENCAT_BINARY, file});
        const long after = RefusedProcesses();
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(FencatPids(run.out), std::multiset<pid_t>{holder.Pid()});
        const long count = NoticeCount(run.err);
        if (before != after) continue;
        EXPECT_EQ(count, before) << run.err;
        // Never on standard output, whose lines stay the result lines.
        EXPECT_EQ(run.out.find("could not"), std::string::npos);
        return;
    }
    GTEST_SKIP() << "the processes refused to this user kept changing";
}

TEST_F(NotExaminedTest, AnotherUserIsToldWhatItCouldNotSee) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run fencat as another user";
    const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                               FENCAT_BINARY};
    auto runAsNobody = [&](const std::string& arg) {
        std::vector<std::string> argv = asNobody;
        argv.push_back(arg);
        return RunProgram(argv);
    };
    RunResult version = runAsNobody("--version");
    if (version.status != 0) GTEST_SKIP() << "fencat cannot run as nobody here: " << version.err;

    const std::string name = Unique("root-only.txt");
    Holder holder({"read", dir.File(name)});
    ASSERT_TRUE(holder.Ready());
    EXPECT_EQ(FencatPids(RunProgram({FENCAT_BINARY, name}).out), std::multiset<pid_t>{holder.Pid()});

    // A bare name needs no access to the file's folder: only the processes
    // hide it.
    RunResult nobody = runAsNobody(name);
    EXPECT_EQ(nobody.status, 1) << nobody.err;
    EXPECT_EQ(nobody.out, "");
    // At least the holder and this test belong to root.
    EXPECT_GE(NoticeCount(nobody.err), 2) << nobody.err;

    // Allowed to trace, the maps can be read but the descriptor tables
    // cannot: the processes are still counted, not silently left out.
    auto runWith = [&](const std::string& caps, const std::string& option = "--long") {
        std::vector<std::string> argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                         "--inh-caps=" + caps, "--ambient-caps=" + caps, FENCAT_BINARY, option, name};
        return RunProgram(argv);
    };
    RunResult tracer = runWith("+sys_ptrace");
    if (tracer.err.find("setpriv") != std::string::npos) GTEST_SKIP() << tracer.err;
    EXPECT_EQ(tracer.status, 1) << tracer.err;
    EXPECT_GE(NoticeCount(tracer.err), 2) << tracer.err;
    // With the right to read any folder too, it sees what root sees.
    RunResult reader = runWith("+sys_ptrace,+dac_read_search");
    EXPECT_EQ(FencatPids(reader.out), std::multiset<pid_t>{holder.Pid()}) << reader.err;
    // Seeing is not signalling: root's process is named, and the run fails.
    RunResult killer = runWith("+sys_ptrace,+dac_read_search", "-k");
    EXPECT_EQ(killer.status, 2) << killer.err;
    EXPECT_NE(killer.err.find("cannot send KILL to " + std::to_string(holder.Pid())), std::string::npos) << killer.err;
    EXPECT_EQ(kill(holder.Pid(), 0), 0);
}

}  // namespace
