// A process fencat could not read is never taken for one that does not use
// the file: whether it ran out of descriptors, was refused, or the read
// stalled, the process is counted and named, and a wait does not end as
// if the file were free. Failures that cannot be arranged for real are
// injected through FENCAT_TEST_FAULTS.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

// fencat with `faults` injected.
RunResult Faulty(const std::string& faults, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"env", "FENCAT_TEST_FAULTS=" + faults, FENCAT_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

// fencat allowed `limit` descriptors.
RunResult Limited(int limit, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"sh", "-c", "ulimit -n " + std::to_string(limit) + " && exec \"$0\" \"$@\"",
                                  FENCAT_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

// The count of each notice of processes not examined for `reason`, in the
// order given; a malformed one counts -1.
std::vector<long> Notices(const std::string& err, const std::string& reason) {
    const std::regex notice("fencat: ([0-9]+) process(es)? could not be examined \\(" + reason + "[^)]*\\)[:;.].*");
    std::vector<long> counts;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        if (line.find("(" + reason) == std::string::npos) continue;
        std::smatch match;
        counts.push_back(std::regex_match(line, match, notice) ? std::stol(match[1]) : -1);
    }
    return counts;
}

// Whether a notice names `pid`; only root is told which were refused.
bool Names(const std::string& err, pid_t pid) {
    return std::regex_search(err, std::regex("could not be examined [^\n]*[: ]" + std::to_string(pid) + "[ .\n]"));
}

class BlindnessTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(BlindnessTest, RunningShortOfDescriptorsIsSaidOnceAndNeverTakenForAnEnd) {
    const std::string file = dir.File("held.txt");
    std::vector<std::unique_ptr<Holder>> holders;
    std::multiset<pid_t> all;
    for (int i = 0; i < 60; ++i) {
        holders.push_back(std::make_unique<Holder>(std::vector<std::string>{"read", file}));
        ASSERT_TRUE(holders.back()->Ready());
        all.insert(holders.back()->Pid());
    }
    // Too few to list /proc: the search stops, and says why.
    RunResult unlisted = Limited(4, {file});
    EXPECT_EQ(unlisted.status, 2) << unlisted.err;
    EXPECT_NE(unlisted.err.find("/proc could not be read: Too many open files"), std::string::npos) << unlisted.err;
    // Too few to open a process's folder and a file in it: nobody is
    // examined, and nobody is called free.
    for (const int limit : {5, 6}) {
        RunResult run = Limited(limit, {file});
        EXPECT_EQ(run.status, 1) << limit << ": " << run.err;
        EXPECT_EQ(run.out, "");
        const std::vector<long> said = Notices(run.err, "out of descriptors or memory");
        ASSERT_EQ(said.size(), 1u) << limit << ": " << run.err;
        EXPECT_GE(said[0], 60) << run.err;
        RunResult wait = Limited(limit, {"--wait=0.3", file});
        EXPECT_EQ(wait.status, 3) << limit << ": " << wait.err;
    }
    // From the least limit the README states up, every holder is found, as
    // many as half the limit held by pidfds, and nothing is left out.
    for (const int limit : {8, 12, 16, 20, 64}) {
        RunResult run = Limited(limit, {file});
        EXPECT_EQ(run.status, 0) << limit << ": " << run.err;
        EXPECT_EQ(FencatPids(run.out), all) << limit << ": " << run.err;
        EXPECT_TRUE(Notices(run.err, "out of descriptors").empty()) << limit << ": " << run.err;
    }
    // fuser and lsof, for the same limit, for comparison: both must at
    // least not report success with nobody found.
    RunResult fuser = RunProgram({"sh", "-c", "ulimit -n 16 && exec fuser \"$0\"", file});
    if (fuser.status == 0) {
        EXPECT_EQ(NumberList(fuser.out).size(), 60u) << fuser.err;
    }
}

TEST_F(BlindnessTest, AProcessWhoseFolderCannotBeOpenedIsNotExaminedUnlessItEnded) {
    const std::string file = dir.File("held.txt");
    Holder holder({"read", file});
    ASSERT_TRUE(holder.Ready());
    const std::string at = "@" + std::to_string(holder.Pid());
    struct Case {
        const char* error;
        const char* reason;
    } cases[] = {{"EMFILE", "out of descriptors or memory"},
                 {"ENFILE", "out of descriptors or memory"},
                 {"ENOMEM", "out of descriptors or memory"},
                 {"EACCES", "access denied"},
                 {"EIO", "access denied"}};
    for (const Case& c : cases) {
        const std::string fault = std::string("proc_open=") + c.error + at;
        RunResult run = Faulty(fault, {file});
        EXPECT_EQ(run.status, 1) << c.error << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.error;
        EXPECT_EQ(Notices(run.err, c.reason).size(), 1u) << c.error << ": " << run.err;
        if (geteuid() == 0 || std::string(c.reason) != "access denied") {
            EXPECT_TRUE(Names(run.err, holder.Pid())) << c.error << ": " << run.err;
        }
        // Free of those examined is not free.
        RunResult wait = Faulty(fault, {"--wait=0.3", file});
        EXPECT_EQ(wait.status, 3) << c.error << ": " << wait.err;
    }
    // Only an ended process is simply not there.
    RunResult gone = Faulty("proc_open=ESRCH" + at, {file});
    EXPECT_EQ(gone.status, 1) << gone.err;
    EXPECT_FALSE(Names(gone.err, holder.Pid())) << gone.err;
}

TEST_F(BlindnessTest, AWaitGoesOnWhileAProcessStallsOrADescriptorIsRefused) {
    const std::string file = dir.File("held.txt");
    Holder holder({"read", file});
    ASSERT_TRUE(holder.Ready());
    const std::string at = "@" + std::to_string(holder.Pid());
    // Given up unread, the holder may well use the file: the time runs out.
    RunResult stalled = Faulty("stall" + at, {"--wait=0.5", file});
    EXPECT_EQ(stalled.status, 1) << stalled.err;
    EXPECT_EQ(Notices(stalled.err, "reading made no progress"), std::vector<long>{1}) << stalled.err;
    EXPECT_TRUE(Names(stalled.err, holder.Pid())) << stalled.err;
    // A descriptor the kernel will not describe may be the file.
    for (const char* error : {"EACCES", "ENOMEM"}) {
        RunResult refused = Faulty(std::string("fd_stat=") + error + at, {"--wait=0.5", file});
        EXPECT_EQ(refused.status, 3) << error << ": " << refused.err;
        if (geteuid() == 0) {
            EXPECT_TRUE(Names(refused.err, holder.Pid())) << error << ": " << refused.err;
        }
        RunResult once = Faulty(std::string("fd_stat=") + error + at, {file});
        EXPECT_EQ(once.status, 1) << error;
        EXPECT_EQ(once.out, "") << error;
    }
}

TEST_F(BlindnessTest, AHandOverWithinOneLookIsSeenByTheLookAtEveryProcess) {
    const std::string file = dir.File("held.txt");
    // The first user gives the file to a child and ends while the wait
    // watches it alone.
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t first =
        Spawn({"sh", "-c", "exec 3<\"$0\"; echo ready; sleep 0.6; sleep 30 & echo $!", file}, null, out[1], null);
    close(out[1]);
    ASSERT_EQ(ReadUntil(out[0], "ready\n"), "ready\n");
    RunResult wait = RunProgram({FENCAT_BINARY, "--wait=2", file});
    std::string child = ReadUntil(out[0], "\n");
    close(out[0]);
    close(null);
    WaitWithLimit(first);
    const pid_t second = static_cast<pid_t>(std::atol(child.c_str()));
    ASSERT_GT(second, 0) << child;
    const bool alive = kill(second, 0) == 0;
    kill(second, SIGKILL);
    EXPECT_TRUE(alive);
    EXPECT_EQ(wait.status, 1) << wait.err;
}

TEST_F(BlindnessTest, WithoutPidfdsFindingsAreMadeAndSignalsGoThroughTheFolderOrById) {
    const std::string file = dir.File("held.txt");
    // Whether fencat must say that the signal goes by process ID.
    const std::pair<const char*, bool> cases[] = {{"pidfd_open=ENOSYS", false},
                                                  {"pidfd_open=EPERM", false},
                                                  {"pidfd_open=ENOSYS,pidfd_send_signal=ENOSYS", true},
                                                  {"pidfd_open=EPERM,hold_folder=EMFILE", true},
                                                  {"pidfd_open=EMFILE", true}};
    for (const auto& [fault, byId] : cases) {
        Holder holder({"read", file});
        ASSERT_TRUE(holder.Ready());
        RunResult found = Faulty(fault, {"-t", file});
        EXPECT_EQ(found.status, 0) << fault << ": " << found.err;
        EXPECT_EQ(NumberList(found.out), std::set<pid_t>{holder.Pid()}) << fault;
        // Whether signals are held matters to -k alone.
        EXPECT_EQ(found.err.find("not held"), std::string::npos) << found.err;
        EXPECT_EQ(Faulty(fault, {"--wait=0.3", file}).status, 1) << fault;
        RunResult killed = Faulty(fault, {"-k", "-TERM", file});
        EXPECT_EQ(killed.status, 0) << fault << ": " << killed.err;
        EXPECT_EQ(killed.err.find("fencat: 1 process is not held (no pidfd to be had)") != std::string::npos, byId)
            << fault << ": " << killed.err;
        const int status = holder.Wait(false);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << fault << ": " << status;
    }
    // A check before the signal that cannot be made is no end: nothing is
    // sent, and fencat says why.
    for (const char* fault : {"pidfd_open=ENOSYS,signal_check=EMFILE", "pidfd_open=EMFILE,signal_check=EMFILE"}) {
        Holder holder({"read", file});
        ASSERT_TRUE(holder.Ready());
        RunResult killed = Faulty(fault, {"-k", file});
        EXPECT_EQ(killed.status, 2) << fault << ": " << killed.err;
        EXPECT_NE(killed.err.find("fencat: cannot send KILL to " + std::to_string(holder.Pid()) +
                                  " (fencat_test_holder): " + std::strerror(EMFILE) + "\n"),
                  std::string::npos)
            << fault << ": " << killed.err;
        EXPECT_EQ(kill(holder.Pid(), 0), 0) << fault;
        EXPECT_EQ(holder.Wait(), 0) << fault;
    }
    // With pidfds, nothing to say.
    Holder held({"read", file});
    ASSERT_TRUE(held.Ready());
    RunResult killed = RunProgram({FENCAT_BINARY, "-k", "-TERM", file});
    EXPECT_EQ(killed.status, 0) << killed.err;
    EXPECT_EQ(killed.err.find("not held"), std::string::npos) << killed.err;
}

}  // namespace
