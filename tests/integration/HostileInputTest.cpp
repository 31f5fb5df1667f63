// fencat given what a hostile or careless command line gives it: empty and
// overlong names, bytes that are no UTF-8, newlines and blanks, "-",
// folders, sockets, FIFOs, /proc files and dangling links. Each run must
// end by itself (a timeout stops a hang) with the right status and a clear
// message or the right answer, and the sanitizer build must see no fault.
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

// Bare names are looked for system-wide: each run's must be its own.
std::string Unique(const std::string& name) { return std::to_string(getpid()) + "-" + name; }

std::set<pid_t> Distinct(const std::multiset<pid_t>& pids) { return std::set<pid_t>(pids.begin(), pids.end()); }

// fencat, stopped if it runs for a minute; run in `cwd` where one is given.
RunResult Fencat(const std::vector<std::string>& args, const std::string& cwd = "") {
    std::vector<std::string> argv{"timeout", "60", FENCAT_BINARY};
    if (!cwd.empty()) argv.insert(argv.begin(), {"sh", "-c", "cd \"$0\" && exec \"$@\"", cwd});
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

// The run ended by itself with `status`, and no sanitizer spoke.
void ExpectEnded(const RunResult& run, int status, const std::string& what) {
    EXPECT_EQ(run.status, status) << what << "\n" << run.err.substr(0, 2000);
    EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << what << "\n" << run.err.substr(0, 2000);
    EXPECT_EQ(run.err.find("runtime error"), std::string::npos) << what << "\n" << run.err.substr(0, 2000);
}

// fencat finds exactly the holders of `path`, and so do fuser and lsof.
void ExpectFoundLikePeers(const std::string& path, const std::set<pid_t>& holders) {
    RunResult run = Fencat({path});
    ExpectEnded(run, 0, path);
    EXPECT_EQ(Distinct(FencatPids(run.out)), holders) << path;
    EXPECT_EQ(NumberList(RunProgram({"fuser", path}).out), holders) << path;
    EXPECT_EQ(NumberList(RunProgram({"lsof", "-t", path}).out), holders) << path;
}

class HostileInputTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(HostileInputTest, EmptyAndOverlongNames) {
    RunResult empty = Fencat({""});
    ExpectEnded(empty, 2, "empty");
    EXPECT_EQ(empty.err, "fencat: empty file name\n");
    EXPECT_EQ(empty.out, "");
    // A NAME is refused for what it is, before any search.
    RunResult emptyName = Fencat({"--name", ""});
    ExpectEnded(emptyName, 2, "--name \"\"");
    EXPECT_EQ(emptyName.err, "fencat: --name: an empty NAME names no file\n");
    RunResult folderName = Fencat({"--name", "etc/passwd"});
    ExpectEnded(folderName, 2, "--name etc/passwd");
    EXPECT_EQ(folderName.err, "fencat: --name etc/passwd: a NAME is one file name, with no folder part\n");
    EXPECT_EQ(folderName.out, "");

    // A name is compared, never opened: any length is searched. A bare
    // FILE names a file here, and no file has such a name.
    const std::string longName(10000, 'n');
    RunResult byName = Fencat({"--name", longName});
    ExpectEnded(byName, 1, "--name of 10000 bytes");
    EXPECT_EQ(byName.out, "");
    RunResult bare = Fencat({longName});
    ExpectEnded(bare, 2, "bare FILE of 10000 bytes");
    EXPECT_NE(bare.err.find("File name too long"), std::string::npos) << bare.err.substr(0, 300);

    RunResult path = Fencat({dir.Path() + "/" + longName});
    ExpectEnded(path, 2, "path of 10000 bytes");
    EXPECT_NE(path.err.find("File name too long"), std::string::npos) << path.err.substr(0, 300);
    EXPECT_EQ(path.out, "");
}

TEST_F(HostileInputTest, BytesThatAreNoUtf8AreFoundAndPrintedAsTheyAre) {
    const std::string name = Unique("\xFF\xFE-\x80 \xC3(.txt");
    const std::string path = dir.File(name);
    // The holder runs under a name that is no UTF-8 either.
    const std::string image = Unique("h\xFF\x81");
    const std::string copy = dir.Path() + "/" + image;
    std::filesystem::copy_file(HOLDER_BINARY, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    Holder holder({"read", path}, copy);
    ASSERT_TRUE(holder.Ready());
    ExpectFoundLikePeers(path, {holder.Pid()});
    RunResult both = Fencat({path, "--name", name});
    ExpectEnded(both, 0, "path and name");
    EXPECT_EQ(FencatPids(both.out), (std::multiset<pid_t>{holder.Pid(), holder.Pid()}));
    // Headings and image names come out as the very bytes.
    EXPECT_NE(both.out.find(path + ":\n"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find(name + ":\n"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find("  " + image), std::string::npos) << both.out;
}

TEST_F(HostileInputTest, NamesWithNewlinesAndBlanksAreFoundOpenAndMapped) {
    const std::string name = Unique(" a b\n c  d\n.txt ");
    const std::string path = dir.File(name, std::string(8192, 'x'));
    Holder reader({"read", path});
    Holder mapper({"map", path});
    ASSERT_TRUE(reader.Ready() && mapper.Ready());
    ExpectFoundLikePeers(path, {reader.Pid(), mapper.Pid()});
    RunResult byName = Fencat({"--name", name});
    ExpectEnded(byName, 0, "name");
    EXPECT_EQ(Distinct(FencatPids(byName.out)), (std::set<pid_t>{reader.Pid(), mapper.Pid()}));
}

TEST_F(HostileInputTest, DashIsAFileNameAndStandardInputIsNeverRead) {
    const std::string path = dir.File("-");
    Holder holder({"read", path});
    ASSERT_TRUE(holder.Ready());
    for (const auto& args : {std::vector<std::string>{"-"}, std::vector<std::string>{"--", "-"}}) {
        RunResult run = Fencat(args, dir.Path());
        ExpectEnded(run, 0, args.back());
        EXPECT_EQ(FencatPids(run.out).count(holder.Pid()), 1u) << run.out;
    }
}

TEST_F(HostileInputTest, FoldersSocketsAndFifosHeldOpenMatchThePeers) {
    const std::string folder = dir.Path() + "/held folder";
    std::filesystem::create_directory(folder);
    const std::string socketName = Unique("s.sock");
    const std::string socket = dir.Path() + "/" + socketName, fifo = dir.Path() + "/f.fifo";
    Holder folderHolder({"read", folder});
    Holder socketHolder({"socket", socket});
    Holder fifoHolder({"fifo", fifo});
    ASSERT_TRUE(folderHolder.Ready() && socketHolder.Ready() && fifoHolder.Ready());
    ExpectFoundLikePeers(folder, {folderHolder.Pid()});
    ExpectFoundLikePeers(socket, {socketHolder.Pid()});
    ExpectFoundLikePeers(fifo, {fifoHolder.Pid()});
    // By name too.
    RunResult byName = Fencat({"--name", socketName});
    ExpectEnded(byName, 0, socketName);
    EXPECT_EQ(Distinct(FencatPids(byName.out)), std::set<pid_t>{socketHolder.Pid()}) << byName.out;
}

// The path a socket was bound by is only text: the file may have been
// replaced since, the bind may have been relative, and a newline in it
// reads as a line of its own in /proc/net/unix. fuser takes the text.
TEST_F(HostileInputTest, ASocketIsFoundByTheFileItIsBoundTo) {
    const std::string socket = dir.Path() + "/s.sock";
    Holder replaced({"socket", socket});
    ASSERT_TRUE(replaced.Ready());
    ASSERT_EQ(unlink(socket.c_str()), 0);
    Holder current({"socket", socket});
    ASSERT_TRUE(current.Ready());
    EXPECT_EQ(NumberList(Fencat({"-t", socket}).out), std::set<pid_t>{current.Pid()});

    const std::string sub = dir.Path() + "/sub";
    std::filesystem::create_directory(sub);
    Holder relative({"cwd", sub, "socket", "r.sock"});
    ASSERT_TRUE(relative.Ready());
    EXPECT_EQ(NumberList(Fencat({"-t", sub + "/r.sock"}).out), std::set<pid_t>{relative.Pid()});

    // A name that forges the line of `current`'s socket bound at `decoy`.
    std::string inode;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(current.Pid()) + "/fd")) {
        const std::string link = std::filesystem::read_symlink(fd.path()).string();
        if (link.rfind("socket:[", 0) == 0) inode = link.substr(8, link.size() - 9);
    }
    ASSERT_FALSE(inode.empty());
    const std::string decoy = dir.Path() + "/d.sock";
    const std::string forged = dir.Path() + "/x\n0: 0 0 0 0 0 " + inode + " " + decoy;
    std::filesystem::create_directories(std::filesystem::path(forged).parent_path());
    Holder forger({"socket", forged});
    Holder owner({"socket", decoy});
    ASSERT_TRUE(forger.Ready() && owner.Ready());
    EXPECT_EQ(NumberList(Fencat({"-t", decoy}).out), std::set<pid_t>{owner.Pid()});
    EXPECT_EQ(NumberList(Fencat({"-t", forged}).out), std::set<pid_t>{forger.Pid()});
}

TEST_F(HostileInputTest, ProcFilesAreAnsweredLikeAnyFile) {
    Holder holder({"read", "/proc/self/cmdline"});
    ASSERT_TRUE(holder.Ready());
    ExpectFoundLikePeers("/proc/" + std::to_string(holder.Pid()) + "/cmdline", {holder.Pid()});
    // fencat's own status file, which nobody holds open.
    RunResult self = Fencat({"/proc/self/status"});
    ExpectEnded(self, 1, "/proc/self/status");
    EXPECT_EQ(self.out, "");
}

TEST_F(HostileInputTest, DanglingAndLoopingLinksGetAClearMessage) {
    const std::string link = dir.Path() + "/dangling", target = dir.Path() + "/missing";
    std::filesystem::create_symlink(target, link);
    RunResult dangling = Fencat({link});
    ExpectEnded(dangling, 2, "dangling link");
    EXPECT_EQ(dangling.err, "fencat: " + link + ": No such file or directory (a symbolic link to " + target + ")\n");
    EXPECT_EQ(dangling.out, "");

    const std::string loop = dir.Path() + "/loop";
    std::filesystem::create_symlink(loop, loop);
    RunResult looping = Fencat({loop});
    ExpectEnded(looping, 2, "looping link");
    EXPECT_NE(looping.err.find("Too many levels of symbolic links"), std::string::npos) << looping.err;
}

}  // namespace
