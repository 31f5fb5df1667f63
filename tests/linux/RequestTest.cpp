// What every front end asks the search through, and what it says of a
// search that stopped: the request maker's refusals and scopes, and the
// Linux search's reasons and trace in Linux's words.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "search/Diagnostics.h"
#include "search/Request.h"
#include "search/Search.h"
#include "search/Trace.h"

namespace {

TEST(RequestTest, EachRefusalIsWordedAndEachAcceptedNameGetsItsScope) {
    EXPECT_EQ(Refusal("", Asked::File), "empty file name");
    EXPECT_EQ(Refusal("", Asked::FileSystem), "empty file name");
    EXPECT_EQ(Refusal("", Asked::Tree), "empty folder name");
    EXPECT_EQ(Refusal("", Asked::Name), "--name: an empty NAME names no file");
    for (const char* path : {"a/b", "/a", "a/", ".", ".."})
        EXPECT_EQ(Refusal(path, Asked::Name),
                  "--name " + std::string(path) + ": a NAME is one file name, with no folder part");
    // Only Windows takes the backslash for a separator.
    EXPECT_EQ(Refusal("a\\b", Asked::Name, PathStyle::Unix), "");
    EXPECT_NE(Refusal("a\\b", Asked::Name, PathStyle::Windows), "");
    for (const char* name : {"...", "-"}) EXPECT_EQ(Refusal(name, Asked::Name), "") << name;
    EXPECT_EQ(Refusal("x", Asked::File), "");

    EXPECT_EQ(ScopeOf("x", Asked::File), SearchScope::File);
    EXPECT_EQ(ScopeOf("x", Asked::Name), SearchScope::Name);
    EXPECT_EQ(ScopeOf("/d", Asked::Tree), SearchScope::Tree);
    EXPECT_EQ(ScopeOf("/d/f", Asked::FileSystem), SearchScope::Device);
    // A bare dropped name stands for any file of that name; one with a
    // folder part is that file.
    EXPECT_EQ(ScopeOf("file.txt", Asked::Dropped, PathStyle::Windows), SearchScope::Name);
    EXPECT_EQ(ScopeOf("C:\\dir\\file.txt", Asked::Dropped, PathStyle::Windows), SearchScope::File);
    EXPECT_EQ(ScopeOf("a\\b", Asked::Dropped, PathStyle::Unix), SearchScope::Name);
}

TEST(RequestTest, OnlyFilesAndFoldersAreResolvedAndTheResolversRefusalStands) {
    std::vector<std::string> resolved;
    const Resolver resolve = [&resolved](const Text& file, Text& name, std::string& why) {
        resolved.push_back(file);
        if (file == "gone") {
            why = "gone: No such file or directory";
            return false;
        }
        name = "/here/" + file;
        return true;
    };
    std::string why;
    std::optional<SearchRequest> file = MakeRequest("f", Asked::File, why, resolve);
    ASSERT_TRUE(file) << why;
    EXPECT_EQ(file->name, "/here/f");
    EXPECT_EQ(file->scope, SearchScope::File);
    std::optional<SearchRequest> name = MakeRequest("n", Asked::Name, why, resolve);
    ASSERT_TRUE(name) << why;
    EXPECT_EQ(name->name, "n");
    EXPECT_FALSE(MakeRequest("gone", Asked::Tree, why, resolve));
    EXPECT_EQ(why, "gone: No such file or directory");
    // Refused before any look at the system.
    EXPECT_FALSE(MakeRequest("", Asked::Tree, why, resolve));
    EXPECT_EQ(why, "empty folder name");
    EXPECT_FALSE(MakeRequest("a/b", Asked::Name, why, resolve));
    EXPECT_EQ(resolved, (std::vector<std::string>{"f", "gone"}));
}

// What the trace of `reports` prints.
std::string Traced(const std::vector<SearchReport>& reports, const TraceWords& words) {
    FILE* out = std::tmpfile();
    if (out == nullptr) return "no temporary file";
    SetDiagnosticStream(out);
    TraceSearches(reports, words);
    SetDiagnosticStream(nullptr);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

TEST(LinuxStopTest, ASearchThatStopsSaysWhyWithErrnoAndTheTraceSaysItInLinuxWords) {
    // Past the name's own folder: a name no file can have.
    std::vector<SearchRequest> requests{SearchRequest("/proc/self/status/x", SearchScope::File),
                                        SearchRequest(std::string(5000, 'a'), SearchScope::Tree),
                                        SearchRequest("/", SearchScope::File)};
    const std::vector<SearchReport> reports = RunSearch(requests);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].reached, SearchStage::Start);
    EXPECT_EQ(reports[0].stop.cause, SearchStop::Cause::NameUnresolved);
    EXPECT_EQ(reports[0].stop.code, ENOTDIR);
    EXPECT_EQ(reports[1].stop.code, ENAMETOOLONG);
    EXPECT_TRUE(reports[2].Finished());
    EXPECT_EQ(reports[2].stop.cause, SearchStop::Cause::None);
    EXPECT_EQ(reports[2].style, PathStyle::Unix);

    const std::string header = "PID     Name                  Path\n";
    EXPECT_EQ(Traced(reports, LinuxTraceWords()),
              "Search\nthe name could not be resolved: Not a directory\n"
              "Search\nthe name could not be resolved: File name too long\n"
              "Search\n" + header + std::string(66, '-') + "\n" + header + std::string(54, '-') + "\n");
    SearchReport unread;
    unread.reached = SearchStage::Start;
    unread.stop = SearchStop{SearchStop::Cause::ProcessesUnread, 0};
    EXPECT_EQ(Traced({unread}, LinuxTraceWords()), "Search\n/proc could not be read\n");
}

}  // namespace
