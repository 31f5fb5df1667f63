// Matching one candidate with all the targets of a scan at once, and the
// check that a path another mount namespace shows names the same file here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "linux/Match.h"

namespace {

namespace fs = std::filesystem;
using proc::FileId;

proc::Target Make(proc::Target::Match match, FileId id, std::string text = {}) {
    proc::Target target;
    target.match = match;
    target.id = id;
    target.mapsId = id;
    target.text = std::move(text);
    return target;
}

FileId IdOfPath(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return FileId{st.st_dev, st.st_ino};
}

// What Compare found, in the order it found it.
std::vector<uint32_t> Found(proc::Matcher& matcher, const proc::Candidate& candidate) {
    std::vector<uint32_t> found;
    matcher.Compare(candidate, [&](uint32_t target) { found.push_back(target); });
    return found;
}

class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/fencat-match-XXXXXX";
        m_top = mkdtemp(pattern);
    }
    ~Scratch() { fs::remove_all(m_top); }
    std::string File(const std::string& name) const {
        const std::string path = m_top + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "x";
        return path;
    }
    // A process folder; `ownMounts`: whether its mount namespace is ours.
    int ProcessDir(bool ownMounts) const {
        const std::string dir = m_top + "/proc/77";
        fs::create_directories(dir + "/ns");
        if (ownMounts) fs::create_symlink("/proc/self/ns/mnt", dir + "/ns/mnt");
        return open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    const std::string& Top() const { return m_top; }

private:
    std::string m_top;
};

TEST(MatchTest, ACandidateIsFoundOnceForEveryTargetItIs) {
    const FileId file{0x801, 42}, other{0x801, 43}, elsewhere{0x802, 42};
    proc::Target stacked = Make(proc::Target::Match::Identity, file);
    stacked.mapsId = FileId{0x2a, 42};  // maps shows another inode for the same file
    proc::Target socket = Make(proc::Target::Match::Identity, FileId{0x900, 5});
    socket.sockets = {4242};
    const proc::TargetIndex index({stacked, Make(proc::Target::Match::Device, other),
                                   Make(proc::Target::Match::Identity, file),
                                   Make(proc::Target::Match::Name, {}, "log.txt"), socket});
    EXPECT_TRUE(index.needIds);
    EXPECT_TRUE(index.needText);
    proc::Progress ticks{0};
    proc::Matcher matcher(index, 0, ticks);

    proc::Candidate byStat;
    byStat.haveId = true;
    byStat.id = file;
    // The same file named twice is two targets; the device's target too.
    EXPECT_EQ(Found(matcher, byStat), (std::vector<uint32_t>{0, 2, 1}));
    proc::Candidate byMaps = byStat;
    byMaps.id = FileId{0x2a, 42};
    EXPECT_EQ(Found(matcher, byMaps), (std::vector<uint32_t>{0}));
    proc::Candidate onAnotherDevice = byStat;
    onAnotherDevice.id = elsewhere;
    EXPECT_TRUE(Found(matcher, onAnotherDevice).empty());

    // A socket is on no disk, but stands for the file it is bound to.
    proc::Candidate bound;
    bound.haveId = true;
    bound.socket = true;
    bound.id = FileId{0x801, 4242};
    EXPECT_EQ(Found(matcher, bound), (std::vector<uint32_t>{4}));

    const std::string_view named = "/var/log/app/log.txt", longer = "/var/log/app/log.txt.1";
    proc::Candidate text;
    text.text = &named;
    EXPECT_EQ(Found(matcher, text), (std::vector<uint32_t>{3}));
    text.text = &longer;
    EXPECT_TRUE(Found(matcher, text).empty());
}

TEST(MatchTest, ATreeCountsOutsideThisMountNamespaceOnlyWhereThePathNamesTheSameFileHere) {
    Scratch scratch;
    const std::string inside = scratch.File("tree/inside.txt");
    const std::string folder = fs::path(inside).parent_path();
    const proc::TargetIndex index({Make(proc::Target::Match::Tree, {}, folder)});
    const int ownMounts = open("/proc/self/ns/mnt", O_RDONLY | O_CLOEXEC);
    struct stat ns {};
    ASSERT_EQ(fstat(ownMounts, &ns), 0);
    close(ownMounts);
    proc::Progress ticks{0};

    const std::string gone = folder + "/not-here.txt";
    std::string_view text;
    proc::Candidate candidate;
    candidate.haveId = true;
    candidate.text = &text;
    {
        // In our own namespace the path text is enough.
        proc::Matcher matcher(index, ns.st_ino, ticks);
        const int dir = scratch.ProcessDir(true);
        matcher.Start(dir);
        text = gone;
        EXPECT_EQ(Found(matcher, candidate), (std::vector<uint32_t>{0}));
        close(dir);
    }
    fs::remove_all(scratch.Top() + "/proc");
    {
        // Elsewhere (or not known where) the path must name the same file.
        proc::Matcher matcher(index, ns.st_ino, ticks);
        const int dir = scratch.ProcessDir(false);
        matcher.Start(dir);
        text = inside;
        candidate.id = IdOfPath(inside);
        EXPECT_EQ(Found(matcher, candidate), (std::vector<uint32_t>{0}));
        candidate.id = FileId{candidate.id.dev, candidate.id.ino + 1};
        EXPECT_TRUE(Found(matcher, candidate).empty());
        text = gone;
        EXPECT_TRUE(Found(matcher, candidate).empty());

        // Without an identity of its own, it is taken through its /proc link.
        const std::string link = scratch.Top() + "/link";
        fs::create_symlink(inside, link);
        proc::Candidate linked;
        linked.text = &text;
        linked.linkDir = AT_FDCWD;
        linked.link = link.c_str();
        text = inside;
        EXPECT_EQ(Found(matcher, linked), (std::vector<uint32_t>{0}));
        linked.link = nullptr;
        EXPECT_TRUE(Found(matcher, linked).empty());
        close(dir);
    }
    EXPECT_GT(ticks.load(), 0u);
}

}  // namespace
