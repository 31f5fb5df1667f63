// The options Unix users reach for: -t, -v, -k (with -i), -w, -m, and what
// fencat says to a command line it cannot run.
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The -v row of `pid`, split into its words.
std::vector<std::string> Row(const std::string& out, pid_t pid) {
    for (const std::string& line : Lines(out)) {
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
    EXPECT_EQ(Lines(terse.out).size(), 2u) << terse.out;
    EXPECT_EQ(NumberList(terse.out), both);
    EXPECT_EQ(NumberList(RunProgram({"fuser", file}).out), both);

    RunResult verbose = RunProgram({FENCAT_BINARY, "-v", file});
    EXPECT_EQ(Lines(verbose.out).front().substr(0, 4), "USER");
    EXPECT_EQ(Row(verbose.out, reader.Pid()), (std::vector<std::string>{"root", std::to_string(reader.Pid()), "f....",
                                                                         "fencat_test_holder", file}));
    EXPECT_EQ(Row(verbose.out, writer.Pid()).at(2), "F....");
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", dir.Path()}).out, reader.Pid()).at(2), "..c..");
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", lib}).out, reader.Pid()).at(2), "....m");
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", HOLDER_BINARY}).out, reader.Pid()).at(2), "...e.");
}

TEST_F(OptionsTest, KillSendsTheSignalAskedForAndAsksFirstWithInteractive) {
    const std::string file = dir.File("victim.txt");
    Holder first({"read", file});
    Holder second({"read", file});
    ASSERT_TRUE(first.Ready() && second.Ready());
    // Asked in the order of the process IDs: no to the first, yes to the next.
    Holder& asked = first.Pid() < second.Pid() ? first : second;
    Holder& killed = first.Pid() < second.Pid() ? second : first;
    RunResult run = RunProgram({FENCAT_BINARY, "-ki", "-TERM", file}, "n\ny\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("send TERM to " + std::to_string(asked.Pid())), std::string::npos) << run.err;
    const int status = killed.Wait(false);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(kill(asked.Pid(), 0), 0);

    RunResult rest = RunProgram({FENCAT_BINARY, "-k", "--signal=USR1", file});
    EXPECT_EQ(rest.status, 0) << rest.err;
    const int usr1 = asked.Wait(false);
    EXPECT_TRUE(WIFSIGNALED(usr1) && WTERMSIG(usr1) == SIGUSR1) << usr1;
    EXPECT_EQ(RunProgram({FENCAT_BINARY, "-k", file}).status, 1);
}

TEST_F(OptionsTest, WaitEndsWhenTheFileIsFreeOrTheTimeRunsOut) {
    const std::string file = dir.File("busy.txt");
    auto holder = std::make_unique<Holder>(std::vector<std::string>{"read", file});
    ASSERT_TRUE(holder->Ready());
    EXPECT_EQ(RunProgram({FENCAT_BINARY, "--wait=0.3", file}).status, 1);
    // The name goes before the holder lets go: the wait is for the file it
    // named, not for whatever the name stands for at each look.
    std::thread release([&holder, &file] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        unlink(file.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        holder->Wait();
    });
    RunResult waited = RunProgram({FENCAT_BINARY, "--wait=inf", file});
    release.join();
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_EQ(waited.out, "");
}

TEST_F(OptionsTest, MountAsksAboutAWholeFileSystem) {
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
    ASSERT_TRUE(holder.Ready());
    const std::set<pid_t> holders{holder.Pid()};
    EXPECT_EQ(NumberList(RunProgram({FENCAT_BINARY, "-tm", top}).out), holders);
    EXPECT_EQ(NumberList(RunProgram({"fuser", "-m", top}).out), holders);
    EXPECT_EQ(RunProgram({FENCAT_BINARY, top}).status, 1);
}

TEST_F(OptionsTest, CommandLinesThatCannotRunSayWhyInOneLine) {
    const std::string file = dir.File("x.txt");
    const std::string tryHelp = "Try 'fencat --help' for more information.\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--bogus", file}, {"-x", file}, {"-QUIT1", file}, {"-i", file}, {"-t", "-v", file}, {"--wait=soon", file},
             {"-TERM", file}, {"--bad\n\x1b[2J", file}}) {
        std::vector<std::string> argv{FENCAT_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult run = RunProgram(argv);
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_EQ(run.out, "");
        const std::vector<std::string> lines = Lines(run.err);
        ASSERT_EQ(lines.size(), 2u) << run.err;
        EXPECT_EQ(lines[0].substr(0, 8), "fencat: ");
        EXPECT_EQ(lines[1] + "\n", tryHelp);
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << "escaped";
    }
    // No FILE: the short usage, and no window.
    RunResult bare = RunProgram({"env", "DISPLAY=:0", FENCAT_BINARY});
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.err.substr(0, 14), "Usage: fencat ");
    EXPECT_NE(bare.err.find(tryHelp), std::string::npos);
    // "--" ends the options; -l lists the signals.
    EXPECT_EQ(RunProgram({FENCAT_BINARY, "--", "-t"}).status, 1);
    EXPECT_NE(RunProgram({FENCAT_BINARY, "-l"}).out.find("HUP INT QUIT"), std::string::npos);
}

}  // namespace
