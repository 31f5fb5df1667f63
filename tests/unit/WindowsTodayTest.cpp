// The search as today's Windows needs it: one file by any of its names,
// whole handle values, each owner opened once and each handle copied once,
// mapped views, and the processes held for what comes after.
#include <string>
#include <vector>

#include "SimFixture.h"
#include "search/Process.h"
#include "search/Search.h"
#include "windows/search/MappedViews.h"

namespace {

class WindowsTodayTest : public SimTest {
protected:
    void TearDown() override {
        SearchMappedViews(false);
        SimTest::TearDown();
    }

    // The PIDs each finding names, in order, and the kinds.
    static std::vector<uint32_t> Pids(const std::string& name, SearchScope scope = SearchScope::File) {
        std::vector<uint32_t> pids;
        for (const Finding& f : Search(name, scope).findings) pids.push_back(f.pid);
        return pids;
    }
    static SearchReport Search(const std::string& name, SearchScope scope = SearchScope::File) {
        std::vector<SearchRequest> requests{SearchRequest(name, scope)};
        return std::move(RunSearch(requests).front());
    }
};

// A path names a file: whatever name each process used for it (short,
// another drive, a hard link, another case, / or \??\), the identity
// decides. Bare names match the long and the short name.
TEST_F(WindowsTodayTest, OneFileByAnyOfItsNames) {
    sim::Set().dosDevices["D:"] = "\\Device\\HarddiskVolume1";  // the same volume, another letter
    sim::AddFile("C:\\h\\Long Name.dll", 7, 42).Short("C:\\h\\LONGNA~1.DLL");
    sim::AddFile("D:\\h\\Long Name.dll", 7, 42);
    sim::AddFile("C:\\h\\link.dll", 7, 42);  // a hard link
    sim::AddFile("C:\\h\\other.dll", 7, 43);
    sim::AddProcess(8, u"short.exe").Module(0x400000, "C:\\h\\LONGNA~1.DLL");
    sim::AddProcess(9, u"drive.exe").Module(0x400000, "D:/h/long name.dll");
    sim::AddProcess(10, u"link.exe").Module(0x400000, "\\\\?\\C:\\h\\link.dll");
    sim::AddProcess(11, u"other.exe").Module(0x400000, "C:\\h\\other.dll");
    sim::AddProcess(12, u"wine.exe")
        .Handle(0x4, "File", u"\\??\\C:\\h\\Long Name.dll")
        .Identity(7, 42);
    // No identity (a pipe): its name decides.
    sim::AddProcess(13, u"noid.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\h\\Long Name.dll");
    sim::AddProcess(14, u"noid2.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\h\\link.dll");
    // Modules in snapshot order (10, 9, 8), then handles.
    EXPECT_EQ(Pids("C:\\h\\Long Name.dll"), (std::vector<uint32_t>{10, 9, 8, 12, 13}));
    EXPECT_EQ(Pids("C:\\h\\LONGNA~1.DLL"), (std::vector<uint32_t>{10, 9, 8, 12}));
    EXPECT_EQ(Pids("C:\\h\\link.dll"), (std::vector<uint32_t>{10, 9, 8, 12, 14}));
    // Each distinct module path is opened once per search.
    EXPECT_EQ(sim::Log().fileOpens.size(), 3 * (1 + 4u));
    // Bare names: by the final component, long or short.
    EXPECT_EQ(Pids("long name.dll", SearchScope::Name), (std::vector<uint32_t>{9, 8, 12, 13}));
    EXPECT_EQ(Pids("LONGNA~1.DLL", SearchScope::Name), (std::vector<uint32_t>{8, 12, 13}));
    // A file that cannot be opened is matched by its text, as before.
    sim::Set().files.clear();
    EXPECT_EQ(Pids("C:\\h\\Long Name.dll"), (std::vector<uint32_t>{12, 13}));
}

// The extended table carries process IDs and handle values whole; the old
// one, used only where the extended one is refused, cuts both to 16 bits.
TEST_F(WindowsTodayTest, HandleValuesAndProcessIdsAbove16Bits) {
    sim::AddProcess(0x12345, u"big.exe").Handle(0x10004, "File", u"\\Device\\HarddiskVolume1\\f.txt");
    sim::AddProcess(0x2345, u"small.exe").Handle(0x0004, "File", u"\\Device\\HarddiskVolume1\\other.txt");
    sim::AddProcess(0x2344, u"any.exe").Module(0x400000, "C:\\any.exe");
    EXPECT_EQ(Pids("f.txt", SearchScope::Name), std::vector<uint32_t>{0x12345});
    sim::Set().extendedHandleTableRefused = true;
    // Cut to 0x2345 and 0x0004: another process's handle, named twice.
    EXPECT_EQ(Pids("f.txt", SearchScope::Name), std::vector<uint32_t>());
    EXPECT_EQ(Pids("other.txt", SearchScope::Name), (std::vector<uint32_t>{0x2345, 0x2345}));
}

// 100 file handles in 10 processes: each owner opened once for the whole
// search, each handle copied once and asked its type and name from that copy.
// Handles of other types are not copied once the platform's number for a
// file is known: from this process's own file handle, or else from the
// first handle seen to be a file.
TEST_F(WindowsTodayTest, EachOwnerOpenedOnceEachFileHandleCopiedOnce) {
    sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe").Module(0x400000, "C:\\fencat.exe");
    for (uint32_t pid = 100; pid < 110; ++pid) {
        sim::Process& process = sim::AddProcess(pid, u"holder.exe").Module(0x400000, "C:\\holder.exe");
        process.Handle(0x400, "Event", u"");
        process.Handle(0x404, "Key", u"\\REGISTRY\\USER");
        process.Handle(0x408, "Device", u"");
        for (uint16_t h = 1; h <= 10; ++h)
            process.Handle(h * 4u, "File", u"\\Device\\HarddiskVolume1\\f" + std::u16string(1, u'0' + h % 10) + u".txt");
    }
    EXPECT_EQ(Search("C:\\f1.txt").findings.size(), 10u);
    // Only the first process's other handles, seen before any file.
    EXPECT_EQ(sim::Log().duplicates.size(), 103u);
    EXPECT_EQ(sim::Log().opens.size(), 10u);
    sim::FindProcess(sim::kDefaultOwnPid)->Handle(0x10, "File", u"\\Device\\HarddiskVolume1\\fencat.log");
    const sim::Record before = sim::Log();
    EXPECT_EQ(Search("C:\\f1.txt").findings.size(), 10u);
    const sim::Record& log = sim::Log();
    EXPECT_EQ(log.opens.size() - before.opens.size(), 10u);
    EXPECT_EQ(log.duplicates.size() - before.duplicates.size(), 100u);
    std::printf("calls for 100 file handles in 10 processes: %zu OpenProcess, %zu DuplicateHandle, %zu NtQueryObject\n",
                log.opens.size() - before.opens.size(), log.duplicates.size() - before.duplicates.size(),
                log.objectQueries.size() - before.objectQueries.size());
}

// Findings hold their process: every finding of one process shares it, and
// ending it ends that process, or tells that it had ended.
TEST_F(WindowsTodayTest, FindingsHoldTheirProcess) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\f.dll").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\f.dll");
    SearchReport report = Search("C:\\f.dll");
    ASSERT_EQ(report.findings.size(), 2u);
    const std::shared_ptr<HeldProcess> process = report.findings[0].process;
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(report.findings[1].process, process);
    EXPECT_TRUE(process->Running());
    std::string error;
    EXPECT_EQ(process->Signal(15, error), HeldProcess::Outcome::Sent);
    EXPECT_FALSE(process->Running());
    EXPECT_EQ(process->Signal(9, error), HeldProcess::Outcome::Ended);
    EXPECT_EQ(sim::Log().terminateProcessCalls, 1u);
    sim::AddProcess(9, u"b.exe").Module(0x400000, "C:\\f.dll").terminateDenied = true;
    report = Search("C:\\f.dll");
    ASSERT_EQ(report.findings.size(), 1u);
    EXPECT_EQ(report.findings[0].process->Signal(9, error), HeldProcess::Outcome::Failed);
    EXPECT_NE(error, "");
}

// Views of mapped files are findings of their own kind, once per file and
// process, where the front end asks for them.
TEST_F(WindowsTodayTest, MappedFilesAreFoundWhereAskedFor) {
    sim::AddFile("C:\\m\\data.bin", 7, 50).Short("C:\\m\\DATA~1.BIN");
    sim::AddProcess(8, u"maps.exe")
        .Module(0x400000, "C:\\maps.exe")
        .View(0x10000, 0x1000, "\\Device\\HarddiskVolume1\\m\\data.bin")
        .View(0x20000, 0x2000, "\\Device\\HarddiskVolume1\\m\\data.bin")
        .View(0x30000, 0x1000, "\\Device\\HarddiskVolume1\\m\\other.bin")
        .Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\log.txt");
    EXPECT_TRUE(Search("C:\\m\\data.bin").findings.empty());
    SearchMappedViews(true);
    for (const char* name : {"C:\\m\\data.bin", "C:\\m\\DATA~1.BIN"}) {
        SearchReport report = Search(name);
        ASSERT_EQ(report.findings.size(), 1u) << name;
        EXPECT_EQ(report.findings[0].kind, Finding::Kind::Mapped);
        EXPECT_EQ(report.findings[0].access, Finding::kMapped);
        EXPECT_EQ(report.findings[0].processName, "maps.exe");
        EXPECT_EQ(DisplayPath(report.findings[0]), "C:\\m\\data.bin");
    }
    EXPECT_EQ(Pids("other.bin", SearchScope::Name), std::vector<uint32_t>{8});
}

}  // namespace
