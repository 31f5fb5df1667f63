// fencat against real processes, checked with fuser and lsof.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "Processes.h"
#include "fencat_version.h"

namespace {

std::set<pid_t> Distinct(const std::multiset<pid_t>& pids) { return std::set<pid_t>(pids.begin(), pids.end()); }

// Bare names are looked for system-wide: each run's must be its own.
std::string Unique(const std::string& name) { return std::to_string(getpid()) + "-" + name; }

// The same question put to fencat and to both peers.
struct Answers {
    RunResult fencat;
    std::multiset<pid_t> lines;
    std::set<pid_t> fuser;
    std::set<pid_t> lsof;
};

Answers Ask(const std::string& path) {
    Answers answers;
    answers.fencat = RunProgram({FENCAT_BINARY, path});
    answers.lines = FencatPids(answers.fencat.out);
    answers.fuser = NumberList(RunProgram({"fuser", path}).out);
    answers.lsof = NumberList(RunProgram({"lsof", "-t", path}).out);
    return answers;
}

void ExpectPeersAgree(const Answers& answers, const std::set<pid_t>& holders) {
    EXPECT_EQ(answers.fencat.status, 0) << answers.fencat.err;
    EXPECT_EQ(Distinct(answers.lines), holders);
    EXPECT_EQ(Distinct(answers.lines), answers.fuser);
    EXPECT_EQ(Distinct(answers.lines), answers.lsof);
}

class FencatTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FencatTest, FilesHeldOpenForReadingAndWritingMatchThePeers) {
    std::string read = dir.File("read.txt"), written = dir.File("written.txt");
    Holder reader({"read", read});
    Holder writer({"write", written});
    ASSERT_TRUE(reader.Ready() && writer.Ready());
    ExpectPeersAgree(Ask(read), {reader.Pid()});
    ExpectPeersAgree(Ask(written), {writer.Pid()});
}

TEST_F(FencatTest, AFolderIsInUseByTheProcessesThatSitInIt) {
    std::string folder = dir.Path() + "/sub folder";
    std::filesystem::create_directory(folder);
    Holder first({"cwd", folder});
    Holder second({"cwd", folder});
    ASSERT_TRUE(first.Ready() && second.Ready());
    ExpectPeersAgree(Ask(folder), {first.Pid(), second.Pid()});
}

TEST_F(FencatTest, NamesWithBlanksAndNonAsciiCharacters) {
    const std::string name = Unique("fichier \xC3\xA9t\xC3\xA9 \xC5\x81\xE4\xB8\x80.txt");
    std::string path = dir.File(name);
    Holder holder({"read", path});
    ASSERT_TRUE(holder.Ready());
    ExpectPeersAgree(Ask(path), {holder.Pid()});
    // By name too: the name survives the trip through UTF-16.
    RunResult byName = RunProgram({FENCAT_BINARY, "--name", name});
    EXPECT_EQ(FencatPids(byName.out), std::multiset<pid_t>{holder.Pid()});
}

TEST_F(FencatTest, ABareNameIsTheFileOfThatNameInTheCurrentFolder) {
    const std::string name = Unique("data.db");
    for (const char* folder : {"/here", "/other", "/empty"}) std::filesystem::create_directory(dir.Path() + folder);
    const std::string here = dir.File("here/" + name), other = dir.File("other/" + name);
    Holder holdsHere({"read", here});
    Holder holdsOther({"read", other});
    ASSERT_TRUE(holdsHere.Ready() && holdsOther.Ready());
    auto from = [&](const std::string& folder, const std::string& command) {
        return RunProgram({"sh", "-c", "cd \"$1\" && exec " + command + " \"$0\"", name, dir.Path() + folder});
    };
    EXPECT_EQ(Distinct(FencatPids(from("/here", FENCAT_BINARY).out)), std::set<pid_t>{holdsHere.Pid()});
    EXPECT_EQ(NumberList(from("/here", FENCAT_BINARY " -t").out), std::set<pid_t>{holdsHere.Pid()});
    EXPECT_EQ(NumberList(from("/here", "fuser").out), std::set<pid_t>{holdsHere.Pid()});
    // --name is the name in any folder; where there is no such file, a bare
    // name is an error that says so.
    EXPECT_EQ(Distinct(FencatPids(from("/empty", FENCAT_BINARY " --name").out)),
              (std::set<pid_t>{holdsHere.Pid(), holdsOther.Pid()}));
    RunResult missing = from("/empty", FENCAT_BINARY);
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "fencat: " + name + ": No such file or directory (--name " + name +
                               " finds that name in any folder)\n");
}

TEST_F(FencatTest, AFileMappedApartIsOneFindingAndFoundByName) {
    const std::string name = Unique("mapped.bin");
    std::string path = dir.File(name, std::string(8192, 'm'));
    const std::string between = dir.File("between.bin", std::string(8192, 'b'));
    // Mapped A, B, A: the two mappings of A lie apart.
    Holder holder({"map", path, "map", between, "map", path});
    ASSERT_TRUE(holder.Ready());
    const Answers answers = Ask(path);
    ExpectPeersAgree(answers, {holder.Pid()});
    EXPECT_EQ(answers.lines.count(holder.Pid()), 1u) << answers.fencat.out;
    RunResult byName = RunProgram({FENCAT_BINARY, "--name", name});
    EXPECT_EQ(byName.status, 0);
    EXPECT_EQ(FencatPids(byName.out), std::multiset<pid_t>{holder.Pid()});
}

TEST_F(FencatTest, ACopiedExecutableIsFoundByPathAndByName) {
    const std::string name = Unique("holder-copy");
    std::string copy = dir.Path() + "/" + name;
    std::filesystem::copy_file(HOLDER_BINARY, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    Holder holder({"wait"}, copy);
    ASSERT_TRUE(holder.Ready());
    ExpectPeersAgree(Ask(copy), {holder.Pid()});
    RunResult byName = RunProgram({FENCAT_BINARY, "--name", name});
    EXPECT_EQ(FencatPids(byName.out), std::multiset<pid_t>{holder.Pid()});
    // Longer than the kernel keeps of a command's name: shown whole.
    EXPECT_NE(byName.out.find("  " + name), std::string::npos) << byName.out;
}

TEST_F(FencatTest, LibcHoldersAreThoseFuserReports) {
    const char* libc = "/usr/lib/x86_64-linux-gnu/libc.so.6";
    if (access(libc, R_OK) != 0) GTEST_SKIP() << "no " << libc;
    // Processes come and go meanwhile; those that live across all three
    // answers must be in fencat's, and every other process fencat names
    // must be one that fuser saw, or one that has ended since.
    std::set<pid_t> before = NumberList(RunProgram({"fuser", libc}).out);
    RunResult fencat = RunProgram({FENCAT_BINARY, libc});
    std::set<pid_t> after = NumberList(RunProgram({"fuser", libc}).out);
    ASSERT_EQ(fencat.status, 0);
    std::set<pid_t> found = Distinct(FencatPids(fencat.out));
    found.erase(fencat.pid);
    std::set<pid_t> stable, seen;
    std::set_intersection(before.begin(), before.end(), after.begin(), after.end(),
                          std::inserter(stable, stable.end()));
    std::set_union(before.begin(), before.end(), after.begin(), after.end(), std::inserter(seen, seen.end()));
    EXPECT_FALSE(stable.empty());
    for (pid_t pid : stable) EXPECT_EQ(found.count(pid), 1u) << "fencat missed " << pid;
    // fuser reads no maps of a process whose main thread has exited, while
    // its other threads run on (another test's holder does that), nor of
    // one between the two images of an exec, or ending: such a process
    // shows its leader a zombie, or is gone, or maps libc by the next look.
    const std::set<pid_t> later = NumberList(RunProgram({"fuser", libc}).out);
    for (pid_t pid : found) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t paren = text.rfind(") ");
        const bool unread = paren == std::string::npos || text[paren + 2] == 'Z' || text[paren + 2] == 'X';
        EXPECT_TRUE(seen.count(pid) == 1 || later.count(pid) == 1 || unread)
            << "fuser never saw " << pid << ", which still runs";
    }
}

TEST_F(FencatTest, AnUnusedFileIsStatusOneAndDiagnosticsComeOnlyWhenAsked) {
    std::string unused = dir.File("unused.txt");
    RunResult none = RunProgram({FENCAT_BINARY, unused});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err.find("Search\n"), std::string::npos) << none.err;
    EXPECT_EQ(none.err.find("---"), std::string::npos) << none.err;
    // Asked for, the search's diagnostics go to standard error, in this
    // system's own words.
    RunResult traced = RunProgram({FENCAT_BINARY, "--trace", unused});
    EXPECT_EQ(traced.status, 1);
    EXPECT_EQ(traced.out, "");
    EXPECT_EQ(traced.err.compare(0, 7, "Search\n"), 0) << traced.err;
    EXPECT_NE(traced.err.find("------------------------------------------------------------------\n"),
              std::string::npos);

    RunResult help = RunProgram({FENCAT_BINARY, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: fencat"), std::string::npos);
    RunResult version = RunProgram({FENCAT_BINARY, "--version"});
    EXPECT_EQ(version.out, "fencat " FENCAT_VERSION "\n");
}

TEST_F(FencatTest, SeveralFilesAreSearchedOneAfterAnother) {
    std::string a = dir.File("a.txt"), b = dir.File("b.txt"), unused = dir.File("c.txt");
    Holder holdsA({"read", a});
    Holder holdsB({"read", b});
    ASSERT_TRUE(holdsA.Ready() && holdsB.Ready());
    const std::string missing = dir.Path() + "/missing.txt";
    RunResult both = RunProgram({FENCAT_BINARY, missing, a, unused, b});
    EXPECT_EQ(both.status, 2);  // the missing one
    EXPECT_EQ(FencatPids(both.out), (std::multiset<pid_t>{holdsA.Pid(), holdsB.Pid()}));
    // Each file's lines follow its own heading; the one that cannot be
    // searched has none, and takes no other file's lines.
    EXPECT_EQ(both.out.find(missing), std::string::npos);
    EXPECT_EQ(both.out.find(a + ":\n"), 0u) << both.out;
    EXPECT_LT(both.out.find(a + ":"), both.out.find(unused + ":"));
    EXPECT_LT(both.out.find(unused + ":"), both.out.find(b + ":"));
    EXPECT_EQ(FencatPids(both.out.substr(both.out.find(b + ":"))), std::multiset<pid_t>{holdsB.Pid()});
}

}  // namespace
