// Drops that no shell makes: lengths of any size, names that do not fit
// the system's paths, copies that overrun what they were asked for, bytes
// outside ASCII. Each ends in a clear diagnostic or a correct answer.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "SimFixture.h"
#include "app/core/Drop.h"
#include "search/ResultLine.h"
#include "search/Search.h"

namespace {

const std::string kDragDrop = "DragDrop\n";

// A drop whose reported length and copy are the test's to choose.
class Drop : public DroppedFiles, public ResultList, public WaitCursor {
public:
    Drop(std::string name, uint32_t reported) : m_name(std::move(name)), m_reported(reported) {}
    explicit Drop(std::string name) : Drop(name, static_cast<uint32_t>(name.size())) {}

    uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override {
        if (index != 0) return 0;
        if (buffer == nullptr) return m_reported;
        ++copies;
        // An overrunning drop fills all it was given, terminator or not.
        const size_t copied = overruns ? size : std::min<size_t>(m_name.size(), size - 1);
        for (size_t i = 0; i < copied; ++i) buffer[i] = i < m_name.size() ? m_name[i] : 'x';
        if (!overruns) buffer[copied] = '\0';
        return static_cast<uint32_t>(copied);
    }
    void Clear() override { lines.clear(); }
    void Repaint() override {}
    void Append(const char* line, const Finding&) override { lines.push_back(line); }
    void Begin() override {}
    void End() override {}

    bool overruns = false;
    mutable unsigned copies = 0;
    std::vector<std::string> lines;

private:
    std::string m_name;
    uint32_t m_reported;
};

class HostileDropTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt").Module(0x10000000, "C:\\d\\caf\u00E9.dll");
        sim::AddProcess(9, u"b.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\d\\caf\u00E9.dll");
    }

    struct Run {
        DropEnd end;
        std::string output;
        std::vector<std::string> pids;
        unsigned copies;
    };
    static Run Search(Drop& drop) {
        CapturedDiagnostics diagnostics;
        DropEnd end = HandleDrop(drop, drop, drop);
        Run run{end, diagnostics.Text(), {}, drop.copies};
        for (const std::string& line : drop.lines) run.pids.push_back(line.substr(0, 6));
        return run;
    }
};

TEST_F(HostileDropTest, LengthsBeyondAnyPathStopWithoutAskingForTheName) {
    for (uint32_t reported : {0xFFFFFFFFu, 0x80000000u, 0x10000u, 32768u}) {
        Drop drop("file.txt", reported);
        Run run = Search(drop);
        EXPECT_EQ(run.end, DropEnd::Stopped) << reported;
        EXPECT_EQ(run.output, kDragDrop + "File name too long. Error = 206\n") << reported;
        EXPECT_EQ(run.copies, 0u) << reported;
        EXPECT_TRUE(run.pids.empty()) << reported;
    }
    Drop none("file.txt", 0);
    EXPECT_EQ(Search(none).end, DropEnd::NoName);
    EXPECT_EQ(none.copies, 0u);
}

TEST_F(HostileDropTest, NamesOfAnyLengthAreSearchedWhole) {
    const std::string deep = "C:\\" + std::string(300, 'p') + "\\deep.dll";
    sim::AddProcess(10, u"c.exe").Module(0x400000, "\\\\?\\" + deep);
    for (const std::string& name : {deep, "\\\\?\\" + deep}) {
        Drop path(name);
        Run run = Search(path);
        EXPECT_EQ(run.end, DropEnd::Finished) << run.output;
        EXPECT_EQ(run.pids, (std::vector<std::string>{"0x000A"})) << name;
    }
    // The longest length a drop may report is still read and searched.
    Drop longest(std::string(32767, 'n'));
    EXPECT_EQ(Search(longest).end, DropEnd::Finished);
}

TEST_F(HostileDropTest, CopyThatOverrunsIsCutToTheReportedLength) {
    // The drop reports 8 bytes and then fills all 9 bytes it was given.
    Drop drop("file.txtGARBAGE", 8);
    drop.overruns = true;
    Run run = Search(drop);
    EXPECT_EQ(run.end, DropEnd::Finished) << run.output;
    EXPECT_EQ(run.pids, (std::vector<std::string>{"0x0008"}));
    // A shorter copy than reported is searched as copied.
    Drop shorter("file.txt", 20);
    EXPECT_EQ(Search(shorter).pids, (std::vector<std::string>{"0x0008"}));
}

TEST_F(HostileDropTest, NamesOutsideAsciiAreComparedAsTheFileSystemDoes) {
    Drop upper("C:\\D\\CAF\u00C9.DLL");
    EXPECT_EQ(Search(upper).pids, (std::vector<std::string>{"0x0008", "0x0009"}));
    Drop bare("caf\u00E9.dll");
    EXPECT_EQ(Search(bare).pids, (std::vector<std::string>{"0x0008", "0x0009"}));
    // Names no code page holds stay themselves: none matches another.
    sim::Reset();
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\h\\\u0424\u0430\u0439\u043B.txt");
    sim::AddProcess(9, u"b.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\h\\\u6587\u4EF6.txt");
    Drop held("\u0444\u0430\u0439\u043B.txt"), cyrillic("\u0414\u0430\u0442\u0430.txt");
    EXPECT_EQ(Search(held).pids, (std::vector<std::string>{"0x0008"}));
    EXPECT_TRUE(Search(cyrillic).pids.empty());
    Drop cjk("C:\\h\\\u6587\u4EF6.txt"), emoji("C:\\h\\\U0001F600.txt");
    EXPECT_EQ(Search(cjk).pids, (std::vector<std::string>{"0x0009"}));
    EXPECT_TRUE(Search(emoji).pids.empty());
    // Names as bytes (exact comparison): bytes that are no UTF-8 at all
    // still match themselves, and only themselves.
    sim::Reset();
    sim::Set().nameCase = sim::NameCase::Exact;
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\d\\\xFF\xFE\n x.dll");
    Drop bytes("\xFF\xFE\n x.dll");
    EXPECT_EQ(Search(bytes).pids, (std::vector<std::string>{"0x0008"}));
    Drop other("\xFF\xFD\n x.dll");
    EXPECT_TRUE(Search(other).pids.empty());
}

}  // namespace
