#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "SimFixture.h"
#include "app/core/Drop.h"
#include "search/ResultLine.h"
#include "search/Search.h"

namespace {

const std::string kDragDrop = "DragDrop\n";
const std::string kModuleHeader = "PID     Name                  Path\n" + std::string(66, '-') + "\n";
const std::string kHandleHeader = "PID     Name                  Path\n" + std::string(54, '-') + "\n";

// A result line as the list shows it: the ID, two blanks, the name in 20 columns.
std::string Line(const char* id, const std::string& name) {
    return std::string(id) + "  " + name + std::string(name.size() < 20 ? 20 - name.size() : 0, ' ');
}

// The window's side of a drop: its files, its list and its wait cursor, all
// writing into one log of events.
class FakeFrontEnd : public ResultList, public DroppedFiles, public WaitCursor {
public:
    FakeFrontEnd(std::vector<std::string> names, const CapturedDiagnostics& diagnostics)
        : m_names(std::move(names)), m_diagnostics(diagnostics) {}

    void Clear() override {
        events.push_back("clear");
        lines.clear();
    }
    void Repaint() override {
        events.push_back("repaint");
        outputAtRepaint = m_diagnostics.Text();
    }
    void Append(const char* line, const Finding& finding) override {
        events.push_back("append");
        if (throwOnAppend) throw std::runtime_error("list is full");
        lines.push_back(line);
        findings.push_back(finding);
    }
    uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override {
        events.push_back((buffer == nullptr ? "length " : "copy ") + std::to_string(index));
        if (index >= m_names.size()) return 0;
        const std::string& name = m_names[index];
        if (buffer == nullptr) return static_cast<uint32_t>(name.size());
        size_t copied = std::min<size_t>(name.size(), size - 1);
        std::memcpy(buffer, name.data(), copied);
        buffer[copied] = '\0';
        return static_cast<uint32_t>(copied);
    }
    void Begin() override { events.push_back("begin"); }
    void End() override { events.push_back("end"); }

    mutable std::vector<std::string> events;
    std::vector<std::string> lines = {"a line of the previous drop"};
    std::vector<Finding> findings;
    std::string outputAtRepaint = "<not repainted>";
    bool throwOnAppend = false;

private:
    std::vector<std::string> m_names;
    const CapturedDiagnostics& m_diagnostics;
};

class UsageSearchTest : public SimTest {
protected:
    struct Run {
        DropEnd end;
        std::string output;
        std::vector<std::string> lines;
        std::vector<Finding> findings;
    };

    // Runs one drop and checks what holds for every drop: the cursor is up
    // exactly once from the first event to the last, the list is emptied
    // and repainted before anything else, and only the first name is read.
    Run Drop(std::vector<std::string> names) {
        CapturedDiagnostics diagnostics;
        FakeFrontEnd front(std::move(names), diagnostics);
        Run run{HandleDrop(front, front, front), diagnostics.Text(), front.lines, front.findings};
        const auto& events = front.events;
        EXPECT_GE(events.size(), 5u);
        EXPECT_EQ(std::count(events.begin(), events.end(), "begin"), 1);
        EXPECT_EQ(std::count(events.begin(), events.end(), "end"), 1);
        EXPECT_EQ(events.front(), "begin");
        EXPECT_EQ(events.back(), "end");
        EXPECT_EQ(std::vector<std::string>(events.begin() + 1, events.begin() + 4),
                  (std::vector<std::string>{"clear", "repaint", "length 0"}));
        EXPECT_EQ(front.outputAtRepaint, "");
        for (const auto& event : events) {
            EXPECT_TRUE(event.find("copy") != 0 || event == "copy 0") << event;
            EXPECT_NE(event, "length 1");
        }
        return run;
    }

    static bool StartsWith(const std::string& text, const std::string& prefix) {
        return text.compare(0, prefix.size(), prefix) == 0;
    }
};

TEST_F(UsageSearchTest, NameMatchingFindsTheModuleInAnyDirectory) {
    sim::AddProcess(4, u"System");
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\a.exe").Module(0x7C800000, "C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddProcess(368, u"b.exe").Module(0x7C800000, "D:\\apps\\KERNEL32.DLL");
    sim::AddProcess(1000, u"c.exe").Module(0x10000000, "C:\\x\\kernel32.dll.bak").Module(0x20000000, "C:\\kernel32");
    Run run = Drop({"kernel32.dll"});
    EXPECT_EQ(run.lines, (std::vector<std::string>{Line("0x0008", "a.exe"), Line("0x0170", "b.exe")}));
    EXPECT_TRUE(StartsWith(run.output, kDragDrop + kModuleHeader)) << run.output;
    EXPECT_EQ(sim::Log().fullPathCalls, 0u);
    ASSERT_EQ(run.findings.size(), 2u);
    EXPECT_EQ(run.findings[1].kind, Finding::Kind::Module);
    EXPECT_EQ(run.findings[1].pid, 368u);
    EXPECT_EQ(run.findings[1].path, "D:\\apps\\KERNEL32.DLL");
}

TEST_F(UsageSearchTest, PathMatchingComparesWholePathsUnderTheNameRule) {
    sim::AddProcess(8, u"a.exe").Module(0x7C800000, "C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddProcess(9, u"b.exe").Module(0x7C800000, "D:\\WINDOWS\\system32\\kernel32.dll");
    EXPECT_EQ(Drop({"c:\\windows\\SYSTEM32\\KERNEL32.DLL"}).lines, std::vector<std::string>{Line("0x0008", "a.exe")});
    EXPECT_EQ(sim::Log().fullPathCalls, 1u);
    sim::Set().nameCase = sim::NameCase::Exact;
    Run run = Drop({"c:\\windows\\SYSTEM32\\KERNEL32.DLL"});
    EXPECT_TRUE(run.lines.empty());
    EXPECT_TRUE(StartsWith(run.output, kDragDrop + kModuleHeader)) << run.output;
    EXPECT_EQ(Drop({"C:/WINDOWS/system32/kernel32.dll"}).lines, std::vector<std::string>{Line("0x0008", "a.exe")});
}

TEST_F(UsageSearchTest, RelativeNameIsMatchedByItsFullPath) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\work\\dir\\file.txt");
    sim::AddProcess(9, u"b.exe").Module(0x400000, "C:\\other\\dir\\file.txt");
    EXPECT_EQ(Drop({"dir\\file.txt"}).lines, std::vector<std::string>{Line("0x0008", "a.exe")});
    // A name whose only separator is its first character has no directory.
    EXPECT_TRUE(Drop({"\\file.txt"}).lines.empty());
    EXPECT_EQ(sim::Log().fullPathCalls, 1u);
}

TEST_F(UsageSearchTest, StopsOfTheModulePass) {
    struct Case {
        const char* what;
        std::function<void()> setup;
        std::string name;
        std::string output;
        DropEnd end;
    } cases[] = {
        {"no name", [] {}, "", "", DropEnd::NoName},
        {"full path fails", [] { sim::Set().fullPathError = 5; }, "C:\\dir\\file.txt",
         "GetFullPathName() failed. Error = 5\n", DropEnd::Stopped},
        {"no module list", [] { sim::Set().psapiLoadFails = true; }, "C:\\dir\\file.txt",
         "SystemModulesInformation::Refresh() failed.\n", DropEnd::Stopped},
        {"no process table", [] { sim::Set().processQuery = sim::FailFrom(os::STATUS_ACCESS_DENIED); },
         "file.txt", "SystemModulesInformation::Refresh() failed.\n", DropEnd::Stopped},
        {"no modules", [] { sim::FindProcess(8)->modules.clear(); }, "file.txt", "No module information\n",
         DropEnd::Stopped},
    };
    for (const Case& c : cases) {
        sim::Reset();
        sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt");
        c.setup();
        Run run = Drop({c.name});
        EXPECT_EQ(run.output, kDragDrop + c.output) << c.what;
        EXPECT_EQ(run.end, c.end) << c.what;
        EXPECT_TRUE(run.lines.empty()) << c.what;
    }
}

TEST_F(UsageSearchTest, LongestNamesThatFitAreSearched) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\a.exe");
    EXPECT_TRUE(StartsWith(Drop({"d\\" + std::string(249, 'x')}).output, kDragDrop + kModuleHeader));
    EXPECT_TRUE(StartsWith(Drop({std::string(259, 'n')}).output, kDragDrop + kModuleHeader));
}

TEST_F(UsageSearchTest, FindingsWithoutASnapshotEntryHaveEmptyNames) {
    sim::AddProcess(0x4D2, u"explorer.exe").Module(0x400000, "C:\\x\\file.txt");
    sim::AddProcess(0x12345, u"gone.exe").Module(0x400000, "D:\\file.txt").ExitsAfterListings(1);
    sim::AddProcess(0, nullptr);
    EXPECT_EQ(Drop({"file.txt"}).lines,
              (std::vector<std::string>{Line("0x12345", ""), Line("0x04D2", "explorer.exe")}));
    // The search's own snapshot fails while the module list's succeeds.
    sim::Reset();
    sim::AddProcess(0x4D2, u"explorer.exe").Module(0x400000, "C:\\x\\file.txt");
    sim::Set().processQuery = sim::FailFrom(os::STATUS_ACCESS_DENIED, 2);
    Run run = Drop({"file.txt"});
    EXPECT_EQ(run.lines, std::vector<std::string>{"0x04D2" + std::string(22, ' ')});
    EXPECT_TRUE(StartsWith(run.output, kDragDrop + kModuleHeader)) << run.output;
}

TEST_F(UsageSearchTest, OneLinePerModuleInListOrder) {
    for (uint32_t pid : {4u, 8u, 368u, 1000u})
        sim::AddProcess(pid, u"p.exe").Module(0x400000, "C:\\p.exe").Module(0x10000000, "C:\\lib\\shared.dll");
    sim::FindProcess(8)->Module(0x20000000, "D:\\copy\\SHARED.DLL");
    std::vector<std::string> pids;
    for (const auto& line : Drop({"shared.dll"}).lines) pids.push_back(line.substr(0, 6));
    EXPECT_EQ(pids, (std::vector<std::string>{"0x0008", "0x0008", "0x0004", "0x0170", "0x03E8"}));
}

TEST_F(UsageSearchTest, OnlyTheFirstFileOfADropIsSearched) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\second.dll");
    Run run = Drop({"first.dll", "second.dll"});
    EXPECT_TRUE(run.lines.empty());
}

TEST_F(UsageSearchTest, CursorEndsWhenAnExceptionLeavesTheSearch) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt");
    CapturedDiagnostics diagnostics;
    FakeFrontEnd front({"file.txt"}, diagnostics);
    front.throwOnAppend = true;
    EXPECT_THROW(HandleDrop(front, front, front), std::runtime_error);
    EXPECT_EQ(front.events.back(), "end");
    EXPECT_EQ(std::count(front.events.begin(), front.events.end(), "end"), 1);
}

class HandlePassTest : public UsageSearchTest {
protected:
    void SetUp() override {
        UsageSearchTest::SetUp();
        sim::Set().terminateThreadWorks = true;
        sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt");
        sim::AddProcess(9, u"b.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
        sim::FindProcess(9)->Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
        sim::AddProcess(10, u"c.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume2\\dir\\file.txt");
        sim::FindProcess(10)->Handle(0x8, "Event", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    }
};

TEST_F(HandlePassTest, OpenHandlesAreReportedAfterTheModules) {
    Run run = Drop({"c:\\DIR\\file.txt"});
    EXPECT_EQ(run.output, kDragDrop + kModuleHeader + kHandleHeader);
    EXPECT_EQ(run.lines, (std::vector<std::string>{Line("0x0008", "a.exe"), Line("0x0009", "b.exe"),
                                                   Line("0x0009", "b.exe")}));
    ASSERT_EQ(run.findings.size(), 3u);
    EXPECT_EQ(run.findings[1].kind, Finding::Kind::Handle);
    EXPECT_EQ(run.findings[1].path, "\\Device\\HarddiskVolume1\\dir\\file.txt");
    // By name, a handle on any volume counts.
    EXPECT_EQ(Drop({"FILE.TXT"}).lines, (std::vector<std::string>{Line("0x0008", "a.exe"), Line("0x0009", "b.exe"),
                                                                   Line("0x0009", "b.exe"), Line("0x000A", "c.exe")}));
}

TEST_F(HandlePassTest, StopsOfTheHandlePass) {
    struct Case {
        const char* name;
        void (*setup)();
        const char* output;
    } cases[] = {
        {"dir\\file.txt", [] { sim::Set().currentDirectory = "C:\\"; }, "GetDeviceFileName() failed.\n"},
        {"\\\\server\\share\\file.txt", [] { sim::FindProcess(8)->modules[0].path = "\\\\server\\share\\file.txt"; },
         "GetDeviceFileName() failed.\n"},
        {"file.txt", [] { sim::Set().handleQuery = sim::FailFrom(os::STATUS_ACCESS_DENIED); }, "No handle information\n"},
        {"file.txt", [] {
             sim::FindProcess(9)->handles.clear();
             sim::FindProcess(10)->handles.resize(1);
         },
         "No handle information\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        sim::FindProcess(10)->handles[0]->type = "Key";
        c.setup();
        Run run = Drop({c.name});
        EXPECT_EQ(run.output, kDragDrop + kModuleHeader + c.output) << c.name;
        EXPECT_EQ(run.lines, std::vector<std::string>{Line("0x0008", "a.exe")}) << c.name;
    }
}

TEST_F(HandlePassTest, SearchThatFindsNothingStillPrintsBothHeadersAndRules) {
    for (const char* name : {"C:\\dir\\none.txt", "none.txt"}) {
        Run run = Drop({name});
        EXPECT_EQ(run.output, kDragDrop + kModuleHeader + kHandleHeader) << name;
        EXPECT_TRUE(run.lines.empty()) << name;
        EXPECT_EQ(run.end, DropEnd::Finished) << name;
    }
}

TEST_F(HandlePassTest, DroppedPathThatEndsInASeparatorIsMatchedAsAPath) {
    // Its final component is empty, yet it has a directory part.
    sim::AddProcess(11, u"d.exe").Module(0x400000, "C:\\dir\\").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\");
    Run run = Drop({"C:\\dir\\"});
    EXPECT_EQ(run.lines, (std::vector<std::string>{Line("0x000B", "d.exe"), Line("0x000B", "d.exe")}));
    EXPECT_EQ(sim::Log().fullPathCalls, 1u);
}

TEST_F(HandlePassTest, ProcessesWithAnEmptyOrNoImageNameGiveLinesWithAnEmptyName) {
    sim::AddProcess(11, u"").Module(0x400000, "C:\\dir\\file.txt").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    sim::AddProcess(12, nullptr).Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    EXPECT_EQ(Drop({"C:\\dir\\file.txt"}).lines,
              (std::vector<std::string>{Line("0x000B", ""), Line("0x0008", "a.exe"), Line("0x0009", "b.exe"),
                                        Line("0x0009", "b.exe"), Line("0x000B", ""), Line("0x000C", "")}));
}

TEST_F(HandlePassTest, HandleWhoseOwnerIsMissingFromTheSnapshotGivesALineWithAnEmptyName) {
    // Never listed (it exited), yet its handle is still in the table.
    sim::AddProcess(13, u"gone.exe").ExitsAfterListings(0).Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    EXPECT_EQ(Drop({"C:\\dir\\file.txt"}).lines,
              (std::vector<std::string>{Line("0x0008", "a.exe"), Line("0x0009", "b.exe"), Line("0x0009", "b.exe"),
                                        Line("0x000D", "")}));
}

TEST_F(HandlePassTest, HandlesOnAMappedDriveMatchByTheirRedirectorName) {
    sim::Set().dosDevices["Z:"] = "\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share";
    sim::FindProcess(10)->Handle(0xC, "File", u"\\Device\\LanmanRedirector\\server\\share\\dir\\file.txt");
    EXPECT_EQ(Drop({"Z:\\dir\\file.txt"}).lines, std::vector<std::string>{Line("0x000A", "c.exe")});
}

TEST_F(HandlePassTest, HandlesWhoseNameCannotBeReadGiveNoLine) {
    sim::FindProcess(9)->handles[0]->FileNameBlocks();
    sim::FindProcess(9)->handles[1]->FileNameFails().NameQueryFails();
    sim::FindProcess(10)->Handle(0xC, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    EXPECT_EQ(Drop({"C:\\dir\\file.txt"}).lines,
              (std::vector<std::string>{Line("0x0008", "a.exe"), Line("0x000A", "c.exe")}));
    EXPECT_EQ(sim::Log().terminateCalls, 1u);
}

}  // namespace
