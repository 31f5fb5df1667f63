// The files a real process maps, named as its maps text names them, whether
// the scan compares identities only or path text as well.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "FakeProc.h"
#include "linux/Scan.h"
#include "linux/Targets.h"

namespace {

namespace fs = std::filesystem;

// A child that holds, as mappings only, what this process maps when it is
// made; it has no descriptors above 2 and ends with the object.
class MappingChild {
public:
    MappingChild() {
        m_pid = fork();
        if (m_pid == 0) {
            close_range(3, ~0U, 0);
            alarm(60);
            for (;;) pause();
        }
    }
    ~MappingChild() {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    uint32_t Pid() const { return static_cast<uint32_t>(m_pid); }

private:
    pid_t m_pid;
};

// Maps two pages of `path` as two mappings (one readable, one not), and
// closes the file: only the mappings hold it.
bool MapTwice(const std::string& path) {
    std::ofstream(path) << std::string(8192, 'x');
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    void* at = mmap(nullptr, 8192, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    return at != MAP_FAILED && mprotect(static_cast<char*>(at) + 4096, 4096, PROT_NONE) == 0;
}

// The paths of the modules found in process `pid`, by target.
std::map<uint32_t, std::vector<std::string>> Modules(const std::vector<proc::Target>& targets, uint32_t pid) {
    const int realProc = open("/proc", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const std::vector<uint32_t> only{pid};
    const proc::ScanOutcome scan = proc::Scan(targets, realProc, &only);
    close(realProc);
    std::map<uint32_t, std::vector<std::string>> modules;
    for (const auto& hits : scan.processes) {
        for (const proc::Hit& hit : hits) {
            if (hit.finding.kind == Finding::Kind::Module && hit.finding.pid == pid)
                modules[hit.target].push_back(hit.finding.path);
        }
    }
    return modules;
}

TEST(MappedNamesTest, AMappedFileIsNamedAlikeWhetherOrNotNamesAreCompared) {
    char pattern[] = "/tmp/fencat-maps-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string plain = dir + "/plain.bin", newline = dir + "/new\nline.bin", spaced = dir + "/a b\\012.bin",
                      gone = dir + "/gone.bin";
    for (const std::string& path : {plain, newline, spaced, gone}) ASSERT_TRUE(MapTwice(path)) << path;
    std::vector<proc::Target> targets;
    for (const std::string& path : {plain, newline, spaced, gone}) targets.push_back(Resolve(path, SearchScope::File));
    ASSERT_EQ(unlink(gone.c_str()), 0);
    MappingChild child;

    const auto byIdentity = Modules(targets, child.Pid());
    // A name to compare makes the scan read every mapping's text.
    std::vector<proc::Target> withName = targets;
    withName.push_back(Resolve("no-such-name.bin", SearchScope::Name));
    const auto byText = Modules(withName, child.Pid());

    // A backslash the kernel wrote as it is reads as the text has it.
    const std::vector<std::vector<std::string>> expected{
        {plain}, {newline}, {dir + "/a b\n.bin"}, {gone + " (deleted)"}};
    for (uint32_t t = 0; t < expected.size(); ++t) {
        EXPECT_EQ(byIdentity.count(t) ? byIdentity.at(t) : std::vector<std::string>{}, expected[t]) << t;
        EXPECT_EQ(byText.count(t) ? byText.at(t) : std::vector<std::string>{}, expected[t]) << t;
    }
    fs::remove_all(dir);
}

TEST(MappedNamesTest, AProcessWithoutMemoryIsExaminedWithItsFolders) {
    // A kernel thread maps nothing, and its folders are the root's.
    uint32_t kernelThread = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream maps(entry.path() / "maps");
        std::error_code error;
        if (maps && maps.peek() == EOF && fs::read_symlink(entry.path() / "root", error) == "/") {
            kernelThread = static_cast<uint32_t>(std::stoul(name));
            break;
        }
    }
    if (kernelThread == 0) GTEST_SKIP() << "no kernel thread in this /proc";
    const int realProc = open("/proc", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const std::vector<uint32_t> only{kernelThread};
    const proc::ScanOutcome scan = proc::Scan({Resolve("/", SearchScope::File)}, realProc, &only);
    close(realProc);
    bool root = false;
    for (const auto& hits : scan.processes) {
        for (const proc::Hit& hit : hits) root = root || (hit.finding.access & Finding::kRootFolder) != 0;
    }
    EXPECT_TRUE(root) << "process " << kernelThread;
    EXPECT_TRUE(scan.refused.empty());
}

}  // namespace
