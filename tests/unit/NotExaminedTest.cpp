// Processes that refuse to be opened are counted, carried to the front end
// and told on the command line's standard error, instead of missing in
// silence.
#include <cstdio>

#include "SimFixture.h"
#include "cli/Options.h"
#include "cli/Run.h"
#include "app/core/Drop.h"
#include "search/Notices.h"
#include "search/ResultLine.h"
#include "search/Search.h"
#include "windows/sysinfo/SystemModulesInformation.h"

namespace {

std::string Contents(FILE* file) {
    std::fflush(file);
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

class NotExaminedTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::Set().terminateThreadWorks = true;
        sim::AddProcess(0, nullptr);
        sim::AddProcess(4, u"System").DenyOpen();
        sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt");
        sim::AddProcess(9, u"locked.exe").DenyOpen().Module(0x400000, "C:\\dir\\file.txt");
        sim::AddProcess(10, u"probe.exe").EnumModulesFails(1).Module(0x400000, "C:\\dir\\file.txt");
        sim::AddProcess(11, u"h.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    }
};

TEST_F(NotExaminedTest, TheModuleListCountsOnlyProcessesThatDeniedAccess) {
    SystemModulesInformation list(SystemModulesInformation::kAllProcesses, false);
    EXPECT_TRUE(list.Refresh());
    // The idle process and a process whose modules could not be read were
    // opened or do not exist as such; they are not denials.
    EXPECT_EQ(list.DeniedProcesses(), 2u);
    ASSERT_EQ(list.Entries().size(), 1u);
    EXPECT_EQ(list.Entries()[0].ownerPid, 8u);
    EXPECT_EQ(m_diagnostics.Text(), "");

    // Each Refresh counts anew.
    sim::FindProcess(9)->openDenied = false;
    EXPECT_TRUE(list.Refresh());
    EXPECT_EQ(list.DeniedProcesses(), 1u);
    sim::Set().psapiLoadFails = true;
    EXPECT_FALSE(list.Refresh());
    EXPECT_EQ(list.DeniedProcesses(), 0u);

    sim::Set().psapiLoadFails = false;
    SystemModulesInformation single(4, true);
    EXPECT_EQ(single.DeniedProcesses(), 1u);
    EXPECT_TRUE(single.Entries().empty());
}

// A front end that records what the search tells it.
class CountingList : public ResultList, public DroppedFiles, public WaitCursor {
public:
    void Clear() override {}
    void Repaint() override {}
    void Append(const char*, const Finding& finding) override { pids.push_back(finding.pid); }
    void ProcessesNotExamined(uint32_t count) override { counts.push_back(count); }
    uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override {
        static const char kName[] = "file.txt";
        if (index != 0) return 0;
        if (buffer != nullptr) std::snprintf(buffer, size, "%s", kName);
        return sizeof kName - 1;
    }
    void Begin() override {}
    void End() override {}

    std::vector<uint32_t> pids;
    std::vector<uint32_t> counts;
};

TEST_F(NotExaminedTest, TheSearchTellsTheFrontEndOnce) {
    CountingList front;
    EXPECT_EQ(HandleDrop(front, front, front), DropEnd::Finished);
    EXPECT_EQ(front.counts, std::vector<uint32_t>{2});
    EXPECT_EQ(front.pids, (std::vector<uint32_t>{8, 11}));
}

TEST_F(NotExaminedTest, WhenEveryProcessRefusesTheFrontEndLearnsWhyNothingWasFound) {
    for (uint32_t pid : {8u, 10u, 11u}) sim::FindProcess(pid)->DenyOpen();
    CountingList front;
    EXPECT_EQ(HandleDrop(front, front, front), DropEnd::Stopped);
    EXPECT_EQ(m_diagnostics.Text(), "DragDrop\nNo module information\n");
    EXPECT_EQ(front.counts, std::vector<uint32_t>{5});
}

TEST_F(NotExaminedTest, NothingIsToldWhenTheModuleListCannotLoad) {
    sim::Set().psapiLoadFails = true;
    CountingList front;
    EXPECT_EQ(HandleDrop(front, front, front), DropEnd::Stopped);
    EXPECT_TRUE(front.counts.empty());
}

TEST_F(NotExaminedTest, NoticeNamesTheCountAndWhatToDo) {
    EXPECT_EQ(NotExaminedNotice(0), "");
    EXPECT_EQ(NotExaminedNotice(1),
              "fencat: 1 process could not be examined (access denied); run fencat as root or administrator to "
              "include other users' processes.\n");
    EXPECT_EQ(NotExaminedNotice(3).compare(0, 50, "fencat: 3 processes could not be examined (access "), 0)
        << NotExaminedNotice(3);
    // Root is not told to become root: it is told which.
    SearchReport report;
    report.privileged = true;
    report.refused = 7;
    report.someRefused = {1, 17, 42, 50, 61};
    report.hidden = "/proc hides some.";
    EXPECT_EQ(NotExaminedNotice(report),
              "fencat: 7 processes could not be examined (access denied, even to root): 1 17 42 50 61 and 2 more.\n"
              "fencat: /proc hides some.\n");
    report.refused = 1;
    report.someRefused = {1};
    EXPECT_EQ(NotExaminedNotice(report).substr(0, 74),
              "fencat: 1 process could not be examined (access denied, even to root): 1.\n");
}

// fencat itself, on names (which reach the search unchanged).
struct CommandRun {
    int status;
    std::string out;
    std::string err;
};

// `answers` is what -i reads.
CommandRun RunFencat(const std::vector<std::string>& args, const std::string& answers = "") {
    Options options;
    std::string error;
    EXPECT_TRUE(ParseCommandLine(args, options, error)) << error;
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    FILE* in = std::tmpfile();
    std::fputs(answers.c_str(), in);
    std::rewind(in);
    CommandRun run{RunSearches(options, out, err, in), Contents(out), Contents(err)};
    SetDiagnosticStream(nullptr);
    std::fclose(out);
    std::fclose(err);
    std::fclose(in);
    return run;
}

TEST_F(NotExaminedTest, FencatSaysSoOnceAfterItsSearches) {
    CommandRun run = RunFencat({"--name", "file.txt", "--name", "other.txt"});
    EXPECT_EQ(run.status, 0);
    const std::string notice = NotExaminedNotice(2);
    ASSERT_GE(run.err.size(), notice.size());
    EXPECT_EQ(run.err.substr(run.err.size() - notice.size()), notice) << run.err;
    EXPECT_EQ(run.err.find("could not be examined"), run.err.size() - notice.size() + notice.find("could not"));
    EXPECT_EQ(run.out.find("could not"), std::string::npos);
}

TEST_F(NotExaminedTest, FencatSaysNothingWhenEveryProcessWasExamined) {
    sim::FindProcess(4)->openDenied = false;
    sim::FindProcess(9)->openDenied = false;
    CommandRun run = RunFencat({"--name", "file.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.find("could not be examined"), std::string::npos) << run.err;
}

TEST_F(NotExaminedTest, AWaitCallsTheFilesFreeOnlyWhenItSawEveryProcess) {
    // Free of those it could see, but two would not be seen: exit 3.
    CommandRun among = RunFencat({"--wait=0", "--name", "free.txt"});
    EXPECT_EQ(among.status, 3) << among.err;
    EXPECT_NE(among.err.find(NotExaminedNotice(2)), std::string::npos) << among.err;
    EXPECT_EQ(RunFencat({"--wait=0", "--name", "file.txt"}).status, 1);
    sim::FindProcess(4)->openDenied = false;
    sim::FindProcess(9)->openDenied = false;
    EXPECT_EQ(RunFencat({"--wait=0", "--name", "free.txt"}).status, 0);
}

TEST_F(NotExaminedTest, KillEndsWhatTheSearchHeldAndAsksOncePerProcess) {
    // 8 holds the file twice; an empty answer is no.
    sim::FindProcess(8)->Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    CommandRun run = RunFencat({"-k", "-i", "--name", "file.txt"}, "y\n\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "fencat: send KILL to 8 (a.exe)? [y/N] fencat: send KILL to 11 (h.exe)? [y/N] " +
                           NotExaminedNotice(2));
    EXPECT_TRUE(sim::FindProcess(8)->ended);
    EXPECT_FALSE(sim::FindProcess(11)->ended);
    EXPECT_EQ(sim::Log().terminateProcessCalls, 1u);
}

TEST_F(NotExaminedTest, FencatTellsTheLargestCountOfItsSearches) {
    // Listed only while the first search takes its module list: the second
    // search meets one refusal fewer.
    sim::AddProcess(12, u"brief.exe").DenyOpen().ExitsAfterListings(1);
    CommandRun run = RunFencat({"--name", "file.txt", "--name", "file.txt"});
    EXPECT_NE(run.err.find(NotExaminedNotice(3)), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("could not be examined"), run.err.rfind("could not be examined"));
}

}  // namespace
