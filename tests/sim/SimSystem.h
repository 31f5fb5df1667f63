// The simulated system of the unit tests. It defines every platform call of
// platform/Api.h, and a test sets each answer here in a few lines, makes any
// call fail or block, and reads back what the code under test asked for.
//
//   sim::Reset();
//   sim::AddProcess(0x4D2, u"explorer.exe").Module(0x400000, "C:\\WINDOWS\\explorer.exe");
//   sim::Set().psapiLoadFails = true;
//   EXPECT_EQ(sim::Log().opens.size(), 1u);
//
// Setup and reading happen on the test's thread while no worker thread of
// the code under test runs; the platform calls themselves are thread-safe.
#pragma once

#include <climits>
#include <deque>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "windows/platform/Records.h"

namespace sim {

constexpr uint32_t kDefaultOwnPid = 3000;

// Which calls of one kind fail (counted from 1 since the last Reset), and
// with what status or error code.
struct Failing {
    uint32_t code = 0;
    unsigned from = 0;  // 0: no call fails
    unsigned count = UINT_MAX;

    bool Hits(unsigned call) const { return from != 0 && call >= from && call - from < count; }
};

inline Failing FailFrom(uint32_t code, unsigned from = 1, unsigned count = UINT_MAX) {
    return Failing{code, from, count};
}

// A query answered with given bytes instead of the system's own records: the
// records that no well-behaved system writes. Call n (from 1) of that query
// takes answer n, later calls the last one. The bytes are copied into the
// caller's buffer as far as it reaches; then each pointer writes, at byte
// `at` of the copy (where a whole pointer fits), the address of the caller's
// buffer plus `target`, which may point anywhere. A probe without a buffer
// gets the status and returned length alone.
struct RawAnswer {
    struct Pointer {
        size_t at;
        int64_t target;
    };
    os::NTSTATUS status = os::STATUS_SUCCESS;
    std::vector<unsigned char> bytes;
    os::ULONG returnLength = 0;  // what ReturnLength (or the I/O status) receives
    std::vector<Pointer> pointers;
};

// How a file handle's file-name query (NtQueryInformationFile) answers.
enum class FileQuery {
    Name,    // the row's fileName
    Empty,   // success with length 0
    Fails,   // fileStatus, at once
    Blocks,  // waits until ReleaseBlockedQueries(), then answers fileName
};

// One row of a process's handle table.
struct HandleRow {
    uint32_t ownerPid = 0;
    uintptr_t value = 0;
    std::string type;     // object type name: "File", "Process", "Thread", "Event", ...
    std::u16string name;  // object name; empty: the object has none
    uint32_t targetId = 0;  // "Process"/"Thread" rows: the ID the handle refers to
    uint8_t typeNumber = 0;  // as the platform numbers types (not the fixed type table)
    uint8_t flags = 0;
    uintptr_t object = 0;
    uint32_t access = 0;

    FileQuery fileQuery = FileQuery::Name;
    std::u16string fileName;  // for "File" rows: the object name without its device part
    os::NTSTATUS fileStatus = 0;

    os::NTSTATUS typeStatus = 0;  // NtQueryObject class 2 fails with this
    os::NTSTATUS nameStatus = 0;  // NtQueryObject class 1 fails with this
    os::NTSTATUS idStatus = 0;    // basic-information query fails with this
    bool typeProbeReportsZero = false;
    bool nameProbeReportsZero = false;
    bool duplicationFails = false;
    // The file's identity (File rows); none: it has none, as a pipe.
    bool hasId = false;
    uint32_t volume = 0;
    uint64_t fileId = 0;
    // Raw answers of this handle's type, object name and file name queries;
    // empty: the row's own records.
    std::vector<RawAnswer> typeAnswers, nameAnswers, fileAnswers;

    HandleRow& Target(uint32_t id);
    HandleRow& FileName(std::u16string text);
    HandleRow& FileNameEmpty();
    HandleRow& FileNameFails(os::NTSTATUS status = os::STATUS_ACCESS_DENIED);
    HandleRow& FileNameBlocks();
    HandleRow& TypeQueryFails(os::NTSTATUS status = os::STATUS_ACCESS_DENIED);
    HandleRow& NameQueryFails(os::NTSTATUS status = os::STATUS_ACCESS_DENIED);
    HandleRow& IdQueryFails(os::NTSTATUS status = os::STATUS_ACCESS_DENIED);
    HandleRow& TypeProbeReportsZero();
    HandleRow& NameProbeReportsZero();
    HandleRow& DuplicationFails();
    HandleRow& Flags(uint8_t value);
    HandleRow& Identity(uint32_t volume, uint64_t id);
};

struct LoadedModule {
    uintptr_t handle;
    std::string path;  // UTF-8
    bool nameFails = false;
};

// A file mapped into a process's memory: one view, or a loaded image.
struct MappedView {
    uintptr_t base;
    size_t size;
    std::string deviceName;  // UTF-8, as GetMappedFileNameW names it
    uint32_t type = 0x40000;  // MEM_MAPPED, or MEM_IMAGE (0x1000000)
    unsigned regions = 1;     // equal regions of the one allocation, as sections with their own protection
    bool psapiNameFails = false;   // GetMappedFileNameW fails, as Wine's does past MAX_PATH
    bool nativeNameFails = false;  // NtQueryVirtualMemory's file name fails
    // An image's header tells its size in memory; a process may write any
    // there. 0: the image's true size.
    size_t headerSize = 0;

    MappedView& Image();
    MappedView& Regions(unsigned count);
    MappedView& PsapiNameFails();
    MappedView& NativeNameFails();
    MappedView& HeaderSize(size_t size);
};

struct Process {
    uint32_t pid = 0;
    bool hasName = false;  // false: a null name buffer, as for the idle process
    std::u16string imageName;
    std::vector<LoadedModule> modules;  // in the order EnumProcessModules gives them
    std::vector<std::shared_ptr<HandleRow>> handles;
    unsigned threads = 0;
    bool openDenied = false;
    Failing enumFails;  // its EnumProcessModules calls, counted per process
    unsigned listedIn = UINT_MAX;  // process table answers that list it
    unsigned enumCalls = 0;
    bool is64Bit = false;  // under WOW64 its modules cannot be listed
    bool ended = false;    // TerminateProcess ended it
    bool terminateDenied = false;
    std::vector<MappedView> views;  // in address order
    bool denyRead = false;  // ReadProcessMemory is refused
    uintptr_t currentFolder = 0;  // the handle value its parameters give for its current folder
    std::string exePath;  // UTF-8, as QueryFullProcessImageNameW names it; empty: refused
    uint32_t parentPid = 0;
    int64_t createTime = 0;  // 100 ns units since 1601, as the process record has it

    Process& Exe(std::string path);
    Process& Parent(uint32_t pid, int64_t created);
    Process& Module(uintptr_t handle, std::string path);
    Process& ModuleNameFails(uintptr_t handle);
    HandleRow& Handle(uintptr_t value, std::string type, std::u16string name = std::u16string());
    // Thread records after the process record, to make the table large.
    Process& Threads(unsigned count);
    Process& DenyOpen();
    // EnumProcessModules fails from this call on (1: the size probe).
    Process& EnumModulesFails(unsigned fromCall = 1);
    // Listed in the first `count` process table answers only: it exits.
    Process& ExitsAfterListings(unsigned count);
    Process& Is64Bit();
    Process& CurrentFolder(uintptr_t handle);
    Process& View(uintptr_t base, size_t size, std::string deviceName);
    // The view added last, to set it up further.
    MappedView& LastView();
};

// A service that runs, in the process that hosts it.
struct Service {
    std::string name;  // UTF-8
    uint32_t pid = 0;
};

// A name of a file on a volume. Names added with the same volume and ID
// are one file: a hard link, another drive letter for the same folder.
struct FileName {
    std::string path;       // UTF-8, a drive-letter path
    std::string shortPath;  // its 8.3 form; empty: the same as path
    uint32_t volume = 0;
    uint64_t id = 0;
    bool openFails = false;  // CreateFileW is refused
    bool idFails = false;    // opens, but tells no identity
    bool caseSensitive = false;  // a folder that tells names apart by case

    FileName& Short(std::string path83);
    FileName& CaseSensitive();
    FileName& OpenFails();
    FileName& IdFails();
};

enum class NameCase {
    Ignore,  // upper-cased by the system's table (here: Latin, Greek, Cyrillic)
    Exact,   // units, as names on Linux
};

struct Settings {
    uint32_t ownPid = kDefaultOwnPid;

    // ntdll and PSAPI exports that GetProcAddress does not find, by name.
    std::set<std::string> missingExports;
    bool psapiLoadFails = false;
    // GetModuleFileNameExW fills the whole buffer without a terminator when
    // it cuts, as older systems did.
    bool cutPathsUnterminated = false;
    // This process is a 32-bit one on 64-bit Windows.
    bool wow64 = false;
    // The extended handle table (class 64) is refused. It is also refused
    // while handleTableAnswers are set: raw answers are of class 16.
    bool extendedHandleTableRefused = false;

    // NtQuerySystemInformation: failing calls per class (codes are statuses).
    Failing processQuery;
    Failing handleQuery;
    // A too-small buffer reports a needed size of 0.
    bool processNeededZero = false;
    bool handleNeededZero = false;
    // Raw answers of the process and handle table queries; empty: the
    // processes' own records.
    std::vector<RawAnswer> processTableAnswers;
    std::vector<RawAnswer> handleTableAnswers;
    // Rows added to the last process after each handle table query.
    unsigned handleTableGrowth = 0;
    os::NTSTATUS processInfoStatus = 0;  // every NtQueryInformationProcess fails
    os::NTSTATUS threadInfoStatus = 0;   // every NtQueryInformationThread fails

    Failing virtualAlloc;

    std::string currentDirectory = "C:\\work";
    os::DWORD fullPathError = 0;  // GetFullPathNameW fails with it
    std::map<std::string, std::string> dosDevices = {{"C:", "\\Device\\HarddiskVolume1"}};
    std::deque<FileName> files;  // what CreateFileW and the path calls know

    os::DWORD openTokenError = 0;
    os::DWORD lookupPrivilegeError = 0;
    os::DWORD adjustPrivilegesError = 0;
    bool privilegeNotAssigned = false;  // Adjust succeeds with ERROR_NOT_ALL_ASSIGNED

    bool createThreadFails = false;
    // A new thread runs its routine only after this long, as one held up
    // at its start. Stopping a thread that has not begun its routine is a
    // fault: on Windows it would leave the loader lock held.
    unsigned threadStartDelayMs = 0;
    // Off: TerminateThread fails with ERROR_NOT_SUPPORTED, as on Linux.
    bool terminateThreadWorks = false;
    // A stopped thread that is blocked in a query ends only once the query
    // is released: a stop that takes effect late.
    bool terminationIsLate = false;

    NameCase nameCase = NameCase::Ignore;
    // NtQueryVirtualMemory cannot tell the allocation a region belongs to,
    // as older systems.
    bool regionInfoFails = false;
    std::vector<Service> services;  // in the order the service manager lists them
    os::DWORD serviceManagerError = 0;  // OpenSCManagerW fails with it
};

struct OpenCall {
    uint32_t pid;
    os::DWORD access;
    os::BOOL inherit;
    os::HANDLE result;
};

struct DuplicateCall {
    uint32_t ownerPid;
    uintptr_t value;
    os::HANDLE target;
    os::DWORD access;
    os::BOOL inherit;
    os::DWORD options;
    os::HANDLE result;  // null when it failed
};

struct CloseCall {
    os::HANDLE handle;
    std::string what;  // "process 1234", "handle 0x44 of 1234", "token", ...
    bool ok;
};

struct QueryCall {
    os::ULONG infoClass;
    os::ULONG length;
    bool wantsLength;  // a ReturnLength pointer was given
    os::NTSTATUS status;
};

// What the code under test asked of the system since the last Reset.
struct Record {
    std::vector<OpenCall> opens;
    std::vector<DuplicateCall> duplicates;
    std::vector<CloseCall> closes;
    std::vector<QueryCall> systemQueries;
    std::vector<QueryCall> objectQueries;
    unsigned fileNameQueries = 0;
    unsigned processInfoQueries = 0;
    unsigned threadInfoQueries = 0;
    unsigned virtualQueries = 0;        // VirtualQueryEx
    unsigned mappedNameQueries = 0;     // GetMappedFileNameW
    unsigned nativeViewQueries = 0;     // NtQueryVirtualMemory
    unsigned memoryReads = 0;           // ReadProcessMemory

    unsigned libraryLoads = 0;  // successful LoadLibraryA calls
    unsigned libraryFrees = 0;
    std::vector<size_t> allocations;  // sizes of successful VirtualAlloc calls
    unsigned releases = 0;

    unsigned fullPathCalls = 0;
    std::vector<std::string> dosDeviceQueries;
    std::vector<std::string> fileOpens;  // CreateFileW's names, UTF-8
    unsigned terminateProcessCalls = 0;
    unsigned serviceEnumerations = 0;  // EnumServicesStatusExW calls

    unsigned threadsCreated = 0;
    unsigned terminateCalls = 0;
    std::vector<os::DWORD> waitTimeouts;  // bounded waits only

    unsigned tokenOpens = 0;
    os::DWORD tokenAccess = 0;
    std::vector<std::string> privilegeLookups;
    unsigned adjustCalls = 0;
    os::BOOL adjustDisableAll = 0;
    os::TOKEN_PRIVILEGES adjusted = {};
    os::DWORD adjustLength = 0;

    // Misuse of the system: closing one of the caller's own handle values,
    // closing twice, calling PSAPI after releasing it, ...
    std::vector<std::string> faults;

    unsigned ObjectQueries(os::ULONG infoClass) const;
    unsigned SystemQueries(os::ULONG infoClass) const;
};

// Restores every default: no processes, the settings above, an empty record,
// and releases any query still blocked.
void Reset();

Settings& Set();
const Record& Log();
// A copy taken under the lock, for reading while a worker thread of the
// code under test may still call into the system.
Record LogCopy();

Process& AddProcess(uint32_t pid, const char16_t* imageName);
FileName& AddFile(std::string path, uint32_t volume, uint64_t id);
Process* FindProcess(uint32_t pid);

// Blocked file-name queries.
void ReleaseBlockedQueries();
unsigned BlockedQueries();
bool WaitForBlockedQueries(unsigned count, unsigned milliseconds);

// Process, duplicate and token handles that are open: the ones that the
// code under test must close. (Its own threads and events may live on.)
size_t OpenObjects();

// Byte size of one thread record in a process table answer.
size_t ThreadRecordSize();

}  // namespace sim
