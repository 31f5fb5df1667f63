// Searching a folder's tree: every module path and handle name at or below
// the folder, by prefix, without walking anything.
#include <algorithm>
#include <cstdio>

#include "SimFixture.h"
#include "windows/search/SearchSteps.h"
#include "app/core/Drop.h"
#include "search/ResultLine.h"
#include "search/Search.h"

namespace {

using LiesAtOrBelowTest = SimTest;

TEST_F(LiesAtOrBelowTest, PrefixEndsAtASeparator) {
    struct Case {
        const char* candidate;
        const char* folder;
        bool expected;
    } cases[] = {
        {"C:\\dir", "C:\\dir", true},
        {"C:\\dir\\file.txt", "C:\\dir", true},
        {"C:\\dir\\sub\\deeper\\file.txt", "C:\\dir", true},
        {"C:\\dir/file.txt", "C:\\dir", true},
        {"/srv/data/x", "/srv/data", true},
        // A longer name that merely begins like the folder is not in it.
        {"C:\\directory\\file.txt", "C:\\dir", false},
        {"C:\\dir.txt", "C:\\dir", false},
        {"C:\\di", "C:\\dir", false},
        {"C:\\", "C:\\dir", false},
        {"D:\\dir\\file.txt", "C:\\dir", false},
        // A folder written with its separator at the end covers itself too.
        {"C:\\dir\\file.txt", "C:\\dir\\", true},
        {"C:\\dir", "C:\\dir\\", true},
        {"C:\\dir", "C:\\dir/", true},
        {"C:\\dirt", "C:\\dir\\", false},
        // A root holds every absolute path, and nothing else.
        {"/", "/", true},
        {"/etc/passwd", "/", true},
        {"relative/x", "/", false},
        {"\\Device\\HarddiskVolume1\\x", "\\Device\\HarddiskVolume1\\", true},
        {"\\Device\\HarddiskVolume10\\x", "\\Device\\HarddiskVolume1", false},
        // An unreadable name is empty; an empty folder holds nothing.
        {"", "C:\\dir", false},
        {"", "/", false},
        {"C:\\dir", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LiesAtOrBelow(FromUtf8(c.candidate), FromUtf8(c.folder)), c.expected) << c.candidate << " in " << c.folder;
}

TEST_F(LiesAtOrBelowTest, LettersCompareUnderThePlatformRule) {
    EXPECT_TRUE(LiesAtOrBelow(u"c:\\DIR\\File.txt", u"C:\\dir"));
    sim::Set().nameCase = sim::NameCase::Exact;
    EXPECT_FALSE(LiesAtOrBelow(u"c:\\DIR\\File.txt", u"C:\\dir"));
    EXPECT_TRUE(LiesAtOrBelow(u"C:\\dir\\File.txt", u"C:\\dir"));
}

// Lines and findings of a drop searched as a folder, or as a file.
class TreeSearchTest : public SimTest, public ResultList, public WaitCursor {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::Set().terminateThreadWorks = true;
        sim::AddProcess(8, u"a.exe")
            .Module(0x400000, "C:\\tree\\bin\\a.exe")
            .Module(0x7C800000, "C:\\WINDOWS\\system32\\kernel32.dll");
        sim::AddProcess(9, u"b.exe").Module(0x400000, "C:\\treehouse\\b.exe");
        sim::AddProcess(10, u"c.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\tree\\data\\log.txt");
        sim::FindProcess(10)->Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\tree");
        sim::FindProcess(10)->Handle(0xC, "File", u"\\Device\\HarddiskVolume2\\tree\\elsewhere.txt");
        sim::FindProcess(10)->Handle(0x10, "Event", u"\\Device\\HarddiskVolume1\\tree\\event");
        sim::AddProcess(11, u"d.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\TREE\\Upper.txt");
    }

    void Clear() override { lines.clear(); }
    void Repaint() override {}
    void Append(const char* line, const Finding& finding) override {
        lines.push_back(std::to_string(finding.pid) + (finding.kind == Finding::Kind::Module ? " module " : " handle ") +
                        finding.path);
        shown.push_back(line);
    }
    void Begin() override {}
    void End() override {}

    class Name : public DroppedFiles {
    public:
        explicit Name(std::string name) : m_name(std::move(name)) {}
        uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override {
            if (index != 0) return 0;
            if (buffer != nullptr) std::snprintf(buffer, size, "%s", m_name.c_str());
            return static_cast<uint32_t>(m_name.size());
        }

    private:
        std::string m_name;
    };

    std::vector<std::string> Search(const std::string& name, SearchScope scope = SearchScope::Tree) {
        CapturedDiagnostics diagnostics;
        end = HandleDrop(Name(name), *this, *this, scope);
        output = diagnostics.Text();
        return lines;
    }

    std::vector<std::string> lines;
    std::vector<std::string> shown;  // the list's lines, as the window shows them
    DropEnd end = DropEnd::NoName;
    std::string output;
};

const std::vector<std::string> kInTree = {
    "8 module C:\\tree\\bin\\a.exe",
    "10 handle \\Device\\HarddiskVolume1\\tree\\data\\log.txt",
    "10 handle \\Device\\HarddiskVolume1\\tree",
    "11 handle \\Device\\HarddiskVolume1\\TREE\\Upper.txt",
};

TEST_F(TreeSearchTest, BothPassesReportEverythingAtOrBelowTheFolder) {
    EXPECT_EQ(Search("C:\\tree"), kInTree);
    EXPECT_EQ(end, DropEnd::Finished);
    EXPECT_EQ(output, "DragDrop\nPID     Name                  Path\n" + std::string(66, '-') +
                          "\nPID     Name                  Path\n" + std::string(54, '-') + "\n");
    EXPECT_EQ(Search("c:\\TREE\\"), kInTree);
}

// Each finding's ID in hex and its name in twenty columns, a wider ID or a
// longer name whole.
TEST_F(TreeSearchTest, WideIdsAndLongOrOddNamesKeepTheirWholeText) {
    sim::AddProcess(1234, u"explorer.exe").Module(0x400000, "C:\\tree\\explorer.exe");
    sim::AddProcess(0x12345, u"a-name-longer-than-twenty.exe").Module(0x400000, "C:\\tree\\long.exe");
    sim::AddProcess(12, u"tab\there.exe").Module(0x400000, "C:\\tree\\tab.exe");
    Search("C:\\tree");
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "0x0008  a.exe               ",
                         "0x000A  c.exe               ",
                         "0x000A  c.exe               ",
                         "0x000B  d.exe               ",
                         "0x000C  tab\\x09here.exe     ",
                         "0x04D2  explorer.exe        ",
                         "0x12345  a-name-longer-than-twenty.exe",
                     }));
}

TEST_F(TreeSearchTest, ARelativeFolderIsSearchedWhereItIs) {
    sim::Set().currentDirectory = "C:\\";
    // Not by name: a module called "tree" elsewhere is no part of it.
    sim::FindProcess(9)->Module(0x10000000, "D:\\other\\tree");
    EXPECT_EQ(Search("tree"), kInTree);
    EXPECT_EQ(sim::Log().fullPathCalls, 1u);
}

TEST_F(TreeSearchTest, ARootHoldsTheWholeVolume) {
    std::vector<std::string> found = Search("C:\\");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{
                         "10 handle \\Device\\HarddiskVolume1\\tree",
                         "10 handle \\Device\\HarddiskVolume1\\tree\\data\\log.txt",
                         "11 handle \\Device\\HarddiskVolume1\\TREE\\Upper.txt",
                         "8 module C:\\WINDOWS\\system32\\kernel32.dll",
                         "8 module C:\\tree\\bin\\a.exe",
                         "9 module C:\\treehouse\\b.exe",
                     }));
}

TEST_F(TreeSearchTest, WithExactNamesCaseMatters) {
    sim::Set().nameCase = sim::NameCase::Exact;
    EXPECT_EQ(Search("C:\\TREE"),
              (std::vector<std::string>{"11 handle \\Device\\HarddiskVolume1\\TREE\\Upper.txt"}));
}

TEST_F(TreeSearchTest, AFileSearchIsUnchanged) {
    EXPECT_EQ(Search("C:\\tree", SearchScope::File),
              (std::vector<std::string>{"10 handle \\Device\\HarddiskVolume1\\tree"}));
}

TEST_F(TreeSearchTest, AFolderWithoutADeviceFormStopsAfterTheModulePass) {
    sim::FindProcess(9)->Module(0x10000000, "\\\\server\\share\\tree\\lib.dll");
    EXPECT_EQ(Search("\\\\server\\share\\tree"),
              (std::vector<std::string>{"9 module \\\\server\\share\\tree\\lib.dll"}));
    EXPECT_EQ(end, DropEnd::Stopped);
    EXPECT_NE(output.find(std::string(66, '-') + "\nGetDeviceFileName() failed.\n"), std::string::npos) << output;
}

}  // namespace
