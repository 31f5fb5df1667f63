// The window tells what its search could not see, after the result lines and
// on its diagnostics output, and searches every name it is started with.
#include <string>
#include <vector>

#include "SimFixture.h"
#include "app/core/Drop.h"
#include "search/Search.h"

namespace {

const std::string kHeaders =
    "PID     Name                  Path\n" + std::string(66, '-') + "\n" +
    "PID     Name                  Path\n" + std::string(54, '-') + "\n";

// A window that keeps every entry of its list, notes marked.
class Window : public ResultList, public WaitCursor {
public:
    void Clear() override { entries.clear(); }
    void Repaint() override {}
    void Append(const char* line, const Finding&) override { entries.push_back(line); }
    void AppendNote(const std::string& text) override { entries.push_back("note " + text); }
    void Begin() override { ++cursorDepth; }
    void End() override { --cursorDepth; }

    std::vector<std::string> entries;
    int cursorDepth = 0;
};

class WindowMissesTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::AddProcess(0, nullptr);
        sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt");
        sim::AddProcess(9, u"h.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    }

    std::vector<std::string> Drop(const std::string& name) {
        Window window;
        window.entries.push_back("left from before");
        HandleDrop(NameListDrop({name}), window, window);
        EXPECT_EQ(window.cursorDepth, 0);
        return window.entries;
    }
};

TEST_F(WindowMissesTest, ProcessesThatRefusedAreToldAfterTheLinesAndAfterTheTrace) {
    sim::AddProcess(10, u"locked.exe").DenyOpen();
    sim::AddProcess(11, u"other.exe").DenyOpen();
    EXPECT_EQ(Drop("C:\\dir\\file.txt"),
              (std::vector<std::string>{"0x0008  a.exe               ", "0x0009  h.exe               ",
                                        "note (2 processes could not be examined)"}));
    EXPECT_EQ(m_diagnostics.Text(), "DragDrop\n" + kHeaders + "2 processes could not be examined.\n");
}

TEST_F(WindowMissesTest, NothingIsAddedWhenEveryProcessWasExamined) {
    EXPECT_EQ(Drop("file.txt"),
              (std::vector<std::string>{"0x0008  a.exe               ", "0x0009  h.exe               "}));
    EXPECT_EQ(m_diagnostics.Text(), "DragDrop\n" + kHeaders);
    // A search that stopped before it read the processes cannot say.
    sim::AddProcess(10, u"locked.exe").DenyOpen();
    sim::Set().psapiLoadFails = true;
    Window window;
    CapturedDiagnostics diagnostics;
    HandleDrop(NameListDrop({"file.txt"}), window, window);
    EXPECT_TRUE(window.entries.empty());
    EXPECT_EQ(diagnostics.Text(), "DragDrop\nSystemModulesInformation::Refresh() failed.\n");
}

TEST_F(WindowMissesTest, OneNoteTellsBothWhatWasRefusedAndWhatOnlyTheSixtyFourBitProgramLists) {
    sim::Set().wow64 = true;
    sim::AddProcess(12, u"wide.exe").Is64Bit().Module(0x400000, "C:\\dir\\file.txt");
    EXPECT_EQ(Drop("file.txt"), (std::vector<std::string>{"0x0008  a.exe               ",
                                                           "0x0009  h.exe               ",
                                                           "note (1 process's modules need the 64-bit program)"}));
    EXPECT_EQ(m_diagnostics.Text(), "DragDrop\n" + kHeaders +
                                        "The modules of 1 process could not be listed by this 32-bit program; the "
                                        "64-bit TolvarFencat.exe lists them.\n");

    sim::AddProcess(13, u"locked.exe").DenyOpen();
    sim::AddProcess(14, u"wider.exe").Is64Bit();
    const std::vector<std::string> entries = Drop("file.txt");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2], "note (1 process could not be examined; 2 processes' modules need the 64-bit program)");
}

TEST_F(WindowMissesTest, WhenEveryProcessRefusesTheEmptyListSaysWhy) {
    for (uint32_t pid : {8u, 9u}) sim::FindProcess(pid)->DenyOpen();
    EXPECT_EQ(Drop("file.txt"), std::vector<std::string>{"note (2 processes could not be examined)"});
    EXPECT_EQ(m_diagnostics.Text(), "DragDrop\nNo module information\n2 processes could not be examined.\n");
}

TEST_F(WindowMissesTest, EveryNameOfTheStartIsSearchedAndFoldersWithEverythingBelowThem) {
    sim::AddProcess(10, u"deep.exe").Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\tree\\a\\b\\deep.txt");
    sim::AddProcess(11, u"beside.exe").Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\treetop.txt");
    sim::AddProcess(12, u"locked.exe").DenyOpen();
    Window window;
    window.entries.push_back("left from before");
    HandleStartup({{"C:\\dir\\file.txt", false}, {"C:\\tree", true}, {"", false}, {"C:\\dir\\none.txt", false}},
                  window, window);
    EXPECT_EQ(window.cursorDepth, 0);
    EXPECT_EQ(window.entries, (std::vector<std::string>{"0x0008  a.exe               ",
                                                        "0x0009  h.exe               ",
                                                        "0x000A  deep.exe            ",
                                                        "note (1 process could not be examined)"}));
    // Each name's trace as a drop of it prints it; the misses once, last.
    const std::string one = "DragDrop\n" + kHeaders;
    EXPECT_EQ(m_diagnostics.Text(), one + one + one + "1 process could not be examined.\n");

    // A folder searched as a file finds only what holds the folder itself.
    window.entries.clear();
    HandleStartup({{"C:\\tree", false}}, window, window);
    EXPECT_EQ(window.entries, std::vector<std::string>{"note (1 process could not be examined)"});
}

TEST_F(WindowMissesTest, AStartWithNoNameSearchesNothing) {
    Window window;
    window.entries.push_back("left from before");
    HandleStartup({{"", false}}, window, window);
    EXPECT_TRUE(window.entries.empty());
    EXPECT_EQ(window.cursorDepth, 0);
    EXPECT_EQ(m_diagnostics.Text(), "DragDrop\n");
}

}  // namespace
