#include "linux/ProcText.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include "linux/Targets.h"
#include "search/Paths.h"
#include "search/ResultLine.h"

namespace {

proc::Mapping Parse(const std::string& line) {
    proc::Mapping mapping;
    EXPECT_TRUE(proc::ParseMapsLine(line.data(), line.data() + line.size(), mapping)) << line;
    return mapping;
}

bool Parses(const std::string& line) {
    proc::Mapping mapping;
    return proc::ParseMapsLine(line.data(), line.data() + line.size(), mapping);
}

TEST(ProcTextTest, MapsLinesGiveDeviceInodeAndName) {
    // A device past 8 bits on both sides, as stat would encode it.
    const std::string line = "7f12a000-7f12b000 r-xp 00001000 103:10a 1234567 /usr/lib/a b.so";
    const proc::Mapping big = Parse(line);  // its path points into the line
    EXPECT_EQ(big.start, 0x7f12a000u);
    EXPECT_EQ(big.id.dev, makedev(0x103, 0x10a));
    EXPECT_EQ(big.id.ino, 1234567u);
    EXPECT_EQ(big.path, "/usr/lib/a b.so");
    EXPECT_EQ(Parse("00400000-00401000 r--p 00000000 fd:01 7     /gone (deleted)").path, "/gone (deleted)");
    EXPECT_EQ(proc::UnescapeMapsPath("/a\\012b\\01"), "/a\nb\\01");

    EXPECT_FALSE(Parses("7ffd0000-7ffd1000 rw-p 00000000 00:00 0                          [stack]"));
    EXPECT_FALSE(Parses("7ffd0000-7ffd1000 rw-p 00000000 00:00 0"));
    EXPECT_FALSE(Parses("7ffd0000-7ffd1000 rw-p 00000000 fd:01 12"));  // no name
    EXPECT_FALSE(Parses("7ffd0000-7ffd1000 rw-p 00000000 fd01 12 /x"));
    EXPECT_FALSE(Parses("7ffd0000-7ffd1000 rw-p 00000000 fd:01 12x /x"));
    EXPECT_FALSE(Parses(""));
}

TEST(ProcTextTest, BoundSocketsAndSocketLinks) {
    const std::string table =
        "Num       RefCount Protocol Flags    Type St Inode Path\n"
        "0000000000000000: 00000002 00000000 00010000 0001 01 3000 /run/b.sock\n"
        "0000000000000000: 00000002 00000000 00010000 0001 01 2000 @abstract\n"
        "0000000000000000: 00000002 00000000 00010000 0001 01 1000 /run/a sock\n"
        "0000000000000000: 00000003 00000000 00000000 0001 03 4000\n";
    const auto sockets = proc::ParseUnixSockets(table.data(), table.size());
    ASSERT_EQ(sockets.size(), 2u);
    EXPECT_EQ(sockets[0], std::make_pair(uint64_t{1000}, std::string("/run/a sock")));
    EXPECT_EQ(sockets[1], std::make_pair(uint64_t{3000}, std::string("/run/b.sock")));

    uint64_t inode = 0;
    EXPECT_TRUE(proc::ParseSocketLink("socket:[3000]", inode));
    EXPECT_EQ(inode, 3000u);
    EXPECT_FALSE(proc::ParseSocketLink("socket:[]", inode));
    EXPECT_FALSE(proc::ParseSocketLink("socket:[12", inode));
    EXPECT_FALSE(proc::ParseSocketLink("pipe:[12]", inode));
}

TEST(ProcTextTest, PathsAreComparedWithSlashAsTheOnlySeparator) {
    EXPECT_TRUE(LiesAtOrBelow("/srv/data", "/srv/data"));
    EXPECT_TRUE(LiesAtOrBelow("/srv/data/x", "/srv/data"));
    EXPECT_FALSE(LiesAtOrBelow("/srv/database", "/srv/data"));
    EXPECT_FALSE(LiesAtOrBelow("/srv/data\\x", "/srv/data"));
    EXPECT_TRUE(LiesAtOrBelow("/anything", "/"));
    EXPECT_EQ(FinalComponent("/a\\b", PathStyle::Unix), "a\\b");
    EXPECT_EQ(FinalComponent("plain", PathStyle::Unix), "plain");
}

TEST(ProcTextTest, StatNamesTheCommandWhateverItHoldsAndMountinfoTheProcOnTop) {
    proc::ProcessStat stat;
    // A command may name itself ") R 1 (": the name ends at the last ')'.
    ASSERT_TRUE(proc::ParseStat("77 (a) R 1 (b) Z 1 77 77 0 -1 4194560 97 0 0 0 0 0 0 0 20 0 3 0 88210 0 0\n", stat));
    EXPECT_EQ(stat.comm, "a) R 1 (b");
    EXPECT_EQ(stat.state, 'Z');
    EXPECT_EQ(stat.parent, 1u);
    EXPECT_EQ(stat.threads, 3u);
    EXPECT_EQ(stat.startTime, 88210u);
    EXPECT_FALSE(proc::ParseStat("77 (a) S 1 2 3", stat));
    EXPECT_FALSE(proc::ParseStat("77 a S 1", stat));

    std::string options;
    const std::string mounts = "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
                               "26 1 254:0 / / rw - ext4 /dev/vda rw,hidepid=2\n"
                               "65 21 0:39 / /proc rw shared:5 master:1 - proc proc rw,hidepid=invisible\n"
                               "66 65 0:40 / /proc/sys rw - proc proc rw\n";
    ASSERT_TRUE(proc::ProcMountOptions(mounts, options));
    EXPECT_EQ(options, "rw,hidepid=invisible");
    EXPECT_FALSE(proc::ProcMountOptions("26 1 254:0 / / rw - ext4 /dev/vda rw\n", options));
}

TEST(VisibleTextTest, ControlsOfBothRangesAndTheBackslashAreEscapedAndNothingElse) {
    // C0, DEL, and the C1 controls as UTF-8 writes them (U+0085 NEL, U+009B
    // CSI); U+00A0 and stray bytes are no controls.
    EXPECT_EQ(VisibleText(std::string("a\x01\n\x1f\x7f", 5)), "a\\x01\\x0a\\x1f\\x7f");
    EXPECT_EQ(VisibleText("\xC2\x85\xC2\x9B" "2J\xC2\x80\xC2\x9F"), "\\xc2\\x85\\xc2\\x9b2J\\xc2\\x80\\xc2\\x9f");
    EXPECT_EQ(VisibleText("\xC2\xA0 \x9B \xC2 \xC3\xA9"), "\xC2\xA0 \x9B \xC2 \xC3\xA9");
    EXPECT_EQ(VisibleText("\xC2"), "\xC2");
    EXPECT_EQ(VisibleText("a\\b"), "a\\\\b");
}

}  // namespace
