// A Windows search that stops says what failed and the system's code, and
// only the Windows words make a line of it.
#include "SimFixture.h"
#include "search/Search.h"
#include "search/Trace.h"

namespace {

class StopReasonTest : public SimTest {
protected:
    SearchReport Search(const std::string& name, SearchScope scope = SearchScope::File) {
        std::vector<SearchRequest> requests{SearchRequest(name, scope)};
        return RunSearch(requests).front();
    }
};

TEST_F(StopReasonTest, EachStopCarriesItsCauseAndCodeAndTheWindowsWordsForIt) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt");
    const SearchReport device = Search("C:\\dir\\file.txt", SearchScope::Device);
    EXPECT_EQ(device.reached, SearchStage::Start);
    EXPECT_EQ(device.stop.cause, SearchStop::Cause::FileSystemUnsupported);
    EXPECT_EQ(WindowsTraceWords().stopped(device.stop), "Searching a whole file system is not supported here.\n");

    sim::Set().fullPathError = 123;
    const SearchReport unresolved = Search("C:\\dir\\file.txt");
    EXPECT_EQ(unresolved.stop.cause, SearchStop::Cause::NameUnresolved);
    EXPECT_EQ(unresolved.stop.code, 123);
    EXPECT_EQ(WindowsTraceWords().stopped(unresolved.stop), "GetFullPathName() failed. Error = 123\n");
    sim::Set().fullPathError = 0;

    sim::Set().psapiLoadFails = true;
    const SearchReport unread = Search("C:\\dir\\file.txt");
    EXPECT_EQ(unread.stop.cause, SearchStop::Cause::ProcessesUnread);
    EXPECT_EQ(unread.reached, SearchStage::Start);
    sim::Set().psapiLoadFails = false;

    // The modules were read; no process held a file open.
    const SearchReport noHandles = Search("C:\\dir\\file.txt");
    EXPECT_EQ(noHandles.reached, SearchStage::LoadedFilesRead);
    EXPECT_EQ(noHandles.stop.cause, SearchStop::Cause::NoOpenFiles);
    EXPECT_EQ(WindowsTraceWords().stopped(noHandles.stop), "No handle information\n");

    sim::FindProcess(8)->Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    const SearchReport found = Search("C:\\dir\\file.txt");
    EXPECT_TRUE(found.Finished());
    EXPECT_EQ(found.stop.cause, SearchStop::Cause::None);
    EXPECT_EQ(found.style, PathStyle::Windows);
    EXPECT_EQ(WindowsTraceWords().stopped(found.stop), "");
}

}  // namespace
