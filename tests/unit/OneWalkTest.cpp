// One walk of the system answers every request: each FILE, --name and
// --under of a command line is compared with what that one look read, and a
// request that cannot be searched stops alone.
#include <string>
#include <vector>

#include "SimFixture.h"
#include "search/Search.h"
#include "search/Wait.h"
#include "windows/platform/WinTypes.h"
#include "windows/search/MappedViews.h"

namespace {

class OneWalkTest : public SimTest {
protected:
    void TearDown() override {
        SearchMappedViews(false);
        SimTest::TearDown();
    }

    static std::vector<SearchReport> Search(std::vector<SearchRequest> requests) { return RunSearch(requests); }
    static std::vector<uint32_t> Pids(const SearchReport& report) {
        std::vector<uint32_t> pids;
        for (const Finding& f : report.findings) pids.push_back(f.pid);
        return pids;
    }
    static std::vector<uint32_t> Pids(const std::string& name, SearchScope scope = SearchScope::File) {
        return Pids(Search({SearchRequest(name, scope)}).front());
    }

    // Three processes: a module, a handle and a view of files in C:\data.
    static void AddHolders() {
        sim::AddFile("C:\\data", 1, 0xD0);
        sim::AddFile("C:\\data\\a.dll", 1, 0xA0);
        sim::AddFile("C:\\data\\b.txt", 1, 0xB0);
        sim::AddFile("C:\\data\\c.bin", 1, 0xC0);
        sim::AddProcess(8, u"mod.exe").Module(0x400000, "C:\\mod.exe").Module(0x10000000, "C:\\data\\a.dll");
        sim::AddProcess(9, u"open.exe")
            .Module(0x400000, "C:\\open.exe")
            .Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\data\\b.txt")
            .Identity(1, 0xB0);
        sim::AddProcess(10, u"view.exe")
            .Module(0x400000, "C:\\view.exe")
            .View(0x20000, 0x1000, "\\Device\\HarddiskVolume1\\data\\c.bin");
    }
};

// Every request from one look: the process and handle tables are read once
// and each handle copied once, however many requests there are; each
// report holds only its own findings, modules before handles before views.
TEST_F(OneWalkTest, EveryRequestIsAnsweredFromOneLook) {
    AddHolders();
    SearchMappedViews(true);
    const std::vector<SearchReport> reports = Search({
        SearchRequest("C:\\data\\a.dll", SearchScope::File),
        SearchRequest("b.txt", SearchScope::Name),
        SearchRequest("C:\\data\\c.bin", SearchScope::File),
        SearchRequest("C:\\data", SearchScope::Tree),
        SearchRequest("C:\\data\\none.txt", SearchScope::File),
    });
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_EQ(Pids(reports[0]), std::vector<uint32_t>{8});
    EXPECT_EQ(Pids(reports[1]), std::vector<uint32_t>{9});
    EXPECT_EQ(Pids(reports[2]), std::vector<uint32_t>{10});
    EXPECT_EQ(Pids(reports[3]), (std::vector<uint32_t>{8, 9, 10}));
    EXPECT_TRUE(reports[4].findings.empty());
    for (const SearchReport& report : reports) EXPECT_TRUE(report.Finished()) << static_cast<int>(report.stop.cause);
    EXPECT_EQ(reports[3].findings[0].kind, Finding::Kind::Module);
    EXPECT_EQ(reports[3].findings[1].kind, Finding::Kind::Handle);
    EXPECT_EQ(reports[3].findings[2].kind, Finding::Kind::Mapped);
    const sim::Record& log = sim::Log();
    EXPECT_EQ(log.duplicates.size(), 1u);
    EXPECT_EQ(log.opens.size(), 3u);
    // The size probe and the read of the extended table, once.
    EXPECT_LE(log.SystemQueries(64), 2u);
    // Each process's views walked once: up to the view, the view, the free
    // space above it, the top; the other two see free space and the top.
    EXPECT_LE(log.virtualQueries, 4u + 2u * 2u);
}

// A request that cannot be searched stops with its own line; the others
// are answered as if it had not been asked.
TEST_F(OneWalkTest, ARequestThatStopsStopsAlone) {
    AddHolders();
    sim::AddFile("Q:\\x.txt", 2, 0x10);  // a drive the device table does not know
    const std::vector<SearchReport> reports = Search({
        SearchRequest("Q:\\x.txt", SearchScope::File),
        SearchRequest("C:\\data\\b.txt", SearchScope::File),
        SearchRequest("C:\\", SearchScope::Device),
        SearchRequest("a.dll", SearchScope::Name),
    });
    EXPECT_EQ(reports[0].stop.cause, SearchStop::Cause::DeviceUnnamed);
    EXPECT_EQ(reports[0].reached, SearchStage::LoadedFilesRead);
    EXPECT_TRUE(reports[0].findings.empty());
    EXPECT_TRUE(reports[1].Finished());
    EXPECT_EQ(Pids(reports[1]), std::vector<uint32_t>{9});
    EXPECT_EQ(reports[2].reached, SearchStage::Start);
    EXPECT_EQ(reports[2].stop.cause, SearchStop::Cause::FileSystemUnsupported);
    EXPECT_EQ(Pids(reports[3]), std::vector<uint32_t>{8});
    // A failure that stops the walk itself stops every request, saying why.
    sim::Set().psapiLoadFails = true;
    for (const SearchReport& report : Search({SearchRequest("a.dll", SearchScope::Name),
                                              SearchRequest("C:\\data\\b.txt", SearchScope::File)}))
        EXPECT_EQ(report.stop.cause, SearchStop::Cause::ProcessesUnread);
}

// A \\?\ name is the file it spells: holder A has "dots.txt." open and B
// "dots.txt"; a real "nul.txt" is no device. Without its prefix, the same
// name is read as the system reads names (trailing dots dropped).
TEST_F(OneWalkTest, LiteralNamesAreTheFilesTheySpell) {
    sim::AddFile("C:\\h\\dots.txt.", 1, 0x11);
    sim::AddFile("C:\\h\\dots.txt", 1, 0x22);
    sim::AddFile("C:\\h\\nul.txt", 1, 0x33);
    sim::AddFile("\\\\.\\NUL", 0, 0x99);
    sim::AddProcess(7, u"x.exe").Module(0x400000, "C:\\x.exe");
    sim::AddProcess(8, u"a.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\h\\dots.txt.").Identity(1, 0x11);
    sim::AddProcess(9, u"b.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\h\\dots.txt").Identity(1, 0x22);
    sim::AddProcess(10, u"n.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\h\\nul.txt").Identity(1, 0x33);
    sim::AddProcess(11, u"services.exe").Handle(0x4, "File", u"\\Device\\Null").Identity(0, 0x99);
    EXPECT_EQ(Pids("\\\\?\\C:\\h\\dots.txt."), std::vector<uint32_t>{8});
    EXPECT_EQ(Pids("\\\\?\\C:\\h\\dots.txt"), std::vector<uint32_t>{9});
    EXPECT_EQ(Pids("C:\\h\\dots.txt."), std::vector<uint32_t>{9});
    EXPECT_EQ(Pids("\\\\?\\C:\\h\\nul.txt"), std::vector<uint32_t>{10});
    // Modules and views of the literal name are opened literally too.
    sim::AddProcess(12, u"m.exe").Module(0x400000, "C:\\h\\dots.txt.");
    sim::AddProcess(13, u"m2.exe").Module(0x400000, "C:\\h\\dots.txt");
    EXPECT_EQ(Pids("\\\\?\\C:\\h\\dots.txt."), (std::vector<uint32_t>{12, 8}));
}

// --name compares as the file's folder does: without case, except in a
// folder that tells case, where "Äpfel.txt" is not "äpfel.txt".
TEST_F(OneWalkTest, NamesCompareAsTheirFolderDoes) {
    sim::AddFile("C:\\cs", 1, 0x50).CaseSensitive();
    sim::AddFile("C:\\ci", 1, 0x51);
    sim::AddFile("C:\\cs\\\xC3\x84pfel.txt", 1, 0x52);
    sim::AddFile("C:\\cs\\\xC3\xA4pfel.txt", 1, 0x53);
    sim::AddProcess(8, u"upper.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\cs\\\u00C4pfel.txt");
    sim::AddProcess(9, u"lower.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\cs\\\u00E4pfel.txt");
    sim::AddProcess(10, u"other.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\ci\\\u00C4PFEL.TXT");
    sim::AddProcess(11, u"mod.exe").Module(0x400000, "C:\\cs\\\xC3\x84pfel.txt");
    EXPECT_EQ(Pids("\xC3\xA4pfel.txt", SearchScope::Name), (std::vector<uint32_t>{9, 10}));
    EXPECT_EQ(Pids("\xC3\x84pfel.txt", SearchScope::Name), (std::vector<uint32_t>{11, 8, 10}));
}

// --under finds what lies in the folder whatever form it was given in: its
// 8.3 form, or a link to it, by the identity of each finding's folders.
TEST_F(OneWalkTest, UnderMatchesTheFolderByIdentity) {
    AddHolders();
    sim::FindProcess(9)->Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\data\\sub\\d.txt").Identity(1, 0xE1);
    sim::AddFile("C:\\data\\sub", 1, 0xE0);
    sim::AddFile("C:\\data\\sub\\d.txt", 1, 0xE1);
    sim::AddFile("C:\\DATA~1", 1, 0xD0);    // the 8.3 form
    sim::AddFile("C:\\link", 1, 0xD0);      // a folder link to it
    sim::AddFile("C:\\elsewhere", 1, 0xF0);  // another folder
    SearchMappedViews(true);
    for (const char* folder : {"C:\\DATA~1", "C:\\link"})
        EXPECT_EQ(Pids(folder, SearchScope::Tree), (std::vector<uint32_t>{8, 9, 9, 10})) << folder;
    EXPECT_TRUE(Pids("C:\\elsewhere", SearchScope::Tree).empty());
    // A handle to the folder itself, by its own identity, and one below it.
    sim::AddFile("C:\\link\\sub", 1, 0xE0);
    sim::FindProcess(9)->Handle(0xC, "File", u"\\Device\\HarddiskVolume1\\data\\sub").Identity(1, 0xE0);
    EXPECT_EQ(Pids("C:\\link\\sub", SearchScope::Tree), (std::vector<uint32_t>{9, 9}));
}

// A mapped file whose name the process-status call cannot give (Wine's
// fails past MAX_PATH) is named by the native query, however long.
TEST_F(OneWalkTest, MappedFilesAreNamedAtAnyLength) {
    const std::string deep = "\\" + std::string(150, 'd') + "\\" + std::string(150, 'e') + "\\long.bin";
    sim::AddFile("C:" + deep, 1, 0x70);
    sim::Process& maps = sim::AddProcess(8, u"maps.exe").Module(0x400000, "C:\\maps.exe");
    maps.View(0x20000, 0x1000, "\\Device\\HarddiskVolume1" + deep).LastView().PsapiNameFails();
    maps.Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\log.txt");
    SearchMappedViews(true);
    EXPECT_EQ(Pids("C:" + deep), std::vector<uint32_t>{8});
    EXPECT_EQ(Pids("long.bin", SearchScope::Name), std::vector<uint32_t>{8});
    // Neither call names it: nothing is made up.
    sim::FindProcess(8)->LastView().NativeNameFails();
    EXPECT_TRUE(Pids("long.bin", SearchScope::Name).empty());
}

// The views walk names views and steps over whole allocations: an image of
// many regions costs two questions, and is named only in a process whose
// modules could not be listed (else the module pass has it).
TEST_F(OneWalkTest, ViewsWalkNamesOnlyWhatCanBeAMappedFile) {
    sim::AddProcess(8, u"img.exe")
        .Module(0x400000, "C:\\img.exe")
        .View(0x400000, 0x8000, "\\Device\\HarddiskVolume1\\img.exe")
        .LastView()
        .Image()
        .Regions(8);
    sim::FindProcess(8)->Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\log.txt");
    SearchMappedViews(true);
    EXPECT_EQ(Pids("img.exe", SearchScope::Name), std::vector<uint32_t>{8});
    EXPECT_EQ(sim::Log().mappedNameQueries, 0u);
    // Free space, the image (asked where its allocation ends), free space
    // to the top, the top.
    EXPECT_EQ(sim::Log().virtualQueries, 4u);
    sim::Reset();
    sim::AddProcess(8, u"img.exe")
        .EnumModulesFails()
        .View(0x400000, 0x8000, "\\Device\\HarddiskVolume1\\img.exe")
        .LastView()
        .Image()
        .Regions(8);
    sim::FindProcess(8)->Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\log.txt");
    sim::AddProcess(9, u"other.exe").Module(0x400000, "C:\\other.exe");
    const SearchReport report = Search({SearchRequest("img.exe", SearchScope::Name)}).front();
    ASSERT_EQ(report.findings.size(), 1u);
    EXPECT_EQ(report.findings[0].kind, Finding::Kind::Mapped);
    // Where the system cannot tell allocations (Wine), an image is stepped
    // over by the size its header tells, once its last byte is seen to lie
    // in the same allocation.
    sim::Set().regionInfoFails = true;
    unsigned before = sim::Log().virtualQueries;
    EXPECT_EQ(Pids("img.exe", SearchScope::Name), std::vector<uint32_t>{8});
    // Free space, the image, its last byte, free space, the top; and the
    // other process's free space and top.
    EXPECT_EQ(sim::Log().virtualQueries - before, 1u + 1u + 1u + 2u + 2u);
    EXPECT_GT(sim::Log().memoryReads, 0u);
}

// A process writes what it likes in its images' headers: a size that
// reaches past the image hides no view behind it, and a header that cannot
// be read leaves the walk going region by region.
TEST_F(OneWalkTest, AnImageHeaderHidesNoView) {
    sim::Set().regionInfoFails = true;
    sim::Process& process = sim::AddProcess(8, u"liar.exe").Module(0x400000, "C:\\liar.exe");
    process.View(0x400000, 0x4000, "\\Device\\HarddiskVolume1\\liar.exe").LastView().Image().Regions(4).HeaderSize(
        0x100000);
    process.View(0x404000, 0x1000, "\\Device\\HarddiskVolume1\\hidden.bin");
    process.Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\log.txt");
    SearchMappedViews(true);
    EXPECT_EQ(Pids("hidden.bin", SearchScope::Name), std::vector<uint32_t>{8});
    sim::FindProcess(8)->denyRead = true;
    const unsigned before = sim::Log().virtualQueries;
    EXPECT_EQ(Pids("hidden.bin", SearchScope::Name), std::vector<uint32_t>{8});
    // Free space, four image regions, the view, free space, the top.
    EXPECT_EQ(sim::Log().virtualQueries - before, 1u + 4u + 1u + 2u);
}

// A 32-bit program that cannot list a 64-bit process's modules does not
// call a file free: that process may have it loaded.
TEST_F(OneWalkTest, WaitingIsNotFreeWhereModulesWentUnlisted) {
    sim::Set().wow64 = true;
    sim::AddProcess(8, u"wide.exe").Is64Bit().Module(0x400000, "C:\\lib.dll");
    sim::AddProcess(9, u"narrow.exe").Module(0x400000, "C:\\narrow.exe");
    sim::AddProcess(10, u"h.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\other.txt");
    FreeWatch watch({SearchRequest("C:\\lib.dll", SearchScope::File)});
    EXPECT_EQ(watch.Look(), WaitState::FreeAmongExamined);
    sim::Set().wow64 = false;
    FreeWatch listed({SearchRequest("C:\\lib.dll", SearchScope::File)});
    EXPECT_EQ(listed.Look(), WaitState::InUse);
}

}  // namespace
