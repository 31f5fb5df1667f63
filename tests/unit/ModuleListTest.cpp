#include <cstring>

#include "SimFixture.h"
#include "windows/sysinfo/SystemModulesInformation.h"
#include "windows/sysinfo/Text.h"

namespace {

using ModuleListTest = SimTest;

struct Line {
    uint32_t pid;
    std::string path;
    uintptr_t module;
    bool operator==(const Line& other) const {
        return pid == other.pid && path == other.path && module == other.module;
    }
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
    return out << line.pid << " " << line.path << " " << std::hex << line.module << std::dec;
}

std::vector<Line> Lines(const SystemModulesInformation& list) {
    std::vector<Line> lines;
    for (const ModuleEntry& entry : list.Entries())
        lines.push_back(Line{entry.ownerPid, ToUtf8(entry.path), reinterpret_cast<uintptr_t>(entry.module)});
    return lines;
}

std::vector<Line> Refreshed(int32_t filter, bool expected = true) {
    SystemModulesInformation list(filter, false);
    EXPECT_EQ(list.Refresh(), expected);
    return Lines(list);
}

TEST_F(ModuleListTest, OwnProcessIsVisitedLikeAnyOther) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\a.exe");
    sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe")
        .Module(0x400000, "C:\\fencat.exe")
        .Module(0x7C800000, "C:\\WINDOWS\\system32\\kernel32.dll");
    // Both in bucket 0: the later one first.
    EXPECT_EQ(Refreshed(-1), (std::vector<Line>{{sim::kDefaultOwnPid, "C:\\fencat.exe", 0x400000},
                                                {sim::kDefaultOwnPid, "C:\\WINDOWS\\system32\\kernel32.dll", 0x7C800000},
                                                {8, "C:\\a.exe", 0x400000}}));
}

TEST_F(ModuleListTest, ProcessesInSnapshotOrderModulesInSystemOrder) {
    sim::AddProcess(4, u"System");
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\a.exe").Module(0x7C800000, "C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddProcess(368, u"b.exe").Module(0x1000000, "C:\\b.exe").Module(0x7C800000, "C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddProcess(20, u"c.exe").Module(0x400000, "C:\\c.exe");
    EXPECT_EQ(Refreshed(SystemModulesInformation::kAllProcesses),
              (std::vector<Line>{{8, "C:\\a.exe", 0x400000},
                                 {8, "C:\\WINDOWS\\system32\\kernel32.dll", 0x7C800000},
                                 {20, "C:\\c.exe", 0x400000},
                                 {368, "C:\\b.exe", 0x1000000},
                                 {368, "C:\\WINDOWS\\system32\\kernel32.dll", 0x7C800000}}));
    const sim::Record& log = sim::Log();
    ASSERT_EQ(log.opens.size(), 4u);
    for (const auto& open : log.opens) {
        EXPECT_EQ(open.access, OwnerProcesses::kRights);
        EXPECT_EQ(open.inherit, os::FALSE);
    }
    EXPECT_EQ(log.libraryLoads, 1u);
}

TEST_F(ModuleListTest, SingleProcessFilter) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\a.exe");
    sim::AddProcess(9, u"b.exe").Module(0x400000, "C:\\b.exe");
    EXPECT_EQ(Refreshed(9), (std::vector<Line>{{9, "C:\\b.exe", 0x400000}}));
    // A process that does not exist still makes a successful, empty list.
    EXPECT_EQ(Refreshed(12345), std::vector<Line>());
    EXPECT_EQ(sim::Log().SystemQueries(5), 0u);
}

TEST_F(ModuleListTest, LibraryOrEntryPointMissingFailsAndReleasesTheLibrary) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\a.exe");
    sim::Set().psapiLoadFails = true;
    EXPECT_EQ(Refreshed(SystemModulesInformation::kAllProcesses, false), std::vector<Line>());
    EXPECT_EQ(sim::Log().libraryLoads, 0u);
    for (const char* missing : {"EnumProcessModules", "GetModuleFileNameExW"}) {
        sim::Set().psapiLoadFails = false;
        sim::Set().missingExports = {missing};
        unsigned loads = sim::Log().libraryLoads;
        EXPECT_EQ(Refreshed(8, false), std::vector<Line>()) << missing;
        EXPECT_EQ(sim::Log().libraryLoads, loads + 1) << missing;
        EXPECT_EQ(sim::Log().libraryFrees, sim::Log().libraryLoads) << missing;
    }
    EXPECT_TRUE(sim::Log().opens.empty());
    // Without the Ex form the plain one lists the modules.
    sim::Set().missingExports = {"EnumProcessModulesEx"};
    EXPECT_EQ(Refreshed(8), (std::vector<Line>{{8, "C:\\a.exe", 0x400000}}));
}

TEST_F(ModuleListTest, SecondRefreshReplacesTheEntries) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\a.exe");
    SystemModulesInformation list(SystemModulesInformation::kAllProcesses, true);
    EXPECT_EQ(Lines(list), (std::vector<Line>{{8, "C:\\a.exe", 0x400000}}));
    sim::FindProcess(8)->modules[0].path = "C:\\new.exe";
    EXPECT_TRUE(list.Refresh());
    EXPECT_EQ(Lines(list), (std::vector<Line>{{8, "C:\\new.exe", 0x400000}}));
    sim::Set().psapiLoadFails = true;
    EXPECT_FALSE(list.Refresh());
    EXPECT_TRUE(list.Entries().empty());
}

TEST_F(ModuleListTest, ProcessesThatCannotBeReadAddNothing) {
    sim::AddProcess(0, nullptr);
    sim::AddProcess(8, u"locked.exe").DenyOpen().Module(0x400000, "C:\\locked.exe");
    sim::AddProcess(9, u"probe.exe").EnumModulesFails(1).Module(0x400000, "C:\\probe.exe");
    sim::AddProcess(10, u"second.exe").EnumModulesFails(2).Module(0x400000, "C:\\second.exe");
    sim::AddProcess(11, u"name.exe")
        .Module(0x400000, "C:\\name.exe")
        .Module(0x10000000, "C:\\gone.dll")
        .Module(0x20000000, "C:\\kept.dll")
        .ModuleNameFails(0x10000000);
    sim::AddProcess(12, u"empty.exe");
    EXPECT_EQ(Refreshed(SystemModulesInformation::kAllProcesses),
              (std::vector<Line>{{11, "C:\\name.exe", 0x400000}, {11, "C:\\kept.dll", 0x20000000}}));
    EXPECT_EQ(sim::FindProcess(9)->enumCalls, 1u);
    EXPECT_EQ(sim::FindProcess(10)->enumCalls, 2u);
}

TEST_F(ModuleListTest, PathsAreNeverCut) {
    const std::string longPath = "C:\\" + std::string(300, 'd') + "\\" + std::string(600, 'x') + ".dll";
    sim::AddProcess(8, u"a.exe").Module(0x400000, longPath);
    for (bool unterminated : {false, true}) {
        sim::Set().cutPathsUnterminated = unterminated;
        EXPECT_EQ(Refreshed(8), (std::vector<Line>{{8, longPath, 0x400000}})) << unterminated;
    }
}

// A 32-bit program under WOW64 cannot list a 64-bit process's modules: it
// counts every process it could not list, whatever the error; elsewhere
// such failures are no news.
TEST_F(ModuleListTest, Wow64CountsTheProcessesItCannotList) {
    sim::AddProcess(8, u"wide.exe").Is64Bit().Module(0x400000, "C:\\wide.exe");
    sim::AddProcess(9, u"narrow.exe").Module(0x400000, "C:\\narrow.exe");
    sim::AddProcess(10, u"failing.exe").EnumModulesFails(1).Module(0x400000, "C:\\failing.exe");
    sim::AddProcess(11, u"locked.exe").DenyOpen();
    SystemModulesInformation list(SystemModulesInformation::kAllProcesses, true);
    EXPECT_EQ(list.UnlistedProcesses(), 0u);
    EXPECT_EQ(Lines(list), (std::vector<Line>{{9, "C:\\narrow.exe", 0x400000}, {8, "C:\\wide.exe", 0x400000}}));
    sim::Set().wow64 = true;
    EXPECT_TRUE(list.Refresh());
    EXPECT_EQ(list.UnlistedProcesses(), 2u);
    EXPECT_EQ(list.DeniedProcesses(), 1u);
    EXPECT_EQ(Lines(list), (std::vector<Line>{{9, "C:\\narrow.exe", 0x400000}}));
}

}  // namespace
