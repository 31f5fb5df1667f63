// A thread with tables of its own uses files the process's own tables do
// not show, and so does every live thread of a process whose main thread
// has exited; fuser and lsof miss them, fencat may not.
#include <unistd.h>

#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

// The -v row of `pid`: its access letters and command.
std::string Row(const std::string& out, pid_t pid) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string user, id, access, command;
        if (in >> user >> id >> access >> command && id == std::to_string(pid)) return access + " " + command;
    }
    return "";
}

class ThreadsTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ThreadsTest, AThreadsOwnDescriptorsAndFoldersAreReadOnceEach) {
    const std::string file = dir.File("own.txt"), shared = dir.File("shared.txt");
    // `shared` is opened before the thread copies the table: both tables
    // hold it, as one descriptor of the process.
    Holder holder({"read", shared, "thread-open", file, "thread-cwd", dir.Path()});
    ASSERT_TRUE(holder.Ready());
    for (const std::string& path : {file, shared, dir.Path()}) {
        RunResult run = RunProgram({FENCAT_BINARY, path});
        EXPECT_EQ(run.status, 0) << path << ": " << run.err;
        EXPECT_EQ(FencatPids(run.out), std::multiset<pid_t>{holder.Pid()}) << path;
    }
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", dir.Path()}).out, holder.Pid()), "..c.. fencat_test_holder");
}

TEST_F(ThreadsTest, AProcessWhoseMainThreadHasExitedIsReadThroughItsLiveThread) {
    const std::string file = dir.File("held.bin", std::string(8192, 'h'));
    Holder holder({"leader-exits", file});
    ASSERT_TRUE(holder.Ready());
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", file}).out, holder.Pid()), "f...m fencat_test_holder");
    EXPECT_EQ(Row(RunProgram({FENCAT_BINARY, "-v", dir.Path()}).out, holder.Pid()), "..c.. fencat_test_holder");
    RunResult lines = RunProgram({FENCAT_BINARY, file});
    EXPECT_EQ(FencatPids(lines.out), (std::multiset<pid_t>{holder.Pid(), holder.Pid()})) << lines.out;
}

}  // namespace
