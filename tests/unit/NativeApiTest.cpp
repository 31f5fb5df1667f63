#include "SimFixture.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemModulesInformation.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

namespace {

const char* const kExports[] = {"NtQuerySystemInformation", "NtQueryObject", "NtQueryInformationThread",
                                "NtQueryInformationFile", "NtQueryInformationProcess"};

class NativeApiTest : public SimTest {
protected:
    void TearDown() override {
        sim::Set().missingExports.clear();
        g_nativeApiAvailable = BindNativeApi() ? 1 : 0;
        SimTest::TearDown();
    }
};

const void* Bound(const char* name) {
    if (std::string(name) == "NtQuerySystemInformation") return reinterpret_cast<const void*>(NativeApi.NtQuerySystemInformation);
    if (std::string(name) == "NtQueryObject") return reinterpret_cast<const void*>(NativeApi.NtQueryObject);
    if (std::string(name) == "NtQueryInformationThread") return reinterpret_cast<const void*>(NativeApi.NtQueryInformationThread);
    if (std::string(name) == "NtQueryInformationFile") return reinterpret_cast<const void*>(NativeApi.NtQueryInformationFile);
    return reinterpret_cast<const void*>(NativeApi.NtQueryInformationProcess);
}

TEST_F(NativeApiTest, AllFiveExportsAreBoundAtStartUp) {
    EXPECT_EQ(g_nativeApiAvailable, 1);
    for (const char* name : kExports) EXPECT_NE(Bound(name), nullptr) << name;
}

TEST_F(NativeApiTest, OneMissingExportClearsTheFlagButTheOthersAreStored) {
    for (const char* missing : kExports) {
        sim::Set().missingExports = {missing};
        EXPECT_FALSE(BindNativeApi()) << missing;
        for (const char* name : kExports) {
            if (name == missing)
                EXPECT_EQ(Bound(name), nullptr) << name;
            else
                EXPECT_NE(Bound(name), nullptr) << name << " while " << missing << " is missing";
        }
    }
}

TEST_F(NativeApiTest, WithoutTheNativeLayerEveryQueryFailsWithoutCallingIt) {
    sim::Set().missingExports = {"NtQueryObject"};
    g_nativeApiAvailable = BindNativeApi() ? 1 : 0;
    sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe").Handle(0x44, "Process").Target(1234);
    sim::AddProcess(500, u"other.exe").Module(0x400000, "C:\\other.exe").Handle(0x48, "Thread").Target(7);

    SystemProcessesInformation snapshot(true);
    EXPECT_EQ(snapshot.Count(), 0u);
    SystemModulesInformation modules(SystemModulesInformation::kAllProcesses, false);
    EXPECT_FALSE(modules.Refresh());
    EXPECT_TRUE(modules.Entries().empty());
    uint32_t id = 0;
    EXPECT_FALSE(GetProcessIdOfHandle(HandleFromValue(0x44), id, sim::kDefaultOwnPid));
    EXPECT_FALSE(GetThreadIdOfHandle(HandleFromValue(0x48), id, 500));
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(sim::Log().systemQueries.empty());
    EXPECT_TRUE(sim::Log().opens.empty());
    EXPECT_EQ(sim::Log().processInfoQueries + sim::Log().threadInfoQueries, 0u);
}

using RemoteHandleTest = SimTest;

TEST_F(RemoteHandleTest, OwnHandleIsQueriedDirectlyAndNeverClosed) {
    sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe").Handle(0x44, "Process").Target(1234);
    sim::FindProcess(sim::kDefaultOwnPid)->Handle(0x48, "Thread").Target(0x99);
    uint32_t id = 0;
    EXPECT_TRUE(GetProcessIdOfHandle(HandleFromValue(0x44), id, sim::kDefaultOwnPid));
    EXPECT_EQ(id, 1234u);
    EXPECT_TRUE(GetThreadIdOfHandle(HandleFromValue(0x48), id, sim::kDefaultOwnPid));
    EXPECT_EQ(id, 0x99u);
    EXPECT_TRUE(sim::Log().opens.empty());
    EXPECT_TRUE(sim::Log().duplicates.empty());
    EXPECT_TRUE(sim::Log().closes.empty());
}

TEST_F(RemoteHandleTest, OtherProcessIsOpenedForDuplicationAndBothHandlesClosed) {
    sim::AddProcess(500, u"other.exe").Handle(0x48, "Process").Target(1234);
    sim::FindProcess(500)->Handle(0x4C, "Thread").Target(0x77);
    uint32_t id = 0;
    EXPECT_TRUE(GetProcessIdOfHandle(HandleFromValue(0x48), id, 500));
    EXPECT_EQ(id, 1234u);
    EXPECT_TRUE(GetThreadIdOfHandle(HandleFromValue(0x4C), id, 500));
    EXPECT_EQ(id, 0x77u);

    const sim::Record& log = sim::Log();
    ASSERT_EQ(log.opens.size(), 2u);
    EXPECT_EQ(log.opens[0].pid, 500u);
    EXPECT_EQ(log.opens[0].access, os::PROCESS_DUP_HANDLE);
    EXPECT_EQ(log.opens[0].inherit, os::TRUE);
    ASSERT_EQ(log.duplicates.size(), 2u);
    const sim::DuplicateCall& dup = log.duplicates[0];
    EXPECT_EQ(dup.value, 0x48u);
    EXPECT_EQ(dup.target, os::GetCurrentProcess());
    EXPECT_EQ(dup.access, 0u);
    EXPECT_EQ(dup.inherit, os::FALSE);
    EXPECT_EQ(dup.options, os::DUPLICATE_SAME_ACCESS);
    ASSERT_EQ(log.closes.size(), 4u);
    EXPECT_EQ(log.closes[0].what, "process 500");
    EXPECT_EQ(log.closes[1].what, "handle 0x48 of 500");
    EXPECT_EQ(log.closes[3].what, "handle 0x4C of 500");
}

TEST_F(RemoteHandleTest, FailuresLeaveTheOutputAloneAndCloseOnlyWhatWasOpened) {
    struct Case {
        uint32_t value, owner;
        std::vector<std::string> closed;
    } cases[] = {
        {0x48, 500, {"process 500"}},                        // duplication refused
        {0x50, 500, {"process 500"}},                        // the owner has no such handle
        {0x4C, 500, {"process 500", "handle 0x4C of 500"}},  // the ID query fails
        {0x48, 600, {}},                                     // the owner cannot be opened
        {0x48, 700, {}},                                     // no such process
    };
    for (const Case& c : cases) {
        sim::Reset();
        sim::AddProcess(500, u"other.exe").Handle(0x48, "Process").Target(1234).DuplicationFails();
        sim::FindProcess(500)->Handle(0x4C, "Process").Target(1234).IdQueryFails();
        sim::AddProcess(600, u"locked.exe").DenyOpen().Handle(0x48, "Process").Target(1234);
        uint32_t id = 0;
        EXPECT_FALSE(GetProcessIdOfHandle(HandleFromValue(c.value), id, c.owner));
        EXPECT_EQ(id, 0u);
        std::vector<std::string> closed;
        for (const auto& call : sim::Log().closes) closed.push_back(call.what);
        EXPECT_EQ(closed, c.closed) << std::hex << c.value << " of " << std::dec << c.owner;
        EXPECT_EQ(sim::Log().opens.size(), 1u);
        EXPECT_EQ(sim::OpenObjects(), m_openObjects);
    }
}

using DebugPrivilegeTest = SimTest;

TEST_F(DebugPrivilegeTest, EnablesTheDebugPrivilegeInTheOwnToken) {
    EXPECT_TRUE(EnableDebugPrivilege());
    EXPECT_EQ(m_diagnostics.Text(), "");
    const sim::Record& log = sim::Log();
    EXPECT_EQ(log.tokenAccess, os::TOKEN_ADJUST_PRIVILEGES | os::TOKEN_QUERY);
    EXPECT_EQ(log.privilegeLookups, std::vector<std::string>{"SeDebugPrivilege"});
    EXPECT_EQ(log.adjustCalls, 1u);
    EXPECT_EQ(log.adjustDisableAll, os::FALSE);
    EXPECT_EQ(log.adjustLength, 16u);
    EXPECT_EQ(log.adjusted.PrivilegeCount, 1u);
    EXPECT_EQ(log.adjusted.Privileges[0].Luid.LowPart, 20u);
    EXPECT_EQ(log.adjusted.Privileges[0].Attributes, os::SE_PRIVILEGE_ENABLED);
    ASSERT_EQ(log.closes.size(), 1u);
    EXPECT_EQ(log.closes[0].what, "token");
}

TEST_F(DebugPrivilegeTest, EachFailureHasItsMessageAndResult) {
    struct Case {
        os::DWORD sim::Settings::*knob;
        os::DWORD code;
        bool result;
        const char* output;
        unsigned tokensClosed;
    } cases[] = {
        {&sim::Settings::openTokenError, 5, false,
         "OpenProcessToken() failed, Error = 5 SeDebugPrivilege is not available.\n", 0},
        {&sim::Settings::lookupPrivilegeError, 1313, false,
         "LookupPrivilegeValue() failed, Error = 1313 SeDebugPrivilege is not available.\n", 1},
        {&sim::Settings::adjustPrivilegesError, 6, true,
         "AdjustTokenPrivileges() failed, Error = 6 SeDebugPrivilege is not available.\n", 1},
    };
    for (const Case& c : cases) {
        sim::Reset();
        CapturedDiagnostics diagnostics;
        sim::Set().*c.knob = c.code;
        EXPECT_EQ(EnableDebugPrivilege(), c.result) << c.output;
        EXPECT_EQ(diagnostics.Text(), c.output);
        EXPECT_EQ(sim::Log().closes.size(), c.tokensClosed) << c.output;
    }
    EXPECT_EQ(sim::Log().adjustCalls, 1u);
}

TEST_F(DebugPrivilegeTest, PrivilegeNotHeldIsNoFailure) {
    sim::Set().privilegeNotAssigned = true;
    EXPECT_TRUE(EnableDebugPrivilege());
    EXPECT_EQ(m_diagnostics.Text(), "");
}

}  // namespace
