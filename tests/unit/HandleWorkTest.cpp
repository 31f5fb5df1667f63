#include <algorithm>
#include <chrono>
#include <thread>

#include "SimFixture.h"
#include "windows/sysinfo/DevicePaths.h"
#include "windows/sysinfo/HandleNames.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemHandlesInformation.h"

namespace {

constexpr uint32_t kOwn = sim::kDefaultOwnPid;
const std::u16string kFilePath = u"\\Device\\HarddiskVolume1\\dir\\file.txt";

using Rows = std::vector<std::pair<uint32_t, unsigned>>;

Rows RowsOf(const SystemHandlesInformation& list) {
    Rows rows;
    for (const HandleEntry& entry : list.Entries()) rows.emplace_back(entry.ProcessId, entry.Handle);
    return rows;
}

Rows Listed(uint32_t owner, const char* type, bool expected = true) {
    SystemHandlesInformation list(owner, false, nullptr);
    EXPECT_EQ(list.SetTypeFilter(type, true), expected);
    return RowsOf(list);
}

std::vector<uint32_t> OpenedPids() {
    std::vector<uint32_t> pids;
    for (const auto& open : sim::Log().opens) pids.push_back(open.pid);
    return pids;
}

void AddManyRows(uint32_t pid, unsigned count) {
    sim::Process& process = sim::AddProcess(pid, u"busy.exe");
    for (unsigned i = 1; i <= count; ++i) process.Handle(static_cast<uint16_t>(4 * i), "Event");
}

using HandleListTest = SimTest;

TEST_F(HandleListTest, OwnerAndTypeFiltersSelectRowsInTableOrder) {
    sim::AddProcess(kOwn, u"fencat.exe").Handle(0x4, "File", kFilePath);
    sim::FindProcess(kOwn)->Handle(0x8, "Event");
    sim::AddProcess(500, u"a.exe").Handle(0x4, "File", kFilePath).Flags(2);
    sim::FindProcess(500)->Handle(0x8, "Key");
    sim::AddProcess(600, u"b.exe").Handle(0xC, "File", kFilePath);

    SystemHandlesInformation all(SystemHandlesInformation::kAllProcesses, true, nullptr);
    EXPECT_EQ(RowsOf(all), (Rows{{kOwn, 4}, {kOwn, 8}, {500, 4}, {500, 8}, {600, 0xC}}));
    EXPECT_EQ(sim::Log().ObjectQueries(os::ObjectTypeInformation), 0u);
    // A stored row is the platform's row with its flags cleared.
    const sim::HandleRow& row = *sim::FindProcess(500)->handles[0];
    const HandleEntry& entry = all.Entries()[2];
    EXPECT_EQ(entry.Flags, 0);
    EXPECT_EQ(entry.ObjectTypeNumber, row.typeNumber);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(entry.Object), row.object);
    EXPECT_EQ(entry.GrantedAccess, row.access);

    EXPECT_EQ(Listed(500, nullptr), (Rows{{500, 4}, {500, 8}}));
    EXPECT_EQ(Listed(SystemHandlesInformation::kAllProcesses, "File"), (Rows{{kOwn, 4}, {500, 4}, {600, 0xC}}));
    // Rows of this process are asked about directly; others once each.
    EXPECT_EQ(OpenedPids(), (std::vector<uint32_t>{500, 500, 600}));
    EXPECT_EQ(Listed(SystemHandlesInformation::kAllProcesses, "file"), Rows());
}

TEST_F(HandleListTest, EveryRefreshStartsAfresh) {
    EXPECT_EQ(Listed(SystemHandlesInformation::kAllProcesses, nullptr), Rows());
    sim::AddProcess(500, u"a.exe").Handle(0x4, "File", kFilePath);
    SystemHandlesInformation list(SystemHandlesInformation::kAllProcesses, true, nullptr);
    sim::FindProcess(500)->Handle(0x8, "File", kFilePath);
    size_t queries = sim::Log().systemQueries.size();
    EXPECT_TRUE(list.Refresh());
    EXPECT_EQ(RowsOf(list), (Rows{{500, 4}, {500, 8}}));
    // A first query that succeeds is followed by a second into the same buffer.
    ASSERT_EQ(sim::Log().systemQueries.size(), queries + 2);
    EXPECT_EQ(sim::Log().systemQueries[queries].length, 8192u);
    EXPECT_EQ(sim::Log().systemQueries[queries + 1].length, 8192u);
    EXPECT_EQ(sim::Log().allocations.back(), 8192u);

    sim::Set().handleQuery = sim::FailFrom(os::STATUS_ACCESS_DENIED);
    EXPECT_FALSE(list.Refresh());
    EXPECT_TRUE(list.Entries().empty());
}

TEST_F(HandleListTest, FailuresLeaveTheListEmpty) {
    struct Case {
        const char* what;
        void (*setup)();
        unsigned queries;
    } cases[] = {
        {"too small, no size", [] { sim::Set().handleNeededZero = true; }, 1},
        {"second query fails", [] { sim::Set().handleQuery = sim::FailFrom(os::STATUS_ACCESS_DENIED, 2); }, 2},
        {"no memory", [] { sim::Set().virtualAlloc = sim::FailFrom(0); }, 0},
        {"no larger buffer", [] { sim::Set().virtualAlloc = sim::FailFrom(0, 2); }, 1},
    };
    for (const Case& c : cases) {
        sim::Reset();
        AddManyRows(500, 600);  // more than the first 8192 bytes hold
        c.setup();
        EXPECT_EQ(Listed(SystemHandlesInformation::kAllProcesses, nullptr, false), Rows()) << c.what;
        EXPECT_EQ(sim::Log().SystemQueries(os::SystemExtendedHandleInformation), c.queries) << c.what;
    }
}

TEST_F(HandleListTest, TableThatGrowsBetweenQueriesIsStillRead) {
    AddManyRows(500, 600);
    sim::Set().handleTableGrowth = 500;  // more than any fixed slack
    SystemHandlesInformation list(SystemHandlesInformation::kAllProcesses, true, nullptr);
    EXPECT_GT(list.Entries().size(), 1100u);
    EXPECT_GT(sim::Log().SystemQueries(os::SystemExtendedHandleInformation), 2u);
}

TEST_F(HandleListTest, RowsWhoseTypeCannotBeReadAreLeftOut) {
    sim::AddProcess(500, u"a.exe").Handle(0x4, "File", kFilePath).TypeQueryFails();
    sim::FindProcess(500)->Handle(0x8, "File", kFilePath).DuplicationFails();
    sim::FindProcess(500)->Handle(0xC, "File", kFilePath);
    sim::AddProcess(600, u"locked.exe").DenyOpen().Handle(0x4, "File", kFilePath);
    EXPECT_EQ(Listed(SystemHandlesInformation::kAllProcesses, "File"), (Rows{{500, 0xC}}));
}

TEST_F(HandleListTest, TypeNumbersComeFromTheFixedTable) {
    uint16_t number = 99;
    EXPECT_TRUE(LookupObjectTypeNumber("File", number));
    EXPECT_EQ(number, 26);
    EXPECT_TRUE(LookupObjectTypeNumber("Unknown7", number));
    EXPECT_EQ(number, 7);
    EXPECT_TRUE(LookupObjectTypeNumber("", number));  // entry 1 is empty, and the search starts there
    EXPECT_EQ(number, 1);
    EXPECT_FALSE(LookupObjectTypeNumber("file", number));
    EXPECT_EQ(number, 0);
    sim::AddProcess(kOwn, u"fencat.exe").Handle(0x4, "Thread");
    sim::FindProcess(kOwn)->Handle(0x8, "Bogus");
    EXPECT_TRUE(GetHandleTypeNumber(HandleFromValue(0x4), number, kOwn));
    EXPECT_EQ(number, 6);
    EXPECT_FALSE(GetHandleTypeNumber(HandleFromValue(0x8), number, kOwn));
    EXPECT_EQ(number, 0);
}

class HandleNameTest : public SimTest {
protected:
    // The name GetHandleName gives, starting from "old".
    static std::pair<bool, Text> Named(uint16_t value, uint32_t owner = kOwn) {
        Text name = "old";
        bool result = GetHandleName(HandleFromValue(value), name, owner);
        return {result, name};
    }
    using Named_ = std::pair<bool, Text>;
};

TEST_F(HandleNameTest, ProcessAndThreadHandlesAreNamedByTheIdTheyReferTo) {
    sim::Process& own = sim::AddProcess(kOwn, u"fencat.exe");
    own.Handle(0x4, "Process").Target(1234);
    own.Handle(0x8, "Thread").Target(0xABC);
    own.Handle(0xC, "Process").Target(1234).IdQueryFails();
    own.Handle(0x10, "Thread").Target(0xABC).IdQueryFails();
    sim::AddProcess(500, u"a.exe").Handle(0x4, "Process").Target(8);
    EXPECT_EQ(Named(0x4), Named_(true, "PID: 0x4D2"));
    EXPECT_EQ(Named(0x8), Named_(true, "TID: 0xABC"));
    EXPECT_EQ(Named(0xC), Named_(true, "PID: 0x0"));
    EXPECT_EQ(Named(0x10), Named_(true, "TID: 0x0"));
    EXPECT_TRUE(sim::Log().closes.empty());
    EXPECT_EQ(Named(0x4, 500), Named_(true, "PID: 0x8"));
    EXPECT_EQ(sim::Log().closes.size(), 4u);  // owner and copy, for the type and for the name
}

TEST_F(HandleNameTest, FileHandlesAreNamedAfterTheirFileNameAnswers) {
    sim::Process& own = sim::AddProcess(kOwn, u"fencat.exe");
    own.Handle(0x4, "File", kFilePath);
    own.Handle(0x8, "File", kFilePath).NameQueryFails();
    own.Handle(0xC, "File", kFilePath).FileNameFails();
    own.Handle(0x10, "File", kFilePath).FileNameFails().NameQueryFails();
    own.Handle(0x14, "File", kFilePath).FileNameEmpty();
    EXPECT_EQ(Named(0x4), Named_(true, "\\Device\\HarddiskVolume1\\dir\\file.txt"));
    EXPECT_EQ(Named(0x8), Named_(true, "\\dir\\file.txt"));
    EXPECT_EQ(Named(0xC), Named_(true, "\\Device\\HarddiskVolume1\\dir\\file.txt"));
    EXPECT_EQ(Named(0x10), Named_(false, "old"));
    unsigned nameQueries = sim::Log().ObjectQueries(os::ObjectNameInformation);
    EXPECT_EQ(Named(0x14), Named_(true, ""));
    EXPECT_EQ(sim::Log().ObjectQueries(os::ObjectNameInformation), nameQueries);
    sim::AddProcess(500, u"a.exe").Handle(0x4, "File", kFilePath);
    EXPECT_EQ(Named(0x4, 500), Named_(true, "\\Device\\HarddiskVolume1\\dir\\file.txt"));
}

TEST_F(HandleNameTest, OtherHandlesAreNamedByTheirObjectName) {
    sim::Process& own = sim::AddProcess(kOwn, u"fencat.exe");
    own.Handle(0x4, "Event", u"\\BaseNamedObjects\\ready").NameProbeReportsZero();
    own.Handle(0x8, "Key");
    own.Handle(0xC, "Bogus", u"\\x");
    own.Handle(0x10, "Event", u"\\x").TypeQueryFails();
    own.Handle(0x14, "Event", u"\\x").NameQueryFails();
    EXPECT_EQ(Named(0x4), Named_(true, "\\BaseNamedObjects\\ready"));
    // A probe that reports no size leads to an 8192-byte buffer.
    EXPECT_EQ(sim::Log().objectQueries.back().length, 8192u);
    EXPECT_EQ(Named(0x8), Named_(true, ""));
    EXPECT_EQ(Named(0xC), Named_(false, "old"));
    EXPECT_EQ(Named(0x10), Named_(false, "old"));
    EXPECT_EQ(Named(0x14), Named_(false, "old"));
    EXPECT_EQ(sim::Log().fileNameQueries, 0u);
}

TEST_F(HandleNameTest, FileNameQueryThatDoesNotAnswerGivesTheEmptyName) {
    sim::Set().terminateThreadWorks = true;
    sim::AddProcess(kOwn, u"fencat.exe").Handle(0x4, "File", u"\\Device\\NamedPipe\\busy").FileNameBlocks();
    sim::FindProcess(kOwn)->Handle(0x8, "File", kFilePath);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Named(0x4), Named_(true, ""));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(sim::Log().ObjectQueries(os::ObjectNameInformation), 0u);
    EXPECT_EQ(sim::Log().terminateCalls, 1u);
    const auto& waits = sim::Log().waitTimeouts;
    EXPECT_NE(std::find(waits.begin(), waits.end(), 100u), waits.end());
    // The next file handle gets a worker of its own.
    EXPECT_EQ(Named(0x8), Named_(true, "\\Device\\HarddiskVolume1\\dir\\file.txt"));
}

TEST_F(HandleNameTest, WorkerThatCannotBeStoppedIsLeftToEndByItself) {
    sim::AddProcess(kOwn, u"fencat.exe").Handle(0x4, "File", u"\\Device\\NamedPipe\\busy").FileNameBlocks();
    sim::FindProcess(kOwn)->Handle(0x8, "File", kFilePath);
    EXPECT_EQ(Named(0x4), Named_(true, ""));
    EXPECT_EQ(sim::Log().terminateCalls, 1u);
    // Once its query returns, the given-up worker releases what it had.
    sim::ReleaseBlockedQueries();
    unsigned eventsClosed = 0;
    for (int i = 0; i < 500 && eventsClosed < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        eventsClosed = 0;
        for (const auto& close : sim::LogCopy().closes) eventsClosed += close.what == "event" ? 1 : 0;
    }
    EXPECT_EQ(eventsClosed, 2u);
    // Without a worker the file handle is not tried at all, and the object
    // name, which might block as well, is not asked for either.
    sim::Set().createThreadFails = true;
    EXPECT_EQ(Named(0x8), Named_(false, "old"));
    EXPECT_EQ(sim::Log().ObjectQueries(os::ObjectNameInformation), 0u);
}

// The tests below need a worker that has yet to start: a query that does
// not answer costs the current one its thread.
class NewWorkerTest : public HandleNameTest {
protected:
    void SetUp() override {
        HandleNameTest::SetUp();
        sim::Set().terminateThreadWorks = true;
        sim::Process& own = sim::AddProcess(kOwn, u"fencat.exe");
        own.Handle(0x4, "File", u"\\Device\\NamedPipe\\busy").FileNameBlocks();
        own.Handle(0x8, "File", kFilePath);
        ASSERT_EQ(Named(0x4), Named_(true, ""));
        m_threads = sim::Log().threadsCreated;
    }
    unsigned m_threads = 0;
};

TEST_F(NewWorkerTest, IsGivenNoQueryBeforeItRuns) {
    // A start slower than the watchdog: the watchdog must not stop it there.
    sim::Set().threadStartDelayMs = 3 * kFileNameTimeoutMs;
    EXPECT_EQ(Named(0x8), Named_(true, "\\Device\\HarddiskVolume1\\dir\\file.txt"));
    EXPECT_EQ(sim::Log().terminateCalls, 1u);
}

TEST_F(NewWorkerTest, ThatHasNotStartedInTimeIsWaitedForAgainAndNeverStopped) {
    // A shorter limit than the product's: the start misses the first wait
    // and makes the second.
    struct ShortStartLimit {
        ShortStartLimit() { SetWorkerStartTimeoutMs(400); }
        ~ShortStartLimit() { SetWorkerStartTimeoutMs(kWorkerStartTimeoutMs); }
    } shortLimit;
    sim::Set().threadStartDelayMs = WorkerStartTimeoutMs() + 200;
    const unsigned fileQueries = sim::Log().fileNameQueries;
    // Passed over, untried: not even the object name is asked for.
    EXPECT_EQ(Named(0x8), Named_(false, "old"));
    EXPECT_EQ(sim::Log().fileNameQueries, fileQueries);
    EXPECT_EQ(sim::Log().ObjectQueries(os::ObjectNameInformation), 0u);
    EXPECT_EQ(Named(0x8), Named_(true, "\\Device\\HarddiskVolume1\\dir\\file.txt"));
    EXPECT_EQ(sim::Log().threadsCreated, m_threads + 1);
    EXPECT_EQ(sim::Log().terminateCalls, 1u);
}

TEST_F(HandleNameTest, StoppedWorkerThatHasNotEndedKeepsItsRecordAndHoldsTheSearchUpBriefly) {
    sim::Set().terminateThreadWorks = true;
    sim::Set().terminationIsLate = true;
    sim::AddProcess(kOwn, u"fencat.exe").Handle(0x4, "File", u"\\Device\\NamedPipe\\busy").FileNameBlocks();
    EXPECT_EQ(Named(0x4), Named_(true, ""));
    EXPECT_EQ(sim::Log().terminateCalls, 1u);
    // The last wait is the one for the stopped thread.
    ASSERT_FALSE(sim::Log().waitTimeouts.empty());
    EXPECT_LE(sim::Log().waitTimeouts.back(), kFileNameTimeoutMs);
    // It may still write to its record: its events stay open.
    for (const auto& close : sim::LogCopy().closes) EXPECT_NE(close.what, "event");
    sim::ReleaseBlockedQueries();
}

using DevicePathTest = SimTest;

TEST_F(DevicePathTest, DrivePathsBecomeDevicePaths) {
    auto& drives = sim::Set().dosDevices;
    drives["Z:"] = "\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share";
    drives["Y:"] = "\\device\\lanmanredirector\\;Y:0000000000012345\\srv\\my share";
    drives["X:"] = "\\Device\\LanmanRedirector\\;X:00AB\\srv\\share";
    drives["W:"] = "\\Device\\LanmanRedirector\\";
    struct Case {
        const char* path;
        const char* device;  // null: no translation
    } cases[] = {
        {"C:\\dir\\file.txt", "\\Device\\HarddiskVolume1\\dir\\file.txt"},
        {"C:", "\\Device\\HarddiskVolume1"},
        {"Z:\\dir\\f.txt", "\\Device\\LanmanRedirector\\server\\share\\dir\\f.txt"},
        {"Y:\\f.txt", "\\Device\\LanmanRedirector\\srv\\my share\\f.txt"},
        {"X:\\f.txt", nullptr},  // the number is not decimal
        {"W:\\f.txt", nullptr},  // nothing behind the prefix
        {"Q:\\f.txt", nullptr},
        {"dir\\file.txt", nullptr},
        {"\\\\server\\share\\f.txt", nullptr},
    };
    for (const Case& c : cases) {
        Text device = "old";
        EXPECT_EQ(GetDeviceFileName(c.path, device), c.device != nullptr) << c.path;
        EXPECT_EQ(device, c.device != nullptr ? c.device : "old") << c.path;
    }
}

TEST_F(DevicePathTest, DevicePathsBecomeDrivePathsByTheLowestMatchingLetter) {
    auto& drives = sim::Set().dosDevices;
    drives["B:"] = "";
    drives["D:"] = "\\Device\\HarddiskVolume10";
    drives["E:"] = "\\Device\\HarddiskVolume1";
    drives["Z:"] = "\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share";
    struct Case {
        const char* device;
        const char* dos;
    } cases[] = {
        {"\\Device\\HarddiskVolume1\\a.txt", "C:\\a.txt"},
        {"\\DEVICE\\harddiskvolume1\\a.txt", "C:\\a.txt"},
        {"\\Device\\HarddiskVolume10\\b.txt", "D:\\b.txt"},
        {"\\Device\\LanmanRedirector\\server\\share\\c.txt", "Z:\\c.txt"},
        {"\\Device\\Floppy0\\x.txt", nullptr},
    };
    for (const Case& c : cases) {
        Text dos = "old";
        EXPECT_EQ(GetDosFileName(c.device, dos), c.dos != nullptr) << c.device;
        EXPECT_EQ(dos, c.dos != nullptr ? c.dos : "old") << c.device;
    }
}

TEST_F(DevicePathTest, DrivesWhoseRedirectorTargetCannotBeScannedArePassedOver) {
    auto& drives = sim::Set().dosDevices;
    drives["T:"] = "\\Device\\LanmanRedirector\\;T:00AB\\server\\share";  // not a decimal number
    drives["U:"] = "\\Device\\LanmanRedirector\\";                         // nothing behind the prefix
    drives["V:"] = "\\Device\\LanmanRedirector\\;V:0000000000012345\\server\\share";
    Text dos = "old";
    EXPECT_TRUE(GetDosFileName("\\Device\\LanmanRedirector\\server\\share\\f.txt", dos));
    EXPECT_EQ(dos, "V:\\f.txt");
    // Nor does a target that cannot be scanned match as it stands.
    dos = "old";
    EXPECT_FALSE(GetDosFileName("\\Device\\LanmanRedirector\\;T:00AB\\server\\share\\f.txt", dos));
    EXPECT_EQ(dos, "old");
}

}  // namespace
