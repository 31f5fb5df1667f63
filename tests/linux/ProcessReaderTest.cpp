// The reading of processes, on a small /proc of the test's own making: what
// each kind of entry yields, without real processes to set up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "linux/Scan.h"
#include "linux/Targets.h"

namespace {

namespace fs = std::filesystem;

class FakeProc {
public:
    FakeProc() {
        char pattern[] = "/tmp/fencat-proc-XXXXXX";
        m_top = mkdtemp(pattern);
        fs::create_directories(Root());
        m_rootFd = open(Root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    ~FakeProc() {
        close(m_rootFd);
        fs::remove_all(m_top);
    }
    int Fd() const { return m_rootFd; }
    std::string Root() const { return m_top + "/proc"; }
    // A real file outside the fake /proc, for links to point at.
    std::string File(const std::string& name) const {
        const std::string path = m_top + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    fs::path Process(int pid) const {
        const fs::path dir = Root() + "/" + std::to_string(pid);
        fs::create_directories(dir / "fd");
        std::ofstream(dir / "maps");
        std::ofstream(dir / "comm") << "p" << pid << "\n";
        return dir;
    }
    // A maps line for `path` at `start`, as the kernel writes it.
    static std::string MapsLine(unsigned long start, const std::string& path) {
        struct stat st;
        stat(path.c_str(), &st);
        char line[512];
        std::snprintf(line, sizeof line, "%lx-%lx r--p 00000000 %02x:%02x %lu %s\n", start, start + 0x1000,
                      major(st.st_dev), minor(st.st_dev), static_cast<unsigned long>(st.st_ino), path.c_str());
        return line;
    }

private:
    std::string m_top;
    int m_rootFd = -1;
};

proc::Target Resolve(const std::string& name, SearchScope scope) {
    const int realProc = open("/proc", O_PATH | O_DIRECTORY | O_CLOEXEC);
    proc::Target target;
    int error = 0;
    EXPECT_TRUE(proc::ResolveTarget(name, scope, target, error, realProc)) << name << ": " << error;
    close(realProc);
    return target;
}

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
    EXPECT_EQ(scan.refused, 0u);
    ASSERT_EQ(scan.processes.size(), 1u);
    std::vector<std::string> seen;
    for (const proc::Hit& hit : scan.processes[0]) {
        const Finding& f = hit.finding;
        EXPECT_EQ(f.pid, 100u);
        EXPECT_EQ(f.processName, "held.bin");  // the executable's name
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

TEST(ProcessReaderTest, EveryDescriptorIsReadHoweverManyAndAZombieIsNoRefusal) {
    FakeProc proc;
    const std::string held = proc.File("held.bin"), other = proc.File("other.bin");
    // More descriptors than one read of the folder returns.
    const fs::path busy = proc.Process(300);
    for (int fd = 0; fd < 2000; ++fd) fs::create_symlink(fd == 1999 ? held : other, busy / "fd" / std::to_string(fd));
    // A zombie: nothing mapped, no descriptors, no folders to read.
    const fs::path zombie = proc.Process(200);
    std::ofstream(zombie / "comm") << "defunct\n";

    const proc::ScanOutcome scan = proc::Scan({Resolve(held, SearchScope::File)}, proc.Fd());
    EXPECT_EQ(scan.refused, 0u);
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
    std::ofstream(dir / "comm") << "logger\n";
    const std::vector<proc::Target> targets{Resolve("today.txt", SearchScope::Name),
                                            Resolve(fs::path(held).parent_path(), SearchScope::Tree)};
    const proc::ScanOutcome scan = proc::Scan(targets, proc.Fd());
    ASSERT_EQ(scan.processes.size(), 1u);
    ASSERT_EQ(scan.processes[0].size(), 2u);
    EXPECT_EQ(scan.processes[0][0].target, 0u);
    EXPECT_EQ(scan.processes[0][0].finding.path, "/srv/data/log/today.txt");
    EXPECT_EQ(scan.processes[0][1].target, 1u);
    EXPECT_EQ(scan.processes[0][1].finding.descriptor, 4);
    EXPECT_EQ(scan.processes[0][0].finding.processName, "logger");  // no executable: the kernel's name
}

}  // namespace
