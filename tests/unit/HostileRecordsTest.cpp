// Records that no well-behaved system writes: pointers and lengths that
// lead out of the buffer the code was given, counts larger than the rows
// present, offsets that run past the end. Whatever a record says, the code
// reads only inside its buffer (the sanitizer build sees any stray read).
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "SimFixture.h"
#include "windows/sysinfo/DevicePaths.h"
#include "windows/sysinfo/HandleNames.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemHandlesInformation.h"
#include "windows/sysinfo/SystemProcessesInformation.h"
#include "windows/sysinfo/Text.h"

namespace {

constexpr uint32_t kOwn = sim::kDefaultOwnPid;

template <typename T>
void Put(std::vector<unsigned char>& bytes, size_t at, const T& value) {
    ASSERT_LE(at + sizeof value, bytes.size());
    std::memcpy(&bytes[at], &value, sizeof value);
}

// A process table written byte by byte.
class RawProcessTable {
public:
    static constexpr size_t kNameField = offsetof(os::SYSTEM_PROCESS_INFORMATION, ImageName);
    static constexpr size_t kBufferField = kNameField + offsetof(os::UNICODE_STRING, Buffer);

    void Record(size_t at, uint32_t pid, os::ULONG next) {
        os::SYSTEM_PROCESS_INFORMATION record;
        std::memset(&record, 0, sizeof record);
        record.NextEntryOffset = next;
        record.UniqueProcessId = reinterpret_cast<os::HANDLE>(static_cast<uintptr_t>(pid));
        Put(bytes, at, record);
    }
    // The record at `at` gets a name of `length` and `capacity` bytes whose
    // characters stand at `nameAt` of the buffer (which may lie outside it).
    void Name(size_t at, int64_t nameAt, os::USHORT length, os::USHORT capacity) {
        Put(bytes, at + kNameField, length);
        Put(bytes, at + kNameField + sizeof(os::USHORT), capacity);
        pointers.push_back(sim::RawAnswer::Pointer{at + kBufferField, nameAt});
    }
    void Characters(size_t at, const std::u16string& text) {
        for (size_t i = 0; i <= text.size(); ++i) Put(bytes, at + 2 * i, i < text.size() ? text[i] : u'\0');
    }
    void Answer() {
        sim::RawAnswer answer;
        answer.bytes = bytes;
        answer.returnLength = static_cast<os::ULONG>(bytes.size());
        answer.pointers = pointers;
        sim::Set().processTableAnswers = {answer};
    }

    std::vector<unsigned char> bytes = std::vector<unsigned char>(4096, 0);
    std::vector<sim::RawAnswer::Pointer> pointers;
};

// The records that the walk reached.
std::set<uint32_t> Pids(const SystemProcessesInformation& snapshot) {
    std::set<uint32_t> pids;
    for (PidIndex::Position pos = snapshot.Index().GetStartPosition(); pos != 0;) {
        uint32_t pid;
        const ProcessEntry* entry;
        snapshot.Index().GetNextAssoc(pos, pid, entry);
        pids.insert(pid);
    }
    return pids;
}

// What the search shows as the process's name.
Text NameOf(const SystemProcessesInformation& snapshot, uint32_t pid) {
    const ProcessEntry* entry = nullptr;
    if (!snapshot.Lookup(pid, entry)) return "<missing>";
    Text name = "old";
    UnicodeStringToText(&entry->ImageName, name);
    return name;
}

using HostileProcessTableTest = SimTest;

TEST_F(HostileProcessTableTest, NamesThatLeadOutOfTheBufferAreNoNames) {
    const int64_t kBufferSize = static_cast<int64_t>(SystemProcessesInformation::kInitialBufferSize);
    struct Case {
        const char* what;
        int64_t nameAt;
        os::USHORT length, capacity;
    } cases[] = {
        {"before the buffer", -0x1000, 10, 12},
        {"just before the buffer", -2, 10, 12},
        {"beyond its end", kBufferSize + 0x1000, 10, 12},
        {"running past its end", kBufferSize - 8, 10, 12},
        {"capacity running past its end", kBufferSize - 12, 10, 0xFFFF},
        {"misaligned", 0x101, 10, 12},
    };
    // Each with a name inside the buffer beside it, which is read.
    for (const Case& c : cases) {
        sim::Reset();
        RawProcessTable table;
        table.Record(0, 8, 0x200);
        table.Name(0, c.nameAt, c.length, c.capacity);
        table.Record(0x200, 9, 0);
        table.Name(0x200, 0x300, 10, 12);
        table.Characters(0x300, u"b.exe");
        table.Answer();
        SystemProcessesInformation snapshot(true);
        EXPECT_EQ(Pids(snapshot), (std::set<uint32_t>{8, 9})) << c.what;
        EXPECT_EQ(NameOf(snapshot, 8), "") << c.what;
        EXPECT_EQ(NameOf(snapshot, 9), "b.exe") << c.what;
    }
}

TEST_F(HostileProcessTableTest, NameAtAnAddressNoBufferHasIsNoName) {
    RawProcessTable table;
    table.Record(0, 8, 0);
    Put(table.bytes, RawProcessTable::kNameField, os::USHORT{10});
    Put(table.bytes, RawProcessTable::kNameField + 2, os::USHORT{12});
    Put(table.bytes, RawProcessTable::kBufferField, reinterpret_cast<os::PWSTR>(static_cast<uintptr_t>(0x41414140)));
    table.Answer();
    SystemProcessesInformation snapshot(true);
    EXPECT_EQ(NameOf(snapshot, 8), "");
}

TEST_F(HostileProcessTableTest, OffsetsThatRunPastTheEndOrStandMisalignedEndTheWalk) {
    const os::ULONG kBufferSize = static_cast<os::ULONG>(SystemProcessesInformation::kInitialBufferSize);
    struct Case {
        const char* what;
        os::ULONG next;
    } cases[] = {
        {"past the end", kBufferSize},
        {"so far that it wraps a 32-bit offset back to the first record", 0xFFFFFF00u},
        {"leaving no room for a whole record", kBufferSize - 0x100 - 8},
        {"misaligned", 0x101},
    };
    for (const Case& c : cases) {
        sim::Reset();
        RawProcessTable table;
        table.Record(0, 8, 0x100);
        table.Record(0x100, 9, c.next);
        table.Answer();
        SystemProcessesInformation snapshot(true);
        EXPECT_EQ(Pids(snapshot), (std::set<uint32_t>{8, 9})) << c.what;
    }
}

TEST_F(HostileProcessTableTest, RecordsPackedAtTwoByteBoundariesAreWalked) {
    // As Wine writes them: each record right after the previous one's
    // threads and name, at an even offset that is no multiple of 4 or 8.
    const os::ULONG first = static_cast<os::ULONG>(sizeof(os::SYSTEM_PROCESS_INFORMATION)) + 2;
    const os::ULONG second = first + 8;
    RawProcessTable table;
    table.Record(0, 8, first);
    table.Record(first, 9, second);
    table.Name(first, 0x600, 10, 12);
    table.Characters(0x600, u"b.exe");
    table.Record(first + second, 10, 0);
    table.Answer();
    SystemProcessesInformation snapshot(true);
    EXPECT_EQ(Pids(snapshot), (std::set<uint32_t>{8, 9, 10}));
    EXPECT_EQ(NameOf(snapshot, 9), "b.exe");
    // A second reading starts afresh.
    table.Answer();
    ASSERT_TRUE(snapshot.Refresh());
    EXPECT_EQ(Pids(snapshot), (std::set<uint32_t>{8, 9, 10}));
    EXPECT_EQ(NameOf(snapshot, 9), "b.exe");
}

TEST_F(HostileProcessTableTest, RecordsThatOverlapEndTheWalk) {
    // The second record begins inside the first, where forgetting its
    // faulty name would write over part of the first one's name pointer.
    RawProcessTable table;
    table.Record(0, 8, 8);
    table.Name(0, 0x100, 10, 12);
    table.Characters(0x100, u"a.exe");
    Put(table.bytes, 8 + RawProcessTable::kBufferField, reinterpret_cast<os::PWSTR>(static_cast<uintptr_t>(0x41414140)));
    table.Answer();
    SystemProcessesInformation snapshot(true);
    ASSERT_EQ(snapshot.Count(), 1u);
    PidIndex::Position pos = snapshot.Index().GetStartPosition();
    uint32_t pid;
    const ProcessEntry* entry;
    snapshot.Index().GetNextAssoc(pos, pid, entry);
    EXPECT_EQ(NameOf(snapshot, pid), "a.exe");
}

TEST_F(HostileProcessTableTest, PlatformThatAlwaysWantsMoreRoomGetsNoSnapshot) {
    sim::RawAnswer tooSmall;
    tooSmall.status = os::STATUS_INFO_LENGTH_MISMATCH;
    tooSmall.returnLength = 0xFFFFFFFF;
    sim::Set().processTableAnswers = {tooSmall};
    {
        SystemProcessesInformation snapshot(false);
        EXPECT_FALSE(snapshot.Refresh());
        EXPECT_EQ(snapshot.Count(), 0u);
    }
    for (size_t size : sim::Log().allocations) EXPECT_LE(size, SystemProcessesInformation::kMaxBufferSize);
}

// A platform that answers "too small" `times` times with `needed`, then
// with a table of one process.
void TooSmallThenATable(os::ULONG needed, size_t times) {
    RawProcessTable table;
    table.Record(0, 8, 0);
    table.Answer();
    sim::RawAnswer tooSmall;
    tooSmall.status = os::STATUS_INFO_LENGTH_MISMATCH;
    tooSmall.returnLength = needed;
    auto& answers = sim::Set().processTableAnswers;
    answers.insert(answers.begin(), times, tooSmall);
}

void ExpectEveryBufferLargerThanTheLast(const char* what) {
    const auto& sizes = sim::Log().allocations;
    for (size_t i = 1; i < sizes.size(); ++i) EXPECT_GT(sizes[i], sizes[i - 1]) << what << " " << i;
    for (size_t size : sizes) EXPECT_LE(size, SystemProcessesInformation::kMaxBufferSize) << what;
}

TEST_F(HostileProcessTableTest, SizesThatWouldWrapA32BitWordAreRefusedAtTheCap) {
    // An eighth more than these passes 4 GiB and would wrap to a size under
    // the cap, often no larger than the buffer just tried.
    for (os::ULONG needed : {0xE38E38E4u, 0xE8000000u, 0xF0000000u, 0xF1C71C71u}) {
        sim::Reset();
        TooSmallThenATable(needed, 40);
        {
            SystemProcessesInformation snapshot(false);
            EXPECT_FALSE(snapshot.Refresh()) << std::hex << needed;
        }
        ExpectEveryBufferLargerThanTheLast("wrap");
        EXPECT_EQ(sim::Log().allocations.back(), SystemProcessesInformation::kMaxBufferSize);
    }
}

TEST_F(HostileProcessTableTest, PlatformThatWantsAFewBytesMoreEachTimeIsAskedABoundedNumberOfTimes) {
    // Each answer asks for one byte more than the buffer it was given: the
    // growth never reaches the cap within the passes allowed.
    size_t buffer = SystemProcessesInformation::kInitialBufferSize;
    std::vector<sim::RawAnswer> answers;
    for (int i = 0; i < 60; ++i) {
        sim::RawAnswer tooSmall;
        tooSmall.status = os::STATUS_INFO_LENGTH_MISMATCH;
        tooSmall.returnLength = static_cast<os::ULONG>(buffer + 1);
        answers.push_back(tooSmall);
        buffer = (buffer + 1) + (buffer + 1) / 8;
    }
    sim::Set().processTableAnswers = answers;
    {
        SystemProcessesInformation snapshot(false);
        EXPECT_FALSE(snapshot.Refresh());
    }
    ExpectEveryBufferLargerThanTheLast("creeping");
    EXPECT_EQ(sim::Log().SystemQueries(os::SystemProcessInformation),
              1u + SystemProcessesInformation::kMaxRetries);
}

using HostileHandleTableTest = SimTest;

// A handle table of one row, after the first query said "too small" with
// `needed`.
void TooSmallThenOneRow(os::ULONG needed) {
    sim::RawAnswer tooSmall;
    tooSmall.status = os::STATUS_INFO_LENGTH_MISMATCH;
    tooSmall.returnLength = needed;
    sim::RawAnswer table;
    table.bytes.assign(offsetof(os::SYSTEM_HANDLE_INFORMATION, Handles) + sizeof(os::SYSTEM_HANDLE), 0);
    Put(table.bytes, 0, os::ULONG{1});
    os::SYSTEM_HANDLE row;
    std::memset(&row, 0, sizeof row);
    row.ProcessId = 500;
    row.Handle = 0x4;
    Put(table.bytes, offsetof(os::SYSTEM_HANDLE_INFORMATION, Handles), row);
    table.returnLength = static_cast<os::ULONG>(table.bytes.size());
    sim::Set().handleTableAnswers = {tooSmall, table};
}

TEST_F(HostileHandleTableTest, TablesUpToTheCapAreReadAndLargerOnesRefused) {
    const size_t cap = SystemHandlesInformation::kMaxBufferSize;
    struct Case {
        const char* what;
        os::ULONG needed;
        bool read;
    } cases[] = {
        {"just under the cap, whose margin does not fit", static_cast<os::ULONG>(cap - 64), true},
        {"the cap itself", static_cast<os::ULONG>(cap), true},
        {"just over the cap", static_cast<os::ULONG>(cap + 1), false},
        // A quarter more and the margin wrap a 32-bit size to a few bytes.
        {"where a 32-bit size wraps", 0xCCCCCCCCu, false},
        {"the largest", 0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        sim::Reset();
        TooSmallThenOneRow(c.needed);
        SystemHandlesInformation list(SystemHandlesInformation::kAllProcesses, false, nullptr);
        EXPECT_EQ(list.Refresh(), c.read) << c.what;
        EXPECT_EQ(list.Entries().size(), c.read ? 1u : 0u) << c.what;
        const auto& sizes = sim::Log().allocations;
        EXPECT_EQ(sizes.front(), SystemHandlesInformation::kFirstBufferSize) << c.what;
        if (c.read) {
            ASSERT_EQ(sizes.size(), 2u) << c.what;
            EXPECT_GE(sizes[1], c.needed) << c.what;
            EXPECT_LE(sizes[1], cap) << c.what;
        } else {
            EXPECT_EQ(sizes.size(), 1u) << c.what;
        }
    }
}

TEST_F(HostileHandleTableTest, TableThatIsAlwaysTooSmallIsAskedForSixteenTimesMore) {
    sim::RawAnswer tooSmall;
    tooSmall.status = os::STATUS_INFO_LENGTH_MISMATCH;
    tooSmall.returnLength = 100000;
    sim::Set().handleTableAnswers = {tooSmall};
    SystemHandlesInformation list(SystemHandlesInformation::kAllProcesses, false, nullptr);
    EXPECT_FALSE(list.Refresh());
    // The first query, the second, and the retries.
    EXPECT_EQ(sim::Log().SystemQueries(os::SystemHandleInformation), 2u + 16u);
}

TEST_F(HostileHandleTableTest, CountLargerThanTheRowsPresentReadsOnlyTheBuffer) {
    const size_t head = offsetof(os::SYSTEM_HANDLE_INFORMATION, Handles);
    std::vector<unsigned char> bytes(SystemHandlesInformation::kFirstBufferSize, 0);
    Put(bytes, 0, os::ULONG{0xFFFFFFFF});
    os::SYSTEM_HANDLE row;
    std::memset(&row, 0, sizeof row);
    row.ProcessId = 500;
    row.Handle = 0x4;
    Put(bytes, head, row);
    row.Handle = 0x8;
    const size_t last = (bytes.size() - head) / sizeof row - 1;
    Put(bytes, head + last * sizeof row, row);
    sim::RawAnswer answer;
    answer.bytes = bytes;
    answer.returnLength = static_cast<os::ULONG>(bytes.size());
    sim::Set().handleTableAnswers = {answer};
    SystemHandlesInformation list(SystemHandlesInformation::kAllProcesses, true, nullptr);
    ASSERT_EQ(list.Entries().size(), last + 1);
    EXPECT_EQ(list.Entries().front().Handle, 0x4);
    EXPECT_EQ(list.Entries().back().Handle, 0x8);
}

class HostileObjectRecordTest : public SimTest {
protected:
    static constexpr size_t kNameBufferField = offsetof(os::UNICODE_STRING, Buffer);

    // An object name record whose counted string says `length` and
    // `capacity`, its characters at `nameAt` of the caller's buffer.
    static std::vector<sim::RawAnswer> NameRecord(int64_t nameAt, os::USHORT length, os::USHORT capacity,
                                                  size_t size = 64) {
        sim::RawAnswer probe;
        probe.status = os::STATUS_INFO_LENGTH_MISMATCH;
        probe.returnLength = static_cast<os::ULONG>(size);
        sim::RawAnswer record;
        record.bytes.assign(size, 0);
        for (size_t at = 0; at + 1 < size; at += 2) Put(record.bytes, at, u'a');  // no terminator anywhere
        Put(record.bytes, 0, length);
        Put(record.bytes, 2, capacity);
        record.pointers.push_back(sim::RawAnswer::Pointer{kNameBufferField, nameAt});
        return {probe, record};
    }

    static std::pair<bool, Text> Named(uint16_t value) {
        Text name = "old";
        bool result = GetHandleName(HandleFromValue(value), name, kOwn);
        return {result, name};
    }
    using Named_ = std::pair<bool, Text>;
};

TEST_F(HostileObjectRecordTest, ObjectNamesAreReadOnlyInsideTheirBuffer) {
    sim::Process& own = sim::AddProcess(kOwn, u"fencat.exe");
    own.Handle(0x4, "Event").nameAnswers = NameRecord(-64, 8, 10);
    own.Handle(0x8, "Event").nameAnswers = NameRecord(4096, 8, 10);
    own.Handle(0xC, "Event").nameAnswers = NameRecord(sizeof(os::OBJECT_NAME_INFORMATION) + 1, 8, 10);
    // Length and capacity beyond the buffer: read up to its end, no further.
    own.Handle(0x10, "Event").nameAnswers = NameRecord(sizeof(os::OBJECT_NAME_INFORMATION), 0xFFFE, 0xFFFF);
    EXPECT_EQ(Named(0x4), Named_(true, ""));
    EXPECT_EQ(Named(0x8), Named_(true, ""));
    EXPECT_EQ(Named(0xC), Named_(true, ""));  // misaligned characters
    const size_t room = 64 - sizeof(os::OBJECT_NAME_INFORMATION);
    EXPECT_EQ(Named(0x10), Named_(true, Text(room / 2, 'a')));
}

TEST_F(HostileObjectRecordTest, NameProbeThatAsksForGigabytesIsNotBelieved) {
    std::vector<sim::RawAnswer> answers = NameRecord(sizeof(os::OBJECT_NAME_INFORMATION), 8, 10);
    answers[0].returnLength = 0xFFFFFFFF;
    Put(answers[1].bytes, sizeof(os::OBJECT_NAME_INFORMATION) + 8, u'\0');
    sim::AddProcess(kOwn, u"fencat.exe").Handle(0x4, "Event").nameAnswers = answers;
    EXPECT_EQ(Named(0x4), Named_(true, "aaaa"));
    ASSERT_EQ(sim::Log().ObjectQueries(os::ObjectNameInformation), 2u);
    EXPECT_EQ(sim::Log().objectQueries.back().length, sizeof(os::OBJECT_NAME_INFORMATION) + 0x10000);
}

TEST_F(HostileObjectRecordTest, TypeProbeThatAsksForGigabytesIsNotBelieved) {
    sim::RawAnswer probe;
    probe.status = os::STATUS_INFO_LENGTH_MISMATCH;
    probe.returnLength = 0xFFFFFFFF;
    sim::RawAnswer record;
    record.bytes.assign(sizeof(os::OBJECT_TYPE_INFORMATION) + 10, 0);
    const char16_t type[] = u"File";
    std::memcpy(&record.bytes[sizeof(os::OBJECT_TYPE_INFORMATION)], type, sizeof type);
    sim::AddProcess(kOwn, u"fencat.exe").Handle(0x4, "Event").typeAnswers = {probe, record};
    Text typeName;
    EXPECT_TRUE(GetHandleTypeName(HandleFromValue(0x4), typeName, kOwn));
    EXPECT_EQ(typeName, "File");
    ASSERT_EQ(sim::Log().objectQueries.size(), 2u);
    EXPECT_LE(sim::Log().objectQueries[1].length, sizeof(os::OBJECT_TYPE_INFORMATION) + 0x10000);
}

TEST_F(HostileObjectRecordTest, FileNameLengthBeyondItsBufferIsCut) {
    sim::RawAnswer record;
    record.bytes.assign(kFileNameBufferSize, 0);
    Put(record.bytes, 0, os::ULONG{0xFFFFFFF0});
    for (size_t at = 4; at < record.bytes.size(); at += 2) Put(record.bytes, at, u'a');
    sim::HandleRow& row = sim::AddProcess(kOwn, u"fencat.exe").Handle(0x4, "File");
    row.fileAnswers = {record};
    row.NameQueryFails();
    Text name = "old";
    EXPECT_TRUE(GetFileNameWithTimeout(HandleFromValue(0x4), name, kOwn));
    EXPECT_EQ(name, Text((kFileNameBufferSize - 4) / 2, 'a'));
}

using HostileDevicePathTest = SimTest;

TEST_F(HostileDevicePathTest, EmptyPathIsReadNoFurtherThanItsTerminator) {
    // Alone on the heap, so that the sanitizer sees a read of a second byte.
    std::unique_ptr<char[]> empty(new char[1]{'\0'});
    Text device = "old";
    EXPECT_FALSE(GetDeviceFileName(empty.get(), device));
    EXPECT_EQ(device, "old");
    std::unique_ptr<char[]> one(new char[2]{'C', '\0'});
    EXPECT_FALSE(GetDeviceFileName(one.get(), device));
}

TEST_F(HostileDevicePathTest, RedirectorNumbersOfAnyLengthAreScannedLikeDecimals) {
    auto& drives = sim::Set().dosDevices;
    drives["Z:"] = "\\Device\\LanmanRedirector\\;Z:" + std::string(40, '9') + "\\server\\share";
    drives["Y:"] = "\\Device\\LanmanRedirector\\;Y: \t-12\\srv\\share";
    drives["X:"] = "\\Device\\LanmanRedirector\\;X:\\srv\\share";  // no number
    drives["W:"] = "\\Device\\LanmanRedirector\\;W";                // cut short
    drives["V:"] = "\\Device\\LanmanRedirector\\;";
    Text device = "old";
    EXPECT_TRUE(GetDeviceFileName("Z:\\f.txt", device));
    EXPECT_EQ(device, "\\Device\\LanmanRedirector\\server\\share\\f.txt");
    EXPECT_TRUE(GetDeviceFileName("Y:\\f.txt", device));
    EXPECT_EQ(device, "\\Device\\LanmanRedirector\\srv\\share\\f.txt");
    for (const char* path : {"X:\\f.txt", "W:\\f.txt", "V:\\f.txt"}) {
        device = "old";
        EXPECT_FALSE(GetDeviceFileName(path, device)) << path;
        EXPECT_EQ(device, "old") << path;
    }
}

}  // namespace
