// Exit statuses and messages that mean what they say: -k that could not
// signal, output lost however it falls on the buffer, names that cannot be
// searched, and signals misspelt; and names with C1 controls in them never
// reach the terminal raw.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

class ExitStatusTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ExitStatusTest, KillSucceedsOnlyWhenEveryProcessMeantWasSignalled) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, for processes of two users";
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const std::string file = dir.File("shared.txt");
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    const std::vector<std::string> nobody{"--reuid=65534", "--regid=65534", "--clear-groups"};
    auto asNobody = [&](std::vector<std::string> args) {
        std::vector<std::string> argv{"setpriv"};
        argv.insert(argv.end(), nobody.begin(), nobody.end());
        // It sees root's processes, and may still not signal them.
        argv.insert(argv.end(), {"--inh-caps=+sys_ptrace,+dac_read_search",
                                 "--ambient-caps=+sys_ptrace,+dac_read_search", FENCAT_BINARY});
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv);
    };
    Holder root({"read", file});
    ASSERT_TRUE(root.Ready());
    RunResult none = asNobody({"-k", file});
    if (none.err.find("setpriv") != std::string::npos) GTEST_SKIP() << none.err;
    EXPECT_EQ(none.status, 2) << none.err;
    EXPECT_NE(none.err.find("cannot send KILL to " + std::to_string(root.Pid())), std::string::npos) << none.err;

    std::vector<std::string> args = nobody;
    args.insert(args.end(), {HOLDER_BINARY, "read", file});
    Holder own(args, "setpriv");
    ASSERT_TRUE(own.Ready());
    RunResult some = asNobody({"-k", "-TERM", file});
    EXPECT_EQ(some.status, 2) << some.err;
    const int status = own.Wait(false);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(kill(root.Pid(), 0), 0);
}

TEST_F(ExitStatusTest, OutputLostToAFullDeviceSaysWhyHoweverItFallsOnTheBuffer) {
    const std::string file = dir.File("held.txt");
    Holder holder({"read", file});
    ASSERT_TRUE(holder.Ready());
    // Each FILE is a heading of its own; slashes make the headings as long
    // as wanted without changing what they name.
    constexpr size_t kQueries = 4;
    const std::vector<std::string> plain(kQueries, file);
    std::vector<std::string> argv{FENCAT_BINARY, "--long"};
    argv.insert(argv.end(), plain.begin(), plain.end());
    const std::string plainOut = RunProgram(argv).out;
    const size_t base = plainOut.size();
    // stdio loses the reason where the write that fails is the last one:
    // where the output before the last line fills its buffer, or the last
    // line goes past it; and an exact multiple of it, and one byte more.
    const size_t last = plainOut.size() - plainOut.rfind('\n', plainOut.size() - 2) - 1;
    for (const size_t total : {4096 + last, 4091 + last, 8192 + last, size_t{8192}, size_t{8193}}) {
        ASSERT_LT(base, total);
        std::vector<std::string> padded{FENCAT_BINARY, "--long"};
        const size_t extra = total - base;
        for (size_t i = 0; i < kQueries; ++i) {
            const size_t slashes = extra / kQueries + (i == 0 ? extra % kQueries : 0);
            padded.push_back(dir.Path() + std::string(slashes, '/') + file.substr(dir.Path().size()));
        }
        RunResult whole = RunProgram(padded);
        ASSERT_EQ(whole.out.size(), total) << whole.err;
        std::vector<std::string> full{"sh", "-c", "exec \"$@\" >/dev/full", "sh"};
        full.insert(full.end(), padded.begin(), padded.end());
        RunResult lost = RunProgram(full);
        EXPECT_EQ(lost.status, 2) << total;
        EXPECT_EQ(FirstLine(lost.err), "fencat: cannot write the output: No space left on device") << total;
    }
}

TEST_F(ExitStatusTest, C1ControlsInNamesAreEscapedInTheTableAndInJson) {
    const std::string program = dir.Path() + "/run\xC2\x80me\xC2\x9F";
    std::filesystem::copy_file(HOLDER_BINARY, program);
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    // CSI, then "2J": a hex escape would take the 2 in.
    const std::string file = dir.File(std::string("f\xC2\x9B") + "2J\xC2\x80.txt");
    Holder holder({"read", file}, program);
    ASSERT_TRUE(holder.Ready());
    RunResult table = RunProgram({FENCAT_BINARY, "-v", file});
    RunResult json = RunProgram({FENCAT_BINARY, "--json", file});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(json.status, 0) << json.err;
    for (const std::string& out : {table.out, json.out}) {
        for (const char* raw : {"\xC2\x80", "\xC2\x9F", "\xC2\x9B"}) EXPECT_EQ(out.find(raw), std::string::npos) << out;
    }
    EXPECT_NE(table.out.find(" run\\xc2\\x80me\\xc2\\x9f "), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("f\\xc2\\x9b2J\\xc2\\x80.txt\n"), std::string::npos) << table.out;
    EXPECT_NE(json.out.find("\"name\":\"run\\u0080me\\u009f\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("f\\u009b2J\\u0080.txt\""), std::string::npos) << json.out;
}

TEST_F(ExitStatusTest, NamesAndSignalsThatCannotBeUsedSayWhyInTheirOwnTerms) {
    const std::string file = dir.File("x.txt");
    Holder holder({"read", file});
    ASSERT_TRUE(holder.Ready());
    struct Case {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{"-m", "nosuchname"}, "fencat: nosuchname: No such file or directory (-m takes a mount point"},
        {{"-k", "-term", file}, "fencat: unknown signal 'term'"},
        {{"-k", "-Term", file}, "fencat: unknown signal 'Term'"},
        {{"-k", "-sigfoo", file}, "fencat: unknown signal 'sigfoo'"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv{FENCAT_BINARY};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        RunResult run = RunProgram(argv);
        EXPECT_EQ(run.status, 2) << c.args[1] << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.args[1];
        EXPECT_EQ(run.err.find(c.said), 0u) << run.err;
        EXPECT_EQ(run.err.find("--name nosuchname"), std::string::npos) << run.err;
    }
    EXPECT_EQ(kill(holder.Pid(), 0), 0);
    // The names that can be searched are, and the run still fails.
    RunResult mixed = RunProgram({FENCAT_BINARY, "-t", "--name", "x.txt", "--name", "dir/x.txt"});
    EXPECT_EQ(mixed.status, 2) << mixed.err;
    EXPECT_EQ(NumberList(mixed.out), std::set<pid_t>{holder.Pid()});
    EXPECT_EQ(mixed.err.find("fencat: --name dir/x.txt: a NAME is one file name"), 0u) << mixed.err;
}

}  // namespace
