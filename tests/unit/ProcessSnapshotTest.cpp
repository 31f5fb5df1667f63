#include <vector>

#include "SimFixture.h"
#include "windows/sysinfo/SystemProcessesInformation.h"
#include "windows/sysinfo/Text.h"

namespace {

using ProcessSnapshotTest = SimTest;

const ProcessEntry* Fake(uintptr_t n) { return reinterpret_cast<const ProcessEntry*>(n * 8); }

std::vector<std::pair<uint32_t, const ProcessEntry*>> Walk(const PidIndex& index) {
    std::vector<std::pair<uint32_t, const ProcessEntry*>> pairs;
    for (PidIndex::Position pos = index.GetStartPosition(); pos != 0;) {
        uint32_t pid;
        const ProcessEntry* entry;
        index.GetNextAssoc(pos, pid, entry);
        pairs.emplace_back(pid, entry);
    }
    return pairs;
}

std::vector<uint32_t> Pids(const PidIndex& index) {
    std::vector<uint32_t> pids;
    for (const auto& pair : Walk(index)) pids.push_back(pair.first);
    return pids;
}

Text NameOf(const SystemProcessesInformation& snapshot, uint32_t pid) {
    const ProcessEntry* entry = nullptr;
    if (!snapshot.Lookup(pid, entry)) return "<missing>";
    Text name;
    UnicodeStringToText(&entry->ImageName, name);
    return name;
}

TEST_F(ProcessSnapshotTest, IndexIteratesBucketsInOrderAndEachChainFromItsNewestEntry) {
    PidIndex index;
    EXPECT_EQ(index.GetStartPosition(), 0u);
    // Buckets 0, 0, 6 and 11.
    index.Insert(4, Fake(1));
    index.Insert(8, Fake(2));
    index.Insert(368, Fake(3));
    index.Insert(1000, Fake(4));
    using Pairs = std::vector<std::pair<uint32_t, const ProcessEntry*>>;
    EXPECT_EQ(Walk(index), (Pairs{{8, Fake(2)}, {4, Fake(1)}, {368, Fake(3)}, {1000, Fake(4)}}));
    // 272 lands in bucket 0 too, at the head.
    index.Insert(272, Fake(5));
    EXPECT_EQ(Pids(index), (std::vector<uint32_t>{272, 8, 4, 368, 1000}));
    EXPECT_EQ(index.Count(), 5u);
}

TEST_F(ProcessSnapshotTest, IndexReplacesInPlaceFindsAndEmpties) {
    PidIndex index;
    index.Insert(4, Fake(1));
    index.Insert(8, Fake(2));
    index.Insert(4, Fake(3));
    EXPECT_EQ(Pids(index), (std::vector<uint32_t>{8, 4}));
    EXPECT_EQ(index.Count(), 2u);
    const ProcessEntry* entry = Fake(9);
    EXPECT_TRUE(index.Find(4, entry));
    EXPECT_EQ(entry, Fake(3));
    entry = Fake(9);
    EXPECT_FALSE(index.Find(20, entry));  // same bucket as 4 and 8
    EXPECT_EQ(entry, Fake(9));
    index.Clear();
    EXPECT_EQ(index.Count(), 0u);
    EXPECT_EQ(index.GetStartPosition(), 0u);
    EXPECT_FALSE(index.Find(4, entry));
}

TEST_F(ProcessSnapshotTest, SnapshotIndexesEveryProcessInTableOrder) {
    sim::AddProcess(4, u"System");
    sim::AddProcess(8, u"smss.exe");
    sim::AddProcess(368, u"csrss.exe");
    sim::AddProcess(1000, u"explorer.exe");
    sim::AddProcess(0, nullptr);  // the idle process has no name buffer
    SystemProcessesInformation snapshot(true);
    EXPECT_EQ(Pids(snapshot.Index()), (std::vector<uint32_t>{0, 8, 4, 368, 1000}));
    EXPECT_EQ(NameOf(snapshot, 368), "csrss.exe");
    EXPECT_EQ(NameOf(snapshot, 0), "");
    EXPECT_EQ(NameOf(snapshot, 5), "<missing>");
}

TEST_F(ProcessSnapshotTest, RefreshEmptiesFirstSoAFailedOneLeavesNothing) {
    sim::AddProcess(4, u"System");
    SystemProcessesInformation snapshot(false);
    EXPECT_EQ(snapshot.Count(), 0u);
    ASSERT_TRUE(snapshot.Refresh());
    sim::AddProcess(8, u"smss.exe");
    ASSERT_TRUE(snapshot.Refresh());
    EXPECT_EQ(Pids(snapshot.Index()), (std::vector<uint32_t>{8, 4}));
    sim::Set().processQuery = sim::FailFrom(os::STATUS_ACCESS_DENIED, sim::Log().SystemQueries(5) + 1);
    EXPECT_FALSE(snapshot.Refresh());
    EXPECT_EQ(snapshot.Count(), 0u);
    EXPECT_EQ(NameOf(snapshot, 4), "<missing>");
}

TEST_F(ProcessSnapshotTest, TableLargerThanTheFirstBufferIsReadAfterGrowing) {
    for (uint32_t pid = 100; pid < 105; ++pid) sim::AddProcess(pid, u"busy.exe").Threads(300);
    {
        SystemProcessesInformation snapshot(true);
        EXPECT_EQ(snapshot.Count(), 5u);
        EXPECT_EQ(NameOf(snapshot, 104), "busy.exe");
    }
    const auto& queries = sim::Log().systemQueries;
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].length, 0x10000u);
    EXPECT_EQ(queries[0].status, os::STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(queries[1].status, os::STATUS_SUCCESS);
}

TEST_F(ProcessSnapshotTest, TableWhoseNeededSizeIsNotReportedIsReadByDoubling) {
    for (uint32_t pid = 100; pid < 105; ++pid) sim::AddProcess(pid, u"busy.exe").Threads(300);
    sim::Set().processNeededZero = true;
    {
        SystemProcessesInformation snapshot(true);
        EXPECT_EQ(snapshot.Count(), 5u);
    }
    EXPECT_EQ(sim::Log().allocations, (std::vector<size_t>{0x10000, 0x20000}));
}

TEST_F(ProcessSnapshotTest, OtherFailuresAreNotRetried) {
    sim::AddProcess(4, u"System");
    sim::Set().processQuery = sim::FailFrom(os::STATUS_ACCESS_DENIED);
    {
        SystemProcessesInformation snapshot(true);
        EXPECT_EQ(snapshot.Count(), 0u);
    }
    EXPECT_EQ(sim::Log().SystemQueries(5), 1u);
    EXPECT_EQ(sim::Log().allocations.size(), 1u);
}

TEST_F(ProcessSnapshotTest, NoMemoryMeansNoSnapshot) {
    for (uint32_t pid = 100; pid < 105; ++pid) sim::AddProcess(pid, u"busy.exe").Threads(300);
    sim::Set().virtualAlloc = sim::FailFrom(0);
    {
        SystemProcessesInformation snapshot(false);
        EXPECT_FALSE(snapshot.Refresh());
    }
    EXPECT_EQ(sim::Log().SystemQueries(5), 0u);
    // The first buffer, but not a larger one: still no snapshot, and the
    // first buffer is released all the same.
    sim::Reset();
    for (uint32_t pid = 100; pid < 105; ++pid) sim::AddProcess(pid, u"busy.exe").Threads(300);
    sim::Set().virtualAlloc = sim::FailFrom(0, 2);
    SystemProcessesInformation snapshot(false);
    EXPECT_FALSE(snapshot.Refresh());
    EXPECT_EQ(snapshot.Count(), 0u);
}

}  // namespace
