// fencat --under DIR against real processes, checked with lsof +D, which
// walks the tree to answer the same question.
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

std::set<pid_t> Distinct(const std::multiset<pid_t>& pids) { return std::set<pid_t>(pids.begin(), pids.end()); }

class UnderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.Path().empty());
        tree = dir.Path() + "/tree";
        std::filesystem::create_directories(tree + "/sub/deeper");
        // Begins like the tree, but is beside it.
        std::filesystem::create_directories(dir.Path() + "/tree-sibling");
    }

    TempDir dir;
    std::string tree;
};

TEST_F(UnderTest, EveryUseAtOrBelowTheFolderAsLsofSeesIt) {
    std::string a = dir.File("tree/a.txt"), b = dir.File("tree/sub/b.txt");
    std::string mapped = dir.File("tree/sub/m.bin", std::string(8192, 'm'));
    std::string beside = dir.File("tree-sibling/c.txt");
    Holder two({"read", a, "read", b});
    Holder sitting({"cwd", tree + "/sub/deeper"});
    Holder mapping({"map", mapped});
    Holder folder({"read", tree});
    Holder sibling({"read", beside, "cwd", dir.Path()});
    ASSERT_TRUE(two.Ready() && sitting.Ready() && mapping.Ready() && folder.Ready() && sibling.Ready());

    RunResult fencat = RunProgram({FENCAT_BINARY, "--under", tree});
    std::set<pid_t> lsof = NumberList(RunProgram({"lsof", "-t", "+D", tree}).out);
    EXPECT_EQ(fencat.status, 0) << fencat.err;
    const std::multiset<pid_t> lines = FencatPids(fencat.out);
    const std::set<pid_t> expected{two.Pid(), sitting.Pid(), mapping.Pid(), folder.Pid()};
    EXPECT_EQ(Distinct(lines), expected) << fencat.out;
    EXPECT_EQ(Distinct(lines), lsof);
    // One line per file in use, as ever.
    EXPECT_EQ(lines.count(two.Pid()), 2u);
    // Still the plain result lines: ID and a name padded to 20 columns.
    std::istringstream text(fencat.out);
    for (std::string line; std::getline(text, line);) EXPECT_EQ(line.size(), 28u) << line;
}

// A memfd and shared anonymous memory read like deleted files in /proc
// ("/memfd:NAME (deleted)", "/dev/zero (deleted)"), but lie in no folder.
TEST_F(UnderTest, TheKernelsOwnSharedMemoryLiesInNoFolder) {
    Holder holder({"memfd", "fencat-probe", "cwd", tree});
    ASSERT_TRUE(holder.Ready());
    const std::string pid = std::to_string(holder.Pid());
    for (const std::string& folder : {std::string("/"), std::string("/dev")}) {
        RunResult run = RunProgram({FENCAT_BINARY, "--long", "--pid", pid, "--under", folder});
        EXPECT_EQ(run.out.find("memfd:"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("/dev/zero"), std::string::npos) << run.out;
    }
    // Its folder is still found, and only that, through the same look.
    RunResult under = RunProgram({FENCAT_BINARY, "--long", "--pid", pid, "--under", tree});
    EXPECT_EQ(under.status, 0) << under.err;
    const std::vector<std::string> lines = SplitLines(under.out);
    EXPECT_TRUE(lines.size() == 1 && lines[0].size() > tree.size() &&
                lines[0].compare(lines[0].size() - tree.size(), tree.size(), tree) == 0)
        << under.out;
    EXPECT_EQ(RunProgram({FENCAT_BINARY, "--pid", pid, "--name", "memfd:fencat-probe"}).status, 1);
}

TEST_F(UnderTest, TheFolderIsResolvedLikeAFile) {
    std::string a = dir.File("tree/sub/a.txt");
    Holder holder({"read", a});
    ASSERT_TRUE(holder.Ready());
    std::string link = dir.Path() + "/link";
    std::filesystem::create_directory_symlink(tree, link);
    for (const std::string& name : {link, link + "/", tree + "/sub/..", tree + "//sub"}) {
        RunResult run = RunProgram({FENCAT_BINARY, "--under=" + name});
        EXPECT_EQ(run.status, 0) << name << "\n" << run.err;
        EXPECT_EQ(FencatPids(run.out), std::multiset<pid_t>{holder.Pid()}) << name;
    }
}

TEST_F(UnderTest, AnUnusedFolderAndAMissingOne) {
    Holder beside({"read", dir.File("tree-sibling/c.txt")});
    ASSERT_TRUE(beside.Ready());
    RunResult unused = RunProgram({FENCAT_BINARY, "--under", tree});
    EXPECT_EQ(unused.status, 1) << unused.err;
    EXPECT_EQ(unused.out, "");
    EXPECT_EQ(RunProgram({"lsof", "-t", "+D", tree}).out, "");

    RunResult missing = RunProgram({FENCAT_BINARY, "--under", tree + "/none"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
    EXPECT_EQ(RunProgram({FENCAT_BINARY, "--under"}).status, 2);
}

TEST_F(UnderTest, FoldersAndFilesInOneRun) {
    std::string a = dir.File("tree/a.txt"), other = dir.File("other.txt");
    Holder inTree({"read", a});
    Holder holdsOther({"read", other});
    ASSERT_TRUE(inTree.Ready() && holdsOther.Ready());
    RunResult run = RunProgram({FENCAT_BINARY, other, "--under", tree});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FencatPids(run.out), (std::multiset<pid_t>{inTree.Pid(), holdsOther.Pid()}));
    const size_t otherHeading = run.out.find(other + ":\n"), treeHeading = run.out.find(tree + ":\n");
    ASSERT_NE(otherHeading, std::string::npos) << run.out;
    ASSERT_NE(treeHeading, std::string::npos) << run.out;
    EXPECT_LT(otherHeading, treeHeading);
}

}  // namespace
