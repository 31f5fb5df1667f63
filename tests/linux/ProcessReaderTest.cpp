// The reading of processes, on a small /proc of the test's own making: what
// each kind of entry yields, without real processes to set up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "linux/Scan.h"
#include "linux/Targets.h"
#include "FakeProc.h"

namespace {

TEST(ProcessReaderTest, EachKindOfUseIsFoundOnceWithHowItIsUsed) {
    FakeProc proc;
    const std::string held = proc.File("held.bin"), other = proc.File("other.bin");
    const fs::path dir = proc.Process(100);
    // Mapped A, B, A: one finding, however the mappings fall.
    std::ofstream(dir / "maps") << FakeProc::MapsLine(0x1000, held) << FakeProc::MapsLine(0x3000, other)
                                << FakeProc::MapsLine(0x5000, held) << "7f00-7f01 rw-p 00000000 00:00 0 [heap]\n";
    fs::create_symlink(held, dir / "exe");
    fs::create_symlink(held, dir / "fd" / "7");
    fs::create_symlink(other, dir / "fd" / "8");
    fs::create_symlink("socket:[4242]", dir / "fd" / "9");
    fs::create_symlink(fs::path(held).parent_path(), dir / "cwd");
    fs::create_symlink(fs::path(held).parent_path(), dir / "root");

    const std::vector<proc::Target> targets{Resolve(held, SearchScope::File),
                                            Resolve(fs::path(held).parent_path(), SearchScope::File)};
    const proc::ScanOutcome scan = proc::Scan(targets, proc.Fd());
    ASSERT_TRUE(scan.listed);
    EXPECT_TRUE(scan.refused.empty());
    ASSERT_EQ(scan.processes.size(), 1u);
    std::vector<std::string> seen;
    for (const proc::Hit& hit : scan.processes[0]) {
        const Finding& f = hit.finding;
        EXPECT_EQ(f.pid, 100u);
        EXPECT_EQ(f.processName, "p100");  // the kernel's name, as ps shows it
        seen.push_back(std::to_string(hit.target) + (f.kind == Finding::Kind::Module ? " module " : " handle ") +
                       std::to_string(f.access) + " " + std::to_string(f.descriptor));
    }
    const auto mapped = Finding::kMapped | Finding::kExecutable;
    const auto open = Finding::kOpen | Finding::kRead | Finding::kWrite;  // a link's own mode allows both
    EXPECT_EQ(seen, (std::vector<std::string>{"0 module " + std::to_string(mapped) + " -1",
                                              "0 handle " + std::to_string(open) + " 7",
                                              "1 handle " + std::to_string(Finding::kCurrentFolder) + " -1",
                                              "1 handle " + std::to_string(Finding::kRootFolder) + " -1"}));
}

TEST(ProcessReaderTest, AFolderInUseIsFoundByEveryKindOfTargetThatCanNameIt) {
    FakeProc proc;
    const std::string file = proc.File("plain.bin");
    const std::string folder = fs::path(file).parent_path().string();
    const fs::path dir = proc.Process(100);
    fs::create_symlink(folder, dir / "cwd");
    fs::create_symlink("/", dir / "root");
    struct Case {
        std::string name;
        SearchScope scope;
        uint32_t access;
    };
    for (const Case& c : {Case{folder, SearchScope::File, Finding::kCurrentFolder},
                          Case{file, SearchScope::Device, Finding::kCurrentFolder},
                          Case{fs::path(folder).filename().string(), SearchScope::Name, Finding::kCurrentFolder},
                          Case{folder, SearchScope::Tree, Finding::kCurrentFolder},
                          Case{"/", SearchScope::File, Finding::kRootFolder}}) {
        // Each target alone, so that none is found for another's sake.
        const proc::ScanOutcome scan = proc::Scan({Resolve(c.name, c.scope)}, proc.Fd());
        ASSERT_EQ(scan.processes.size(), 1u) << c.name;
        bool found = false;
        for (const proc::Hit& hit : scan.processes[0]) found = found || (hit.finding.access & c.access) != 0;
        EXPECT_TRUE(found) << c.name << " as " << static_cast<int>(c.scope);
    }
}

TEST(ProcessReaderTest, EveryDescriptorIsReadHoweverManyAndAZombieIsNoRefusal) {
    FakeProc proc;
    const std::string held = proc.File("held.bin"), other = proc.File("other.bin");
    // More descriptors than one read of the folder returns.
    const fs::path busy = proc.Process(300);
    for (int fd = 0; fd < 2000; ++fd) fs::create_symlink(fd == 1999 ? held : other, busy / "fd" / std::to_string(fd));
    // A zombie: nothing mapped, no descriptors, no folders to read.
    FakeProc::SetComm(proc.Process(200), "defunct");

    const proc::ScanOutcome scan = proc::Scan({Resolve(held, SearchScope::File)}, proc.Fd());
    EXPECT_TRUE(scan.refused.empty());
    EXPECT_TRUE(scan.stalled.empty());
    ASSERT_EQ(scan.processes.size(), 1u);
    ASSERT_EQ(scan.processes[0].size(), 1u);
    EXPECT_EQ(scan.processes[0][0].finding.pid, 300u);
    EXPECT_EQ(scan.processes[0][0].finding.descriptor, 1999);
}

TEST(ProcessReaderTest, NamesAndTreesAreMatchedOnTheKernelsPathText) {
    FakeProc proc;
    const std::string held = proc.File("held.bin");
    const fs::path dir = proc.Process(400);
    fs::create_symlink("/srv/data/log/today.txt", dir / "fd" / "3");  // a name need not exist here
    fs::create_symlink(held, dir / "fd" / "4");
    // The kernel keeps 15 bytes of the executable's name: the name is the
    // executable's, whole.
    fs::create_symlink(proc.File("logger-with-a-long-name"), dir / "exe");
    FakeProc::SetComm(dir, "logger-with-a-l");
    const std::vector<proc::Target> targets{Resolve("today.txt", SearchScope::Name),
                                            Resolve(fs::path(held).parent_path(), SearchScope::Tree)};
    const proc::ScanOutcome scan = proc::Scan(targets, proc.Fd());
    ASSERT_EQ(scan.processes.size(), 1u);
    ASSERT_EQ(scan.processes[0].size(), 2u);
    EXPECT_EQ(scan.processes[0][0].target, 0u);
    EXPECT_EQ(scan.processes[0][0].finding.path, "/srv/data/log/today.txt");
    EXPECT_EQ(scan.processes[0][1].target, 1u);
    EXPECT_EQ(scan.processes[0][1].finding.descriptor, 4);
    EXPECT_EQ(scan.processes[0][0].finding.processName, "logger-with-a-long-name");
}

TEST(ProcessReaderTest, AnEndMidReadIsNoRefusalAndARefusalIsNoEnd) {
    FakeProc proc;
    const std::string held = proc.File("held.bin");
    // Ended before its maps, its descriptors or its stat could be read.
    fs::remove(proc.Process(501) / "maps");
    fs::remove_all(proc.Process(502) / "fd");
    const fs::path late = proc.Process(503);
    fs::create_symlink(held, late / "fd" / "3");
    fs::remove(late / "stat");
    // Kept from other users: the maps of one, the descriptors of another.
    fs::permissions(proc.Process(504) / "maps", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(proc.Process(505) / "fd", fs::perms::owner_all);
    const fs::perms open = fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write;
    fs::permissions(fs::path(proc.Root()).parent_path(), open);
    const proc::Target target = Resolve(held, SearchScope::File);

    // Read as nobody, whom the modes keep out.
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(1);
        const proc::ScanOutcome scan = proc::Scan({target}, proc.Fd());
        std::string text = std::to_string(scan.processes.size()) + " found, refused";
        for (const uint32_t pid : scan.refused) text += " " + std::to_string(pid);
        _exit(write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(report[1]);
    char text[256] = {};
    const ssize_t n = read(report[0], text, sizeof text - 1);
    close(report[0]);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::string(text, n > 0 ? static_cast<size_t>(n) : 0), "0 found, refused 504 505");
}

TEST(ProcessReaderTest, AReadThatMakesNoProgressIsGivenUpAndNamed) {
    FakeProc proc;
    const std::string held = proc.File("held.bin");
    // Its maps never answer: a FIFO that nobody writes.
    const fs::path stuck = proc.Process(601);
    const std::string fifo = stuck / "maps";
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(held, proc.Process(602) / "fd" / "3");

    const auto began = std::chrono::steady_clock::now();
    const proc::ScanOutcome scan = proc::Scan({Resolve(held, SearchScope::File)}, proc.Fd());
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
    EXPECT_EQ(scan.stalled, std::vector<uint32_t>{601});
    ASSERT_EQ(scan.processes.size(), 1u);
    EXPECT_EQ(scan.processes[0][0].finding.pid, 602u);
    // The reader given up opens the FIFO once a writer has come and gone,
    // reads its end, and ends.
    const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(writer, 0);
    if (writer >= 0) close(writer);
}

}  // namespace
