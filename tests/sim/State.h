// What the simulated system's platform calls share: its state behind one
// lock, and the kernel objects that its handles stand for.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "windows/platform/Api.h"
#include "tests/sim/generic/Objects.h"
#include "tests/sim/SimSystem.h"

namespace sim {
namespace detail {

constexpr uintptr_t kNtdll = 0x7C900000;
constexpr uintptr_t kPsapi = 0x76BB0000;
constexpr os::DWORD kErrorNoAccess = 998;
constexpr os::DWORD kErrorInvalidName = 123;

struct Data {
    Settings settings;
    Record record;
    std::vector<std::unique_ptr<Process>> processes;
    unsigned processQueries = 0;
    unsigned processListings = 0;  // successful process table answers
    unsigned handleQueries = 0;
    // Object and file queries per row, for the rows' raw answers.
    std::map<std::pair<const HandleRow*, os::ULONG>, unsigned> rowQueries;
    unsigned allocCalls = 0;
    int psapiRefs = 0;
    bool gateOpen = false;
    unsigned blocked = 0;
};

struct State {
    std::mutex mutex;
    std::condition_variable changed;
    unsigned generation = 0;  // bumped by Reset: blocked queries give up
    Data data;
    std::map<void*, size_t> allocations;  // outlives Reset, like the memory
    // Threads that have begun their routine; outlives Reset, like them.
    std::set<const simbase::Thread*> runningThreads;
};

// Usable from static initialisation on.
State& Sim();

Process* Find(Data& data, uint32_t pid);
inline Process* OwnProcess(Data& data) { return Find(data, data.settings.ownPid); }
void Fault(Data& data, std::string what);
std::string Hex(uintptr_t value);

inline os::HANDLE CurrentProcessHandle() { return reinterpret_cast<os::HANDLE>(static_cast<intptr_t>(-1)); }

// Objects that only the code under test asks for, and must close again.
class Counted : public simbase::Object {
public:
    Counted() { ++Live(); }
    ~Counted() override { --Live(); }
    static std::atomic<size_t>& Live() {
        static std::atomic<size_t> live{0};
        return live;
    }
};

// A handle from OpenProcess.
class ProcessObject : public Counted {
public:
    ProcessObject(uint32_t pid, os::DWORD access) : pid(pid), access(access) {}
    const uint32_t pid;
    const os::DWORD access;
};

// A handle from DuplicateHandle: a copy of one row of a handle table.
class RowHandle : public Counted {
public:
    explicit RowHandle(std::shared_ptr<const HandleRow> row) : row(std::move(row)) {}
    const std::shared_ptr<const HandleRow> row;
};

class TokenObject : public Counted {};

// A handle from CreateFileW.
class FileObject : public Counted {
public:
    explicit FileObject(const FileName& file) : file(file) {}
    const FileName file;
};

// The system's case folding of one unit, for names.
char16_t FoldUnit(char16_t c, bool ignoreCase);
bool SameUnits(const std::u16string& a, const std::u16string& b, bool ignoreCase);

// The simulated system's names are UTF-8; its calls speak UTF-16.
std::string Narrow(const os::WCHAR* units, size_t count);
std::string Narrow(const os::WCHAR* units);
std::u16string Wide(const std::string& bytes);
// Copies `text` and its terminator into a buffer of `size` units, as the
// path calls do: its length on success, the size it needs when too small.
os::DWORD CopyOut(const std::u16string& text, os::WCHAR* buffer, os::DWORD size);

// The process behind a process handle (the pseudo handle or one from
// OpenProcess with all of `access`); null with `error` set otherwise.
Process* ProcessOfHandle(Data& data, os::HANDLE handle, os::DWORD access, os::DWORD& error);

// The handle table row that a handle of this process stands for; objects
// made by the system itself are described by a row made up on the spot.
std::shared_ptr<const HandleRow> RowOf(Data& data, os::HANDLE handle);

std::string Describe(os::HANDLE handle);

// Where every simulated process keeps its process block and its parameters.
constexpr uintptr_t kProcessBlock = 0x7FFDE000;
constexpr uintptr_t kProcessParameters = 0x7FFC0000;

os::FARPROC NativeExport(const char* name);
// NtQueryVirtualMemory, of the process views in Memory.cpp.
os::NTSTATUS OSAPI SimNtQueryVirtualMemory(os::HANDLE process, os::PVOID base, os::ULONG infoClass, os::PVOID info,
                                           os::SIZE_T length, os::SIZE_T* returned);
os::FARPROC PsapiExport(const char* name);

}  // namespace detail
}  // namespace sim
