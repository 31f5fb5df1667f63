// A FILE with a path is the file it names here, found by device and inode
// as fuser finds it: through bind mounts and hard links, not through a path
// text that another mount namespace gives another file, at any length.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

std::set<pid_t> Distinct(const std::multiset<pid_t>& pids) { return std::set<pid_t>(pids.begin(), pids.end()); }

// fencat's, fuser's and lsof's processes for `file`, asked from `cwd`.
struct Answers {
    std::set<pid_t> fencat, fuser, lsof;
};

Answers Ask(const std::string& file, const std::string& cwd = "") {
    auto run = [&](const std::string& command) {
        if (cwd.empty()) return RunProgram({"sh", "-c", command + " \"$0\"", file});
        return RunProgram({"sh", "-c", "cd \"$1\" && exec " + command + " \"$0\"", file, cwd});
    };
    return Answers{Distinct(FencatPids(run(FENCAT_BINARY).out)), NumberList(run("fuser").out),
                   NumberList(run("lsof -t").out)};
}

void ExpectAllFind(const std::string& file, const std::set<pid_t>& holders, const std::string& cwd = "") {
    const Answers answers = Ask(file, cwd);
    EXPECT_EQ(answers.fencat, holders) << file;
    EXPECT_EQ(answers.fuser, holders) << file;
    EXPECT_EQ(answers.lsof, holders) << file;
}

// Unmounts on every way out of a test.
struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
};

class IdentityTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(IdentityTest, DotHardLinksAndBindMountsBothWays) {
    const std::string a = dir.Path() + "/a", b = dir.Path() + "/b";
    ASSERT_EQ(mkdir(a.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(b.c_str(), 0755), 0);
    dir.File("a/f");
    dir.File("a/g");
    ASSERT_EQ(link((a + "/f").c_str(), (a + "/f-link").c_str()), 0);

    Holder sits({"cwd", a});
    Holder holdsF({"read", a + "/f"});
    ASSERT_TRUE(sits.Ready() && holdsF.Ready());
    // lsof, run from the folder, counts itself among its users.
    const Answers dot = Ask(".", a);
    EXPECT_EQ(dot.fencat, std::set<pid_t>{sits.Pid()});
    EXPECT_EQ(dot.fuser, dot.fencat);
    EXPECT_EQ(dot.lsof.count(sits.Pid()), 1u);
    ExpectAllFind(a + "/f-link", {holdsF.Pid()});

    if (mount(a.c_str(), b.c_str(), nullptr, MS_BIND, nullptr) != 0) GTEST_SKIP() << "no bind mount here";
    const Unmount unmount{b};
    {
        // Held under one name, asked for under the other, each way round.
        Holder holdsG({"read", b + "/g"});
        ASSERT_TRUE(holdsG.Ready());
        ExpectAllFind(b + "/f", {holdsF.Pid()});
        ExpectAllFind(a + "/g", {holdsG.Pid()});
        EXPECT_EQ(Ask(".", b).fencat, std::set<pid_t>{sits.Pid()});
    }
}

TEST_F(IdentityTest, AnOverlayFileMappedAndADescriptorPastSixteenBits) {
    const std::string top = dir.Path() + "/merged";
    for (const char* name : {"/lower", "/upper", "/work", "/merged"})
        ASSERT_EQ(mkdir((dir.Path() + name).c_str(), 0755), 0);
    dir.File("lower/lib.bin", std::string(4096, 'o'));
    const std::string options = "lowerdir=" + dir.Path() + "/lower,upperdir=" + dir.Path() + "/upper,workdir=" +
                                dir.Path() + "/work";
    if (mount("overlay", top.c_str(), "overlay", 0, options.c_str()) != 0) GTEST_SKIP() << "no overlay here";
    const Unmount unmount{top};
    {
        // Mapped only: maps must name the overlay's file, whatever inode
        // the kernel writes there.
        Holder mapper({"map", top + "/lib.bin"});
        ASSERT_TRUE(mapper.Ready());
        ExpectAllFind(top + "/lib.bin", {mapper.Pid()});
        Holder high({"highfd", top + "/lib.bin"});
        if (!high.Ready()) GTEST_SKIP() << "descriptor 70000 is not allowed here (RLIMIT_NOFILE)";
        ExpectAllFind(top + "/lib.bin", {mapper.Pid(), high.Pid()});
        RunResult wide = RunProgram({FENCAT_BINARY, "--long", top + "/lib.bin"});
        EXPECT_EQ(FencatPids(wide.out), (std::multiset<pid_t>{mapper.Pid(), high.Pid()})) << wide.out;
    }
}

TEST_F(IdentityTest, AnotherMountNamespaceKeepsItsOwnFileOfTheSamePath) {
    const std::string folder = dir.Path() + "/ns";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string file = dir.File("ns/f");
    // In a namespace of its own, a tmpfs covers the folder: the holder's
    // ns/f is another file that merely shares the path text.
    Holder stranger({"-m", "--propagation", "private", "sh", "-c",
                     "mount -t tmpfs none \"$0\" && echo x > \"$0/f\" && exec \"$1\" read \"$0/f\"", folder,
                     HOLDER_BINARY},
                    "unshare");
    if (!stranger.Ready()) GTEST_SKIP() << "no mount namespace here";
    Holder ours({"read", file});
    ASSERT_TRUE(ours.Ready());
    const Answers answers = Ask(file);
    EXPECT_EQ(answers.fencat, std::set<pid_t>{ours.Pid()});
    EXPECT_EQ(answers.fuser, answers.fencat);
    // Another namespace that holds our very file does use our folder.
    Holder guest({"-m", "--propagation", "private", HOLDER_BINARY, "read", dir.File("ns-guest.txt")}, "unshare");
    ASSERT_TRUE(guest.Ready());
    RunResult under = RunProgram({FENCAT_BINARY, "--under", folder});
    EXPECT_EQ(Distinct(FencatPids(under.out)), std::set<pid_t>{ours.Pid()}) << under.out;
    RunResult guestUnder = RunProgram({FENCAT_BINARY, "--under", dir.Path()});
    EXPECT_EQ(Distinct(FencatPids(guestUnder.out)).count(guest.Pid()), 1u) << guestUnder.out;
    EXPECT_EQ(Distinct(FencatPids(guestUnder.out)).count(stranger.Pid()), 0u) << guestUnder.out;
    // By name the text is all there is: both hold an "f".
    EXPECT_EQ(Distinct(FencatPids(RunProgram({FENCAT_BINARY, "--name", "f"}).out)).count(stranger.Pid()), 1u);
}

TEST_F(IdentityTest, PathsLongerThanWindowsAndThanTheKernelCanName) {
    // 300 bytes: found, and the whole path shown.
    std::string deep = dir.Path();
    for (int i = 0; i < 3; ++i) {
        deep += "/" + std::string(100, static_cast<char>('p' + i));
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    const std::string file = deep + "/held.txt";
    dir.File(file.substr(dir.Path().size() + 1));
    Holder holder({"read", file});
    ASSERT_TRUE(holder.Ready());
    ExpectAllFind(file, {holder.Pid()});
    RunResult wide = RunProgram({FENCAT_BINARY, "--long", file});
    EXPECT_NE(wide.out.find("  " + file + "\n"), std::string::npos) << wide.out;

    // Past 4095 bytes no link text can be read; the descriptor is found by
    // what it is. The folders are made and the file opened relative to a
    // current folder deep in the tree.
    const int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(back, 0);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    const std::string component(250, 'd');
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(mkdir(component.c_str(), 0755) == 0 && chdir(component.c_str()) == 0);
    close(open("far.txt", O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    {
        Holder far({"read", "./far.txt"});
        ASSERT_TRUE(far.Ready());
        const Answers answers = Ask("./far.txt");
        EXPECT_EQ(answers.fencat, std::set<pid_t>{far.Pid()});
        EXPECT_EQ(answers.fuser, answers.fencat);
    }
    EXPECT_EQ(fchdir(back), 0);
    close(back);
}

TEST_F(IdentityTest, BackslashesAndDeletedFiles) {
    // A backslash is part of a name on Linux, no separator.
    const std::string odd = dir.File("left\\right");
    Holder holdsOdd({"read", odd});
    ASSERT_TRUE(holdsOdd.Ready());
    ExpectAllFind(odd, {holdsOdd.Pid()});
    EXPECT_EQ(Distinct(FencatPids(RunProgram({FENCAT_BINARY, "--name", "left\\right"}).out)),
              std::set<pid_t>{holdsOdd.Pid()});
    EXPECT_EQ(RunProgram({FENCAT_BINARY, "--name", "right"}).status, 1);

    // A deleted file that is still open counts only through a name that
    // still stands for it; a new file under its old name is another file.
    const std::string gone = dir.File("gone.txt"), kept = dir.Path() + "/kept.txt";
    ASSERT_EQ(link(gone.c_str(), kept.c_str()), 0);
    Holder holdsGone({"read", gone});
    ASSERT_TRUE(holdsGone.Ready());
    ASSERT_EQ(unlink(gone.c_str()), 0);
    dir.File("gone.txt", "new");
    ExpectAllFind(gone, {});
    ExpectAllFind(kept, {holdsGone.Pid()});
    // Its /proc link names it too, though the link's text names nothing.
    std::string link;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(holdsGone.Pid()) + "/fd")) {
        std::error_code code;
        if (std::filesystem::read_symlink(entry.path(), code).string() == gone + " (deleted)") link = entry.path();
    }
    ASSERT_FALSE(link.empty());
    EXPECT_EQ(Distinct(FencatPids(RunProgram({FENCAT_BINARY, link}).out)), std::set<pid_t>{holdsGone.Pid()});
    // A file with no name left is still found by the name it had.
    const std::string lost = dir.File("lost.txt");
    Holder holdsLost({"read", lost});
    ASSERT_TRUE(holdsLost.Ready());
    ASSERT_EQ(unlink(lost.c_str()), 0);
    EXPECT_EQ(Distinct(FencatPids(RunProgram({FENCAT_BINARY, "--name", "lost.txt"}).out)),
              std::set<pid_t>{holdsLost.Pid()});
}

TEST_F(IdentityTest, FortyFilesInOneRunAnswerAsFortySingleRuns) {
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) files.push_back(dir.File("f" + std::to_string(i)));
    std::vector<std::unique_ptr<Holder>> holders;
    for (int i = 0; i < 40; i += 3) {
        holders.push_back(std::make_unique<Holder>(
            std::vector<std::string>{"read", files[i], "map", files[(i + 7) % 40], "cwd", dir.Path()}));
        ASSERT_TRUE(holders.back()->Ready());
    }
    std::vector<std::string> args{FENCAT_BINARY};
    args.insert(args.end(), files.begin(), files.end());
    const RunResult all = RunProgram(args);
    EXPECT_EQ(all.status, 0);
    std::string expected;
    for (const std::string& file : files) expected += file + ":\n" + RunProgram({FENCAT_BINARY, file}).out;
    EXPECT_EQ(all.out, expected);
}

TEST_F(IdentityTest, ProcessesWithThousandsOfMappingsOrDescriptorsAreReadToTheEnd) {
    const std::string many = dir.File("many.bin", std::string(4096, 'm'));
    const std::string last = dir.File("last.bin", std::string(4096, 'l'));
    Holder holder({"mapmany", many, "map", last});
    ASSERT_TRUE(holder.Ready());
    // Its mappings of one file are one module; the file mapped after them
    // all, at the end of its maps text, is found too.
    EXPECT_EQ(FencatPids(RunProgram({FENCAT_BINARY, many}).out), std::multiset<pid_t>{holder.Pid()});
    ExpectAllFind(last, {holder.Pid()});
    // A file opened after 2,000 others: the descriptor folder takes several
    // reads to list.
    const std::string file = dir.File("opened-last.txt");
    Holder opener({"last", file});
    if (!opener.Ready()) GTEST_SKIP() << "2,000 descriptors are not allowed here (RLIMIT_NOFILE)";
    ExpectAllFind(file, {opener.Pid()});
}

}  // namespace
