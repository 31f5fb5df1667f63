// The Linux stand-ins answer as the platform would, from this process's own
// descriptors and the kernel.
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/Api.h"
#include "platform/linux/Linux.h"
#include "sysinfo/DevicePaths.h"
#include "sysinfo/HandleNames.h"
#include "sysinfo/NativeApi.h"
#include "sysinfo/SystemHandlesInformation.h"
#include "sysinfo/SystemProcessesInformation.h"

namespace {

os::HANDLE Own(int fd) { return HandleFromValue(static_cast<uint32_t>(fd)); }

std::string TypeOf(int fd) {
    Text type;
    return GetHandleTypeName(Own(fd), type, os::GetCurrentProcessId()) ? type : "(none)";
}

TEST(StandInTest, DescriptorKindsTakeTheNamesOfTheTypeTable) {
    int pipeFds[2], pair[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    int event = eventfd(0, 0), timer = timerfd_create(CLOCK_MONOTONIC, 0), poll = epoll_create1(0);
    int dir = open("/tmp", O_RDONLY | O_DIRECTORY);
    int file = open("/proc/self/status", O_RDONLY);
    EXPECT_EQ(TypeOf(file), "File");
    EXPECT_EQ(TypeOf(dir), "File");  // a folder is a file object, as on Windows
    EXPECT_EQ(TypeOf(pipeFds[0]), "Port");
    EXPECT_EQ(TypeOf(pair[0]), "Port");
    EXPECT_EQ(TypeOf(event), "Event");
    EXPECT_EQ(TypeOf(timer), "Timer");
    EXPECT_EQ(TypeOf(poll), "IoCompletion");
    for (int fd : {pipeFds[0], pipeFds[1], pair[0], pair[1], event, timer, poll, dir, file}) close(fd);
}

TEST(StandInTest, OwnFilesAreNamedByTheirPathAndOthersByTheirKind) {
    char path[] = "/tmp/fencat-standin-XXXXXX";
    int file = mkstemp(path);
    ASSERT_GE(file, 0);
    Text name;
    EXPECT_TRUE(GetHandleName(Own(file), name, os::GetCurrentProcessId()));
    EXPECT_EQ(name, std::filesystem::canonical(path).string());
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    name.clear();
    EXPECT_TRUE(GetHandleName(Own(pipeFds[0]), name, os::GetCurrentProcessId()));
    EXPECT_EQ(name.compare(0, 6, "pipe:["), 0) << name;
    for (int fd : {file, pipeFds[0], pipeFds[1]}) close(fd);
    unlink(path);
}

TEST(StandInTest, ANullHandleIsNoDescriptor) {
    os::ULONG size = 0;
    EXPECT_NE(NativeApi.NtQueryObject(nullptr, os::ObjectTypeInformation, nullptr, 0, &size), os::STATUS_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(os::CloseHandle(nullptr));
    // The caller's own descriptors are never closed through a handle value.
    int fd = open("/dev/null", O_RDONLY);
    EXPECT_FALSE(os::CloseHandle(Own(fd)));
    EXPECT_EQ(fcntl(fd, F_GETFD), 0);
    close(fd);
}

TEST(StandInTest, APidfdIsAProcessHandleThatNamesItsProcess) {
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, getpid(), 0));
    if (pidfd < 0) GTEST_SKIP() << "no pidfd_open here";
    Text name;
    EXPECT_TRUE(GetHandleName(Own(pidfd), name, os::GetCurrentProcessId()));
    char expected[32];
    std::snprintf(expected, sizeof expected, "PID: 0x%X", static_cast<unsigned>(getpid()));
    EXPECT_EQ(name, expected);
    close(pidfd);
}

TEST(StandInTest, TheSnapshotHoldsThisProcessUnderItsExecutablesName) {
    SystemProcessesInformation snapshot(true);
    const ProcessEntry* entry = nullptr;
    ASSERT_TRUE(snapshot.Lookup(static_cast<uint32_t>(getpid()), entry));
    Text name;
    UnicodeStringToText(&entry->ImageName, name);
    EXPECT_EQ(name, "fencat_linux_tests");
}

TEST(StandInTest, TheHandleTableListsDescriptorsAndTheCurrentFolder) {
    int file = open("/proc/self/status", O_RDONLY);
    SystemHandlesInformation handles(os::GetCurrentProcessId(), true, "File");
    bool sawFile = false, sawFolder = false;
    for (const HandleEntry& entry : handles.Entries()) {
        sawFile = sawFile || entry.Handle == file;
        sawFolder = sawFolder || entry.Handle == standin::linux_proc::kCwdHandleValue;
    }
    EXPECT_TRUE(sawFile);
    EXPECT_TRUE(sawFolder);
    Text name;
    EXPECT_TRUE(GetHandleName(Own(standin::linux_proc::kCwdHandleValue), name, os::GetCurrentProcessId()));
    EXPECT_EQ(name, std::filesystem::current_path().string());
    close(file);
}

TEST(StandInTest, AnAbsolutePathIsItsOwnDevicePath) {
    Text device = "untouched";
    EXPECT_TRUE(GetDeviceFileName("/usr/lib/x", device));
    EXPECT_EQ(device, "/usr/lib/x");
    EXPECT_TRUE(GetDeviceFileName("/", device));
    EXPECT_EQ(device, "/");
    device = "untouched";
    EXPECT_FALSE(GetDeviceFileName("dir/file", device));
    EXPECT_EQ(device, "untouched");
    Text dos = "untouched";
    EXPECT_FALSE(GetDosFileName("/usr/lib/x", dos));  // no drive letters here
    EXPECT_EQ(dos, "untouched");
}

TEST(StandInTest, FullPathsAreMadeAsText) {
    char buffer[os::MAX_PATH];
    std::string cwd = std::filesystem::current_path().string();
    os::DWORD length = os::GetFullPathNameA("a/../b/./c", sizeof buffer, buffer, nullptr);
    EXPECT_EQ(std::string(buffer, length), (cwd == "/" ? "" : cwd) + "/b/c");
    length = os::GetFullPathNameA("/x//y/", sizeof buffer, buffer, nullptr);
    EXPECT_EQ(std::string(buffer, length), "/x/y/");
    // Too small a buffer: the size needed, terminator included, and nothing written.
    std::strcpy(buffer, "keep");
    EXPECT_EQ(os::GetFullPathNameA("/abc", 4, buffer, nullptr), 5u);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(os::GetFullPathNameA("", sizeof buffer, buffer, nullptr), 0u);
}

// A process whose maps cannot be read in time adds nothing, and the search
// goes on: the read that stalls is left behind, not waited for.
TEST(StandInTest, AMapsReadThatStallsIsGivenUp) {
    int stall[2];
    ASSERT_EQ(pipe(stall), 0);
    auto process = std::make_shared<standin::linux_proc::Process>();
    process->pid = static_cast<uint32_t>(getpid());
    process->mapsFd = stall[0];  // nothing ever arrives: reading it blocks
    os::HANDLE handle = standin::InsertHandle(process);
    os::HMODULE psapi = os::LoadLibraryA("PSAPI.DLL");
    auto enumModules = os::ProcAs<os::PFN_EnumProcessModules>(os::GetProcAddress(psapi, "EnumProcessModules"));
    os::DWORD needed = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(enumModules(handle, nullptr, 0, &needed));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(90));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_TRUE(os::CloseHandle(handle));

    // The next process is read by a fresh reader, at once.
    os::HANDLE self = os::OpenProcess(os::PROCESS_QUERY_INFORMATION | os::PROCESS_VM_READ, os::FALSE,
                                      static_cast<os::DWORD>(getpid()));
    ASSERT_NE(self, nullptr);
    EXPECT_TRUE(enumModules(self, nullptr, 0, &needed));
    EXPECT_GT(needed, 0u);
    EXPECT_TRUE(os::CloseHandle(self));

    // The stalled read ends when its data comes; it closes its own end.
    ASSERT_EQ(write(stall[1], "x", 1), 1);
    close(stall[1]);
    os::FreeLibrary(psapi);
}

TEST(StandInTest, ThreadsAreNeverKilled) {
    EXPECT_FALSE(os::TerminateThread(os::GetCurrentProcess(), 0));
    EXPECT_EQ(os::GetLastError(), os::ERROR_NOT_SUPPORTED);
}

}  // namespace
