// The simulated system answers as the real one does; the layers above rely
// on these answers, and so do the tests of the handle work.
#include <atomic>
#include <cstring>

#include "SimFixture.h"
#include "windows/platform/Api.h"
#include "windows/sysinfo/NativeApi.h"

namespace {

using SimSystemTest = SimTest;

std::string Narrow(const os::WCHAR* units, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text.push_back(static_cast<char>(units[i]));
    return text;
}

TEST_F(SimSystemTest, ProcessTableRecordsAreLaidOutAsTheSystemLaysThemOut) {
    sim::AddProcess(0, nullptr);
    sim::AddProcess(4, u"System").Threads(2);
    sim::AddProcess(1234, u"explorer.exe");
    auto query = NativeApi.NtQuerySystemInformation;
    os::ULONG needed = 0;
    EXPECT_EQ(query(5, nullptr, 0, &needed), os::STATUS_INFO_LENGTH_MISMATCH);
    ASSERT_GT(needed, 3 * sizeof(os::SYSTEM_PROCESS_INFORMATION) + 2 * sim::ThreadRecordSize());
    std::vector<uint64_t> buffer(needed / 8 + 1);
    EXPECT_EQ(query(5, buffer.data(), needed - 1, nullptr), os::STATUS_INFO_LENGTH_MISMATCH);
    ASSERT_EQ(query(5, buffer.data(), needed, nullptr), os::STATUS_SUCCESS);

    const auto* base = reinterpret_cast<const unsigned char*>(buffer.data());
    std::vector<std::string> names;
    size_t offset = 0;
    for (;;) {
        const auto* record = reinterpret_cast<const os::SYSTEM_PROCESS_INFORMATION*>(base + offset);
        const os::UNICODE_STRING& name = record->ImageName;
        size_t end = record->NextEntryOffset != 0 ? offset + record->NextEntryOffset : needed;
        EXPECT_EQ(record->NextEntryOffset % 8, 0u);
        if (name.Buffer == nullptr) {
            EXPECT_EQ(name.Length + name.MaximumLength, 0);
            names.push_back("<null>");
        } else {
            const auto* chars = reinterpret_cast<const unsigned char*>(name.Buffer);
            EXPECT_GE(chars, base + offset + sizeof *record + record->NumberOfThreads * sim::ThreadRecordSize());
            EXPECT_LE(chars + name.MaximumLength, base + end);
            EXPECT_EQ(name.MaximumLength, name.Length + 2);
            EXPECT_EQ(name.Buffer[name.Length / 2], 0);
            names.push_back(Narrow(name.Buffer, name.Length / 2) + "/" + std::to_string(record->NumberOfThreads));
        }
        if (record->NextEntryOffset == 0) break;
        offset += record->NextEntryOffset;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"<null>", "System/2", "explorer.exe/0"}));

    sim::Set().processNeededZero = true;
    needed = 1;
    EXPECT_EQ(query(5, buffer.data(), 8, &needed), os::STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(needed, 0u);
}

TEST_F(SimSystemTest, HandleTableRowsComeProcessByProcessAndCanGrowBetweenQueries) {
    sim::AddProcess(8, u"a.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\a.txt").Flags(1);
    sim::AddProcess(9, u"b.exe").Handle(0x8, "Event");
    sim::FindProcess(8)->Handle(0xC, "Process").Target(9);
    auto query = NativeApi.NtQuerySystemInformation;
    const size_t head = offsetof(os::SYSTEM_HANDLE_INFORMATION, Handles);
    os::ULONG needed = 0;
    EXPECT_EQ(query(16, nullptr, 0, &needed), os::STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(needed, head + 3 * sizeof(os::SYSTEM_HANDLE));
    std::vector<uint64_t> buffer(1024);
    ASSERT_EQ(query(16, buffer.data(), 8192, nullptr), os::STATUS_SUCCESS);
    const auto* table = reinterpret_cast<const os::SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    ASSERT_EQ(table->HandleCount, 3u);
    EXPECT_EQ(table->Handles[0].ProcessId, 8u);
    EXPECT_EQ(table->Handles[0].Handle, 0x4);
    EXPECT_EQ(table->Handles[0].Flags, 1);
    EXPECT_EQ(table->Handles[1].Handle, 0xC);
    EXPECT_EQ(table->Handles[2].ProcessId, 9u);
    // The platform numbers types its own way.
    EXPECT_NE(table->Handles[0].ObjectTypeNumber, 26);

    sim::Set().handleTableGrowth = 2;
    EXPECT_EQ(query(16, nullptr, 0, &needed), os::STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(needed, head + 3 * sizeof(os::SYSTEM_HANDLE));
    EXPECT_EQ(query(16, buffer.data(), needed, nullptr), os::STATUS_INFO_LENGTH_MISMATCH);
    ASSERT_EQ(query(16, buffer.data(), 8192, nullptr), os::STATUS_SUCCESS);
    EXPECT_EQ(table->HandleCount, 7u);
    sim::Set().handleNeededZero = true;
    EXPECT_EQ(query(16, nullptr, 0, &needed), os::STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(needed, 0u);
}

TEST_F(SimSystemTest, DuplicatedHandleAnswersTypeNameAndFileQueries) {
    sim::AddProcess(500, u"other.exe").Handle(0x44, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    os::HANDLE owner = os::OpenProcess(os::PROCESS_DUP_HANDLE, os::TRUE, 500);
    ASSERT_NE(owner, nullptr);
    os::HANDLE local = nullptr;
    ASSERT_TRUE(os::DuplicateHandle(owner, HandleFromValue(0x44), os::GetCurrentProcess(), &local, 0, os::FALSE,
                                    os::DUPLICATE_SAME_ACCESS));
    EXPECT_FALSE(os::DuplicateHandle(owner, HandleFromValue(0x48), os::GetCurrentProcess(), &local, 0, os::FALSE,
                                     os::DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);

    std::vector<uint64_t> buffer(512);
    auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
    os::ULONG size = 8192;
    EXPECT_EQ(NativeApi.NtQueryObject(local, 2, nullptr, 0, &size), os::STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(size, sizeof(os::OBJECT_TYPE_INFORMATION) + 10);
    ASSERT_EQ(NativeApi.NtQueryObject(local, 2, bytes, size, nullptr), os::STATUS_SUCCESS);
    EXPECT_EQ(Narrow(reinterpret_cast<const os::WCHAR*>(bytes + sizeof(os::OBJECT_TYPE_INFORMATION)), 5),
              std::string("File", 5));

    EXPECT_EQ(NativeApi.NtQueryObject(local, 1, nullptr, 0, &size), os::STATUS_INFO_LENGTH_MISMATCH);
    ASSERT_EQ(NativeApi.NtQueryObject(local, 1, bytes, size, nullptr), os::STATUS_SUCCESS);
    const auto* name = reinterpret_cast<const os::OBJECT_NAME_INFORMATION*>(bytes);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(name->Name.Buffer), bytes + sizeof *name);
    EXPECT_EQ(Narrow(name->Name.Buffer, name->Name.Length / 2 + 1),
              std::string("\\Device\\HarddiskVolume1\\dir\\file.txt", 37));

    os::IO_STATUS_BLOCK io;
    ASSERT_EQ(NativeApi.NtQueryInformationFile(local, &io, bytes, 4096, 9), os::STATUS_SUCCESS);
    const auto* file = reinterpret_cast<const os::FILE_NAME_INFORMATION*>(bytes);
    EXPECT_EQ(Narrow(file->FileName, file->FileNameLength / 2), "\\dir\\file.txt");
    std::memset(bytes, 0, 64);
    EXPECT_EQ(NativeApi.NtQueryInformationFile(local, &io, bytes, 4 + 7, 9), os::STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(file->FileNameLength, 26u);
    EXPECT_EQ(Narrow(file->FileName, 4), std::string("\\di\0", 4));
    EXPECT_EQ(sim::Log().ObjectQueries(1), 2u);
    EXPECT_EQ(sim::Log().fileNameQueries, 2u);
    EXPECT_TRUE(os::CloseHandle(local));
    EXPECT_TRUE(os::CloseHandle(owner));
}

TEST_F(SimSystemTest, RowKnobsShapeTheAnswers) {
    sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe").Handle(0x44, "Event", u"\\BaseNamedObjects\\e").TypeProbeReportsZero().NameQueryFails();
    sim::FindProcess(sim::kDefaultOwnPid)->Handle(0x48, "File").FileNameEmpty().NameProbeReportsZero();
    sim::AddProcess(500, u"other.exe").Handle(0x4C, "File").DuplicationFails();
    os::ULONG size = 8192;
    EXPECT_EQ(NativeApi.NtQueryObject(HandleFromValue(0x44), 2, nullptr, 0, &size), os::STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(size, 0u);
    std::vector<uint64_t> buffer(1024);
    EXPECT_EQ(NativeApi.NtQueryObject(HandleFromValue(0x44), 1, buffer.data(), 8192, nullptr), os::STATUS_ACCESS_DENIED);
    size = 8192;
    EXPECT_EQ(NativeApi.NtQueryObject(HandleFromValue(0x48), 1, nullptr, 0, &size), os::STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(size, 0u);
    os::IO_STATUS_BLOCK io;
    ASSERT_EQ(NativeApi.NtQueryInformationFile(HandleFromValue(0x48), &io, buffer.data(), 4096, 9), os::STATUS_SUCCESS);
    EXPECT_EQ(reinterpret_cast<const os::FILE_NAME_INFORMATION*>(buffer.data())->FileNameLength, 0u);
    EXPECT_EQ(NativeApi.NtQueryInformationFile(HandleFromValue(0x44), &io, buffer.data(), 4096, 9),
              os::STATUS_OBJECT_TYPE_MISMATCH);
    os::HANDLE owner = os::OpenProcess(os::PROCESS_DUP_HANDLE, os::TRUE, 500);
    os::HANDLE local = nullptr;
    EXPECT_FALSE(os::DuplicateHandle(owner, HandleFromValue(0x4C), os::GetCurrentProcess(), &local, 0, os::FALSE, 2));
    EXPECT_EQ(local, nullptr);
    os::CloseHandle(owner);
    // Without the right to duplicate, nothing is duplicated.
    owner = os::OpenProcess(os::PROCESS_QUERY_INFORMATION, os::FALSE, 500);
    sim::FindProcess(500)->handles[0]->duplicationFails = false;
    EXPECT_FALSE(os::DuplicateHandle(owner, HandleFromValue(0x4C), os::GetCurrentProcess(), &local, 0, os::FALSE, 2));
    EXPECT_EQ(os::GetLastError(), os::ERROR_ACCESS_DENIED);
    os::CloseHandle(owner);
}

struct Worker {
    os::HANDLE handle;
    os::NTSTATUS status = -1;
    std::string name;
    std::atomic<bool> returned{false};
};

os::DWORD OSAPI QueryFileName(os::LPVOID parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    std::vector<uint64_t> buffer(512);
    os::IO_STATUS_BLOCK io;
    worker->status = NativeApi.NtQueryInformationFile(worker->handle, &io, buffer.data(), 4096, 9);
    const auto* file = reinterpret_cast<const os::FILE_NAME_INFORMATION*>(buffer.data());
    worker->name = Narrow(file->FileName, file->FileNameLength / 2);
    worker->returned = true;
    return 0;
}

TEST_F(SimSystemTest, BlockedFileNameQueryAnswersOnceReleased) {
    sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe").Handle(0x44, "File", u"\\Device\\NamedPipe\\p").FileNameBlocks();
    Worker worker;
    worker.handle = HandleFromValue(0x44);
    os::HANDLE thread = os::CreateThread(nullptr, 0, &QueryFileName, &worker, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(sim::WaitForBlockedQueries(1, 5000));
    EXPECT_EQ(os::WaitForSingleObject(thread, 20), os::WAIT_TIMEOUT);
    EXPECT_FALSE(os::TerminateThread(thread, 0));
    EXPECT_EQ(os::GetLastError(), os::ERROR_NOT_SUPPORTED);
    sim::ReleaseBlockedQueries();
    ASSERT_EQ(os::WaitForSingleObject(thread, 5000), os::WAIT_OBJECT_0);
    EXPECT_EQ(worker.status, os::STATUS_SUCCESS);
    EXPECT_EQ(worker.name, "\\p");
    EXPECT_EQ(sim::BlockedQueries(), 0u);
    EXPECT_TRUE(os::CloseHandle(thread));
}

TEST_F(SimSystemTest, TerminatedThreadNeverReturnsToItsCaller) {
    sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe").Handle(0x44, "File", u"\\Device\\NamedPipe\\p").FileNameBlocks();
    sim::Set().terminateThreadWorks = true;
    static Worker worker;  // the parked thread keeps its pointer
    worker.handle = HandleFromValue(0x44);
    os::HANDLE thread = os::CreateThread(nullptr, 0, &QueryFileName, &worker, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(sim::WaitForBlockedQueries(1, 5000));
    EXPECT_TRUE(os::TerminateThread(thread, 0));
    EXPECT_EQ(os::WaitForSingleObject(thread, 5000), os::WAIT_OBJECT_0);
    sim::ReleaseBlockedQueries();
    os::Sleep(20);
    EXPECT_FALSE(worker.returned);
    EXPECT_EQ(sim::Log().terminateCalls, 1u);
    EXPECT_TRUE(os::CloseHandle(thread));
}

TEST_F(SimSystemTest, ClosingAnOwnHandleValueOrClosingTwiceIsAFault) {
    os::HANDLE event = os::CreateEventA(nullptr, os::TRUE, os::FALSE, nullptr);
    EXPECT_TRUE(os::CloseHandle(event));
    EXPECT_FALSE(os::CloseHandle(event));
    EXPECT_FALSE(os::CloseHandle(HandleFromValue(0x44)));
    EXPECT_EQ(sim::Log().faults.size(), 2u);
    sim::Reset();
}

TEST_F(SimSystemTest, FullPathsFollowWindowsRules) {
    struct Case {
        const char* name;
        const char* full;
    } cases[] = {
        {"C:\\a\\.\\b\\..\\c.txt", "C:\\a\\c.txt"},
        {"C:/x/y", "C:\\x\\y"},
        {"dir\\file.txt", "C:\\work\\dir\\file.txt"},
        {"..\\..\\..\\up.txt", "C:\\up.txt"},
        {"\\root.txt", "C:\\root.txt"},
        {"C:\\dir\\", "C:\\dir\\"},
        {"C:", "C:\\work"},
        {"D:rel", "D:\\rel"},
        {"\\\\server\\share\\x\\..\\y", "\\\\server\\share\\y"},
    };
    char16_t buffer[os::MAX_PATH];
    for (const Case& c : cases) {
        const std::u16string name(c.name, c.name + std::strlen(c.name));
        os::DWORD length = os::GetFullPathNameW(name.c_str(), os::MAX_PATH, buffer, nullptr);
        EXPECT_EQ(std::u16string(buffer), std::u16string(c.full, c.full + std::strlen(c.full))) << c.name;
        EXPECT_EQ(length, std::strlen(c.full)) << c.name;
    }
    // Too small: the size needed, terminator included, and nothing written.
    std::u16string untouched = u"untouched";
    std::copy(untouched.c_str(), untouched.c_str() + untouched.size() + 1, buffer);
    EXPECT_EQ(os::GetFullPathNameW(u"dir\\file.txt", 20, buffer, nullptr), 21u);
    EXPECT_EQ(std::u16string(buffer), untouched);
    EXPECT_EQ(os::GetFullPathNameW(u"dir\\file.txt", 21, buffer, nullptr), 20u);
    sim::Set().fullPathError = os::ERROR_FILENAME_EXCED_RANGE;
    EXPECT_EQ(os::GetFullPathNameW(u"dir\\file.txt", os::MAX_PATH, buffer, nullptr), 0u);
    EXPECT_EQ(os::GetLastError(), os::ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(SimSystemTest, DosDevicesComeFromTheDriveTable) {
    sim::Set().dosDevices["Z:"] = "\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share";
    char16_t target[64];
    EXPECT_GT(os::QueryDosDeviceW(u"c:", target, 64), 0u);
    EXPECT_EQ(std::u16string(target), u"\\Device\\HarddiskVolume1");
    EXPECT_GT(os::QueryDosDeviceW(u"Z:", target, 64), 0u);
    EXPECT_EQ(std::u16string(target), u"\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share");
    EXPECT_EQ(os::QueryDosDeviceW(u"Q:", target, 64), 0u);
    EXPECT_EQ(os::QueryDosDeviceW(u"di", target, 64), 0u);
    EXPECT_EQ(os::QueryDosDeviceW(u"C:", target, 23), 0u);  // no room for the zero
    EXPECT_GT(os::QueryDosDeviceW(u"C:", target, 24), 0u);
    EXPECT_EQ(sim::Log().dosDeviceQueries.size(), 6u);
}

TEST_F(SimSystemTest, ModuleQueriesBehaveLikePsapi) {
    sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\a.exe").Module(0x10000000, "C:\\b.dll").Module(0x20000000, "C:\\c.dll");
    os::HMODULE psapi = os::LoadLibraryA("PSAPI.DLL");
    auto enumModules = os::ProcAs<os::PFN_EnumProcessModules>(os::GetProcAddress(psapi, "EnumProcessModules"));
    auto fileName = os::ProcAs<os::PFN_GetModuleFileNameExW>(os::GetProcAddress(psapi, "GetModuleFileNameExW"));
    ASSERT_TRUE(enumModules != nullptr && fileName != nullptr);
    os::HANDLE process = os::OpenProcess(os::PROCESS_QUERY_INFORMATION | os::PROCESS_VM_READ, os::FALSE, 8);
    os::DWORD needed = 0;
    EXPECT_TRUE(enumModules(process, nullptr, 0, &needed));
    EXPECT_EQ(needed, 3 * sizeof(os::HMODULE));
    os::HMODULE modules[3] = {};
    EXPECT_TRUE(enumModules(process, modules, 2 * sizeof(os::HMODULE), &needed));
    EXPECT_EQ(needed, 3 * sizeof(os::HMODULE));
    EXPECT_EQ(modules[1], reinterpret_cast<os::HMODULE>(0x10000000));
    EXPECT_EQ(modules[2], nullptr);
    char16_t path[6];
    EXPECT_EQ(fileName(process, modules[1], path, 6), 5u);
    EXPECT_EQ(std::u16string(path), u"C:\\b.");
    EXPECT_EQ(fileName(process, reinterpret_cast<os::HMODULE>(0x30000000), path, 6), 0u);
    os::CloseHandle(process);
    os::FreeLibrary(psapi);
}

TEST_F(SimSystemTest, NamesCompareByTheNameRule) {
    auto compare = [](const char16_t* a, const char16_t* b) { return os::CompareStringOrdinal(a, -1, b, -1, os::TRUE); };
    EXPECT_EQ(compare(u"\\Device\\abc\u00E9\u0444", u"\\DEVICE\\ABC\u00C9\u0424"), os::CSTR_EQUAL);
    EXPECT_EQ(compare(u"abc", u"abd"), 1);
    EXPECT_EQ(compare(u"abcd", u"abc"), 3);
    EXPECT_EQ(os::CompareStringOrdinal(u"ab", 1, u"ax", 1, os::TRUE), os::CSTR_EQUAL);
    EXPECT_EQ(os::CompareStringOrdinal(u"a", -1, u"A", -1, os::FALSE), 3);
    sim::Set().nameCase = sim::NameCase::Exact;
    EXPECT_NE(compare(u"a", u"A"), os::CSTR_EQUAL);
}

}  // namespace
