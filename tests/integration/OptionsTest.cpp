// The options Unix users reach for: -t, -v, -k (with -i), -w, -m, and what
// fencat says to a command line it cannot run.
#include <signal.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

// The -v row of `pid`, split into its words.
std::vector<std::string> Row(const std::string& out, pid_t pid) {
    for (const std::string& line : SplitLines(out)) {
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string word; in >> word;) words.push_back(word);
        if (words.size() >= 4 && words[1] == std::to_string(pid)) return words;
    }
    return {};
}

class OptionsTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(OptionsTest, TerseIsFusersSetAndVerboseSaysHowEachUsesTheFile) {
    const std::string file = dir.File("held.txt"), lib = dir.File("lib.so", std::string(4096, 'l'));
    Holder reader({"twice", file, "cwd", dir.Path(), "map", lib});
    Holder writer({"write", file});
    ASSERT_TRUE(reader.Ready() && writer.Ready());
    RunResult terse = RunProgram({FENCAT_BINARY, "-t", file, lib});
    EXPECT_EQ(terse.status, 0);
    // Each once, in decimal, ready for kill and xargs.
    const std::set<pid_t> both{reader.Pid(), writer.Pid()};
    EXPECT_EQ(SplitLines(terse.out).size(), 2u) << terse.out;
    EXPECT_EQ(NumberList(terse.out), both);
    EXPECT_EQ(NumberList(RunProgram({"fuser", file}).out), both);

    RunResult verbose = RunProgram({FENCAT_BINARY, "-v", file});
    EXPECT_EQ(SplitLines(verbose.out).front().substr(0, 4), "USER");
    std::vector<std::string> row = Row(verbose.out, reader.Pid());
    ASSERT_EQ(row.size(), 6u) << verbose.out;
    // The unit or container: where the test itself runs decides it.
    EXPECT_FALSE(row[4].empty());
    row.erase(row.begin() + 4);
    EXPECT_EQ(row, (std::vector<std::string>{"root", std::to_string(reader.Pid()), "f....", "fencat_test_holder", file}));
    EXPECT_EQ(Row(verbose.out, writer.Pid()).at(2), "F....");
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", dir.Path()}).out, reader.Pid()).at(2), "..c..");
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", lib}).out, reader.Pid()).at(2), "....m");
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", HOLDER_BINARY}).out, reader.Pid()).at(2), "...e.");
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", "/"}).out, reader.Pid()).at(2), ".r...");
}

TEST_F(OptionsTest, KillSendsTheSignalAskedForAndAsksOnceForEachProcess) {
    const std::string file = dir.File("victim.txt");
    Holder first({"twice", file});
    Holder second({"twice", file});
    ASSERT_TRUE(first.Ready() && second.Ready());
    // No answer, an empty one, or the end of input: no signal.
    for (const std::string input : {"", "\n\n", "\nN\n"}) {
        RunResult run = RunProgram({FENCAT_BINARY, "-ki", "-TERM", file}, input);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(kill(first.Pid(), 0) == 0 && kill(second.Pid(), 0) == 0) << "input: " << input;
        // Each process is asked about, whatever the last answer was.
        EXPECT_NE(run.err.find("send TERM to " + std::to_string(second.Pid())), std::string::npos) << run.err;
    }
    // Asked in the order of the process IDs, once each though each holds the
    // file twice: no to the first, yes to the next.
    Holder& asked = first.Pid() < second.Pid() ? first : second;
    Holder& killed = first.Pid() < second.Pid() ? second : first;
    RunResult run = RunProgram({FENCAT_BINARY, "-ki", "-TERM", file}, "n\ny\ny\n");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string question =
        "fencat: send TERM to " + std::to_string(asked.Pid()) + " (fencat_test_holder)? [y/N] ";
    EXPECT_EQ(run.err.find(question), 0u) << run.err;
    EXPECT_EQ(run.err.find(question, 1), std::string::npos) << run.err;
    const int status = killed.Wait(false);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(kill(asked.Pid(), 0), 0);

    RunResult rest = RunProgram({FENCAT_BINARY, "-k", "-SIGUSR1", file});
    EXPECT_EQ(rest.status, 0) << rest.err;
    const int usr1 = asked.Wait(false);
    EXPECT_TRUE(WIFSIGNALED(usr1) && WTERMSIG(usr1) == SIGUSR1) << usr1;
    EXPECT_EQ(RunProgram({FENCAT_BINARY, "-k", "--signal=SIGTERM", file}).status, 1);
}

// What a PID namespace of the test's own allows: a wait that can see every
// process, and a process ID handed out again on demand.
class OwnPidsTest : public OptionsTest {
protected:
    void Expect(const std::function<std::string()>& scenario) {
        if (geteuid() != 0) GTEST_SKIP() << "needs root, for a PID namespace";
        bool ran = false;
        const std::string failure = InOwnPidNamespace(scenario, ran);
        if (!ran) GTEST_SKIP() << "no PID namespace here";
        EXPECT_EQ(failure, "");
    }
};

TEST_F(OwnPidsTest, AWaitEndsWhenEveryUserHasLetGoAndNoneHasCome) {
    const std::string file = dir.File("busy.txt");
    Expect([&file]() -> std::string {
        auto first = std::make_unique<Holder>(std::vector<std::string>{"read", file});
        if (!first->Ready()) return "the first holder did not start";
        if (RunProgram({FENCAT_BINARY, "--wait=0.3", file}).status != 1) return "--wait=0.3 did not run out";
        // A second user comes while the wait watches the first; the name
        // goes before either lets go, and the wait is for the file it named.
        using Clock = std::chrono::steady_clock;
        Clock::time_point released;
        std::thread holders([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            Holder second({"read", file});
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            unlink(file.c_str());
            first->Wait();
            std::this_thread::sleep_for(std::chrono::milliseconds(900));
            released = Clock::now();
        });
        RunResult waited = RunProgram({FENCAT_BINARY, "--wait=inf", file});
        const Clock::time_point ended = Clock::now();
        holders.join();
        if (waited.status != 0 || !waited.out.empty())
            return "the wait ended " + std::to_string(waited.status) + ": " + waited.err;
        if (ended < released) return "the wait ended while the second holder held the file";
        return "";
    });
}

// Through a pidfd; through the /proc folder, with pidfd_send_signal() and
// without it (kernels before 5.3 and 5.1); and with no descriptor to spare,
// by the start time, which tells the two apart once a clock tick has passed.
TEST_F(OwnPidsTest, ASignalNeverReachesTheProcessThatTookAnEndedOnesId) {
    const std::string file = dir.File("victim.txt");
    for (const std::string faults :
         {"", "pidfd_open=ENOSYS", "pidfd_open=ENOSYS,pidfd_send_signal=ENOSYS", "pidfd_open=EMFILE"}) {
        Expect([&file, &faults]() -> std::string {
            auto victim = std::make_unique<Holder>(std::vector<std::string>{"read", file});
            if (!victim->Ready()) return "the holder did not start";
            const pid_t id = victim->Pid();
            int in[2], err[2];
            if (pipe2(in, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return "no pipes";
            const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
            const pid_t fencat =
                Spawn({"env", "FENCAT_TEST_FAULTS=" + faults, FENCAT_BINARY, "-k", "-i", file}, in[0], null, err[1]);
            close(null);
            close(in[0]);
            close(err[1]);
            std::string said = ReadUntil(err[0], "? [y/N] ");
            // While fencat asks, the holder ends and another process takes its ID.
            victim->Wait();
            if (faults.find("EMFILE") != std::string::npos)
                std::this_thread::sleep_for(std::chrono::milliseconds(3000 / sysconf(_SC_CLK_TCK)));
            std::ofstream("/proc/sys/kernel/ns_last_pid") << id - 1;
            Holder stranger({"wait"});
            if (stranger.Pid() != id) return "the ID was not handed out again";
            const bool answered = write(in[1], "y\n", 2) == 2;
            close(in[1]);
            said += ReadUntil(err[0], std::string(1, '\0'));
            close(err[0]);
            const int status = WaitWithLimit(fencat);
            // fencat has ended, so a signal it sent is already pending.
            if (!answered || stranger.Wait() != 0)
                return faults + ": the process that took the ID was signalled:\n" + said;
            const std::string ended =
                "fencat: " + std::to_string(id) + " (fencat_test_holder) ended before it was signalled\n";
            if (said.find(ended) == std::string::npos || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
                return faults + ": fencat said: " + said;
            return "";
        });
    }
}

TEST_F(OptionsTest, MountAsksAboutAWholeFileSystemByAnyFileOnItOrItsDevice) {
    const std::string top = dir.Path() + "/tmpfs";
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    if (mount("none", top.c_str(), "tmpfs", 0, nullptr) != 0) GTEST_SKIP() << "no tmpfs mount here";
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{top};
    const std::string deep = top + "/sub";
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    dir.File("tmpfs/sub/a.txt");
    Holder holder({"read", deep + "/a.txt"});
    // A socket bound on it keeps it busy as well.
    Holder listener({"socket", deep + "/s.sock"});
    ASSERT_TRUE(holder.Ready() && listener.Ready());
    // A block device stands for the file system on it.
    struct stat st;
    ASSERT_EQ(stat(top.c_str(), &st), 0);
    const std::string device = dir.Path() + "/device";
    ASSERT_EQ(mknod(device.c_str(), S_IFBLK | 0600, st.st_dev), 0);
    const std::set<pid_t> holders{holder.Pid(), listener.Pid()};
    for (const std::string& name : {top, deep, device}) {
        EXPECT_EQ(NumberList(RunProgram({FENCAT_BINARY, "-tm", name}).out), holders) << name;
        EXPECT_EQ(NumberList(RunProgram({"fuser", "-m", name}).out), holders) << name;
    }
    EXPECT_EQ(RunProgram({FENCAT_BINARY, top}).status, 1);
}

TEST_F(OptionsTest, OutputThatCannotBeWrittenIsAFailureThatSaysWhy) {
    const std::string file = dir.File("held.txt");
    Holder holder({"read", file});
    ASSERT_TRUE(holder.Ready());
    struct Case {
        std::string shell;  // runs fencat as "$0" "$1"
        std::string error;
    } cases[] = {
        {"exec \"$0\" \"$1\" >/dev/full", "No space left on device"},
        {"exec \"$0\" \"$1\" >&-", "Bad file descriptor"},
        {"exec \"$0\" --version >/dev/full", "No space left on device"},
        // A pipe whose reader is gone, with SIGPIPE ignored.
        {"exec python3 -c 'import os, signal, sys\nsignal.signal(signal.SIGPIPE, signal.SIG_IGN)\n"
         "r, w = os.pipe()\nos.close(r)\nos.dup2(w, 1)\nos.execv(sys.argv[1], sys.argv[1:])' \"$0\" \"$1\"",
         "Broken pipe"},
    };
    for (const Case& c : cases) {
        RunResult run = RunProgram({"sh", "-c", c.shell, FENCAT_BINARY, file});
        EXPECT_EQ(run.status, 2) << c.shell;
        EXPECT_EQ(SplitLines(run.err).at(0), "fencat: cannot write the output: " + c.error) << c.shell;
    }
}

TEST_F(OptionsTest, CommandLinesThatCannotRunSayWhyInOneLine) {
    const std::string file = dir.File("x.txt");
    const std::string tryHelp = "Try 'fencat --help' for more information.\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--bogus", file}, {"-x", file}, {"-QUIT1", file}, {"-i", file}, {"-t", "-v", file}, {"--wait=soon", file},
             {"-TERM", file}, {"-k", "--name", "x.txt"}, {"--bad\n\x1b[2J", file}, {"--bad\xC2\x9B" "2J", file}}) {
        std::vector<std::string> argv{FENCAT_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult run = RunProgram(argv);
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_EQ(run.out, "");
        const std::vector<std::string> lines = SplitLines(run.err);
        ASSERT_EQ(lines.size(), 2u) << run.err;
        EXPECT_EQ(lines[0].substr(0, 8), "fencat: ");
        EXPECT_EQ(lines[1] + "\n", tryHelp);
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << "escaped";
        EXPECT_EQ(run.err.find("\xC2\x9B"), std::string::npos) << "escaped";
    }
    // No FILE: the short usage, and no window.
    RunResult bare = RunProgram({"env", "DISPLAY=:0", FENCAT_BINARY});
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.err.substr(0, 14), "Usage: fencat ");
    EXPECT_NE(bare.err.find(tryHelp), std::string::npos);
    // "--" ends the options; -l lists the signals.
    RunResult dashed = RunProgram({FENCAT_BINARY, "--", "-t"});
    EXPECT_EQ(dashed.status, 2);
    EXPECT_EQ(dashed.err.find("fencat: -t: No such file or directory"), 0u) << dashed.err;
    EXPECT_NE(RunProgram({FENCAT_BINARY, "-l"}).out.find("HUP INT QUIT"), std::string::npos);
}

}  // namespace
