// The native query entry points, answered from /proc in the platform's own
// record layouts.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/Api.h"
#include "platform/generic/Parallel.h"
#include "platform/generic/Utf.h"
#include "platform/linux/Linux.h"

using namespace standin::linux_proc;

namespace {

using Clock = std::chrono::steady_clock;

// The latest handle table stands in for the kernel's momentary copy: the
// queries on the duplicates made from it answer from its reading, so that no
// descriptor's link is read twice in one search. Past this age it no longer
// serves.
constexpr auto kTableLifetime = std::chrono::seconds(5);

struct LatestTable {
    standin::SpinLock mutex;
    std::shared_ptr<const HandleTable> table = std::make_shared<HandleTable>();
    Clock::time_point readAt;
};

LatestTable& Latest() {
    static LatestTable* latest = new LatestTable;
    return *latest;
}

bool IsPid(const char* name) {
    if (*name == '\0') return false;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
    }
    return true;
}

std::vector<uint32_t> ListPids() {
    std::vector<uint32_t> pids;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return pids;
    while (dirent* entry = readdir(proc)) {
        if (IsPid(entry->d_name)) pids.push_back(static_cast<uint32_t>(std::strtoul(entry->d_name, nullptr, 10)));
    }
    closedir(proc);
    std::sort(pids.begin(), pids.end());
    return pids;
}

template <typename T>
T* At(void* buffer, size_t offset) {
    return reinterpret_cast<T*>(static_cast<unsigned char*>(buffer) + offset);
}

constexpr size_t Align8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }

// ---- process records --------------------------------------------------

// The image name: the executable's file name where it can be read,
// otherwise the kernel's command name.
std::u16string ImageName(uint32_t pid) {
    char path[64];
    char text[4096];
    std::snprintf(path, sizeof path, "/proc/%u/exe", pid);
    ssize_t length = readlink(path, text, sizeof text);
    if (length > 0 && static_cast<size_t>(length) < sizeof text) {
        const char* name = static_cast<const char*>(memrchr(text, '/', static_cast<size_t>(length)));
        name = name != nullptr ? name + 1 : text;
        return standin::Utf8ToUtf16(name, static_cast<size_t>(text + length - name));
    }
    std::snprintf(path, sizeof path, "/proc/%u/comm", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::u16string();
    length = read(fd, text, sizeof text);
    close(fd);
    if (length <= 0) return std::u16string();
    if (text[length - 1] == '\n') --length;
    return standin::Utf8ToUtf16(text, static_cast<size_t>(length));
}

// Room that one process's record can need at most: the record and a file
// name of 255 bytes, each byte a UTF-16 unit.
constexpr size_t kMaxProcessRecord = Align8(sizeof(os::SYSTEM_PROCESS_INFORMATION) + (255 + 1) * sizeof(os::WCHAR));

os::NTSTATUS QueryProcesses(void* buffer, os::ULONG length, os::PULONG returnLength) {
    std::vector<uint32_t> pids = ListPids();
    // Too small even if every name were short: say so before reading names.
    size_t bound = pids.size() * kMaxProcessRecord;
    size_t least = pids.size() * Align8(sizeof(os::SYSTEM_PROCESS_INFORMATION) + sizeof(os::WCHAR));
    if (length < least || buffer == nullptr) {
        if (returnLength != nullptr) *returnLength = static_cast<os::ULONG>(bound);
        return os::STATUS_INFO_LENGTH_MISMATCH;
    }
    std::vector<std::u16string> names(pids.size());
    standin::ForEachOnTwo(pids.size(), [&](size_t i) { names[i] = ImageName(pids[i]); });
    size_t used = 0;
    size_t previous = 0;
    bool fits = true;
    for (size_t i = 0; i < pids.size(); ++i) {
        const uint32_t pid = pids[i];
        const std::u16string& name = names[i];
        size_t nameBytes = name.size() * sizeof(os::WCHAR);
        size_t size = Align8(sizeof(os::SYSTEM_PROCESS_INFORMATION) + nameBytes + sizeof(os::WCHAR));
        if (fits && used + size <= length) {
            auto* record = At<os::SYSTEM_PROCESS_INFORMATION>(buffer, used);
            std::memset(record, 0, sizeof *record);
            auto* text = At<os::WCHAR>(buffer, used + sizeof *record);
            std::memcpy(text, name.data(), nameBytes);
            text[name.size()] = 0;
            record->ImageName.Length = static_cast<os::USHORT>(nameBytes);
            record->ImageName.MaximumLength = static_cast<os::USHORT>(nameBytes + sizeof(os::WCHAR));
            record->ImageName.Buffer = text;
            record->UniqueProcessId = reinterpret_cast<os::HANDLE>(static_cast<uintptr_t>(pid));
            if (used != 0) At<os::SYSTEM_PROCESS_INFORMATION>(buffer, previous)->NextEntryOffset =
                static_cast<os::ULONG>(used - previous);
            previous = used;
        } else {
            fits = false;
        }
        used += size;
    }
    if (returnLength != nullptr) *returnLength = static_cast<os::ULONG>(used);
    return fits ? os::STATUS_SUCCESS : os::STATUS_INFO_LENGTH_MISMATCH;
}

// ---- handle table -----------------------------------------------------

// Descriptors of one process, read through its descriptor directory.
void ReadProcessDescriptors(uint32_t pid, const UnixSockets& sockets, HandleTable& table) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/fd", pid);
    int dirFd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return;
    DIR* dir = fdopendir(dirFd);
    if (dir == nullptr) {
        close(dirFd);
        return;
    }
    table.listedPids.push_back(pid);
    size_t first = table.rows.size();
    char link[4096];
    while (dirent* entry = readdir(dir)) {
        if (!IsPid(entry->d_name)) continue;
        unsigned long value = std::strtoul(entry->d_name, nullptr, 10);
        // A handle value has 16 bits, and the top one is the directory's.
        if (value >= kCwdHandleValue) continue;
        ssize_t length = readlinkat(dirFd, entry->d_name, link, sizeof link);
        // The kernel lets this process read all of another's links or none.
        if (length < 0 && (errno == EACCES || errno == EPERM)) break;
        if (length < 0 || static_cast<size_t>(length) >= sizeof link) continue;
        table.rows.push_back(HandleTable::Row{pid, static_cast<uint32_t>(value), Descriptor()});
        table.rows.back().descriptor.Set(link, static_cast<size_t>(length), &sockets);
    }
    closedir(dir);
    std::sort(table.rows.begin() + static_cast<ptrdiff_t>(first), table.rows.end(),
              [](const HandleTable::Row& a, const HandleTable::Row& b) { return a.value < b.value; });
    // The current directory counts as an open handle to it, as on Windows.
    HandleTable::Row cwd{pid, kCwdHandleValue, Descriptor()};
    if (ReadDescriptor(pid, kCwdHandleValue, cwd.descriptor)) table.rows.push_back(std::move(cwd));
}

// Descriptors the system holds now, counted without reading their links.
size_t CountDescriptors(const std::vector<uint32_t>& pids) {
    size_t count = 0;
    char path[64];
    for (uint32_t pid : pids) {
        std::snprintf(path, sizeof path, "/proc/%u/fd", pid);
        struct stat status;
        // The kernel gives the number of open descriptors as the size.
        if (stat(path, &status) == 0) count += static_cast<size_t>(status.st_size) + 1;
    }
    return count;
}

// Reading the links is most of a search's work; both cores read, each
// process's rows apart, and the rows are joined in process order.
std::shared_ptr<HandleTable> ReadHandleTable(const std::vector<uint32_t>& pids) {
    auto table = std::make_shared<HandleTable>();
    // Read once for every descriptor: sockets bound to a path are files.
    const std::shared_ptr<const UnixSockets> sockets = ReadUnixSockets();
    std::vector<HandleTable> parts(pids.size());
    standin::ForEachOnTwo(pids.size(), [&](size_t i) { ReadProcessDescriptors(pids[i], *sockets, parts[i]); });
    size_t rows = 0;
    for (const HandleTable& part : parts) rows += part.rows.size();
    table->rows.reserve(rows);
    for (HandleTable& part : parts) {
        table->rows.insert(table->rows.end(), std::make_move_iterator(part.rows.begin()),
                           std::make_move_iterator(part.rows.end()));
        table->listedPids.insert(table->listedPids.end(), part.listedPids.begin(), part.listedPids.end());
    }
    return table;
}

size_t HandleTableSize(size_t rows) {
    return offsetof(os::SYSTEM_HANDLE_INFORMATION, Handles) + rows * sizeof(os::SYSTEM_HANDLE);
}

os::NTSTATUS QueryHandles(void* buffer, os::ULONG length, os::PULONG returnLength) {
    std::vector<uint32_t> pids = ListPids();
    size_t estimate = HandleTableSize(CountDescriptors(pids));
    if (length < estimate || buffer == nullptr) {
        if (returnLength != nullptr) *returnLength = static_cast<os::ULONG>(estimate);
        return os::STATUS_INFO_LENGTH_MISMATCH;
    }
    std::shared_ptr<HandleTable> table = ReadHandleTable(pids);
    size_t needed = HandleTableSize(table->rows.size());
    if (returnLength != nullptr) *returnLength = static_cast<os::ULONG>(needed);
    if (length < needed) return os::STATUS_INFO_LENGTH_MISMATCH;
    auto* info = static_cast<os::SYSTEM_HANDLE_INFORMATION*>(buffer);
    info->HandleCount = static_cast<os::ULONG>(table->rows.size());
    for (size_t i = 0; i < table->rows.size(); ++i) {
        const HandleTable::Row& row = table->rows[i];
        os::SYSTEM_HANDLE* out = At<os::SYSTEM_HANDLE>(buffer, HandleTableSize(i));
        std::memset(out, 0, sizeof *out);
        out->ProcessId = row.pid;
        out->Handle = static_cast<os::USHORT>(row.value);
    }
    LatestTable& latest = Latest();
    std::lock_guard<standin::SpinLock> lock(latest.mutex);
    latest.table = std::move(table);
    latest.readAt = Clock::now();
    return os::STATUS_SUCCESS;
}

// ---- object records ---------------------------------------------------

// Writes a counted string record followed by its characters into buffer.
template <typename Record>
os::NTSTATUS WriteNamed(const char16_t* name, size_t units, void* buffer, os::ULONG length, os::PULONG returnLength,
                        os::UNICODE_STRING Record::*field) {
    size_t nameBytes = units * sizeof(os::WCHAR);
    size_t needed = sizeof(Record) + nameBytes + sizeof(os::WCHAR);
    if (returnLength != nullptr) *returnLength = static_cast<os::ULONG>(needed);
    if (buffer == nullptr || length < needed) return os::STATUS_INFO_LENGTH_MISMATCH;
    if (nameBytes + sizeof(os::WCHAR) > 0xFFFF) return os::STATUS_BUFFER_OVERFLOW;
    auto* record = static_cast<Record*>(buffer);
    std::memset(record, 0, sizeof *record);
    auto* chars = At<os::WCHAR>(buffer, sizeof(Record));
    std::memcpy(chars, name, nameBytes);
    chars[units] = 0;
    (record->*field).Length = static_cast<os::USHORT>(nameBytes);
    (record->*field).MaximumLength = static_cast<os::USHORT>(nameBytes + sizeof(os::WCHAR));
    (record->*field).Buffer = chars;
    return os::STATUS_SUCCESS;
}

os::NTSTATUS OSAPI NtQuerySystemInformation(os::ULONG infoClass, os::PVOID buffer, os::ULONG length,
                                             os::PULONG returnLength) {
    if (infoClass == os::SystemProcessInformation) return QueryProcesses(buffer, length, returnLength);
    if (infoClass == os::SystemHandleInformation) return QueryHandles(buffer, length, returnLength);
    return os::STATUS_INVALID_INFO_CLASS;
}

os::NTSTATUS OSAPI NtQueryObject(os::HANDLE handle, os::ULONG infoClass, os::PVOID buffer, os::ULONG length,
                                  os::PULONG returnLength) {
    auto ref = ResolveDescriptor(handle);
    if (!ref) return os::STATUS_INVALID_HANDLE;
    const Descriptor& descriptor = *ref->descriptor;
    if (infoClass == os::ObjectTypeInformation) {
        char16_t type[32];
        size_t units = 0;
        for (const char* c = descriptor.type; *c != '\0' && units < 31; ++c) type[units++] = static_cast<char16_t>(*c);
        return WriteNamed(type, units, buffer, length, returnLength, &os::OBJECT_TYPE_INFORMATION::TypeName);
    }
    if (infoClass == os::ObjectNameInformation)
        return WriteNamed(descriptor.name.data(), descriptor.name.size(), buffer, length, returnLength,
                          &os::OBJECT_NAME_INFORMATION::Name);
    return os::STATUS_INVALID_INFO_CLASS;
}

os::NTSTATUS OSAPI NtQueryInformationFile(os::HANDLE handle, os::IO_STATUS_BLOCK* status, os::PVOID buffer,
                                           os::ULONG length, os::ULONG infoClass) {
    if (infoClass != os::FileNameInformation) return os::STATUS_INVALID_INFO_CLASS;
    auto ref = ResolveDescriptor(handle);
    if (!ref) return os::STATUS_INVALID_HANDLE;
    const Descriptor& descriptor = *ref->descriptor;
    if (!descriptor.IsFile()) return os::STATUS_OBJECT_TYPE_MISMATCH;
    const size_t header = offsetof(os::FILE_NAME_INFORMATION, FileName);
    if (length < header) return os::STATUS_INFO_LENGTH_MISMATCH;
    auto* info = static_cast<os::FILE_NAME_INFORMATION*>(buffer);
    size_t bytes = descriptor.name.size() * sizeof(os::WCHAR);
    info->FileNameLength = static_cast<os::ULONG>(bytes);
    // Like the real system: as much as fits, the full length, and an overflow.
    size_t fit = std::min(bytes, static_cast<size_t>(length) - header);
    std::memcpy(At<os::WCHAR>(buffer, header), descriptor.name.data(), fit);
    os::NTSTATUS result = fit < bytes ? os::STATUS_BUFFER_OVERFLOW : os::STATUS_SUCCESS;
    if (status != nullptr) {
        status->Status = result;
        status->Information = header + fit;
    }
    return result;
}

// The process ID behind a pidfd, from the kernel's description of it.
bool PidOfPidfd(uint32_t ownerPid, uint32_t value, uint32_t& pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/fdinfo/%u", ownerPid, value);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string text;
    bool read = ReadAll(fd, text);
    close(fd);
    return read && ParsePidLine(text, pid);
}

os::NTSTATUS OSAPI NtQueryInformationProcess(os::HANDLE handle, os::ULONG infoClass, os::PVOID buffer,
                                              os::ULONG length, os::PULONG returnLength) {
    if (infoClass != os::ProcessBasicInformation) return os::STATUS_INVALID_INFO_CLASS;
    if (length < sizeof(os::PROCESS_BASIC_INFORMATION)) return os::STATUS_INFO_LENGTH_MISMATCH;
    uint32_t pid = 0;
    if (handle == os::GetCurrentProcess()) {
        pid = os::GetCurrentProcessId();
    } else if (auto process = standin::LookupHandleAs<Process>(handle)) {
        pid = process->pid;
    } else {
        auto ref = ResolveDescriptor(handle);
        if (!ref) return os::STATUS_INVALID_HANDLE;
        if (std::strcmp(ref->descriptor->type, "Process") != 0 || !PidOfPidfd(ref->pid, ref->value, pid))
            return os::STATUS_OBJECT_TYPE_MISMATCH;
    }
    auto* info = static_cast<os::PROCESS_BASIC_INFORMATION*>(buffer);
    std::memset(info, 0, sizeof *info);
    info->UniqueProcessId = pid;
    if (returnLength != nullptr) *returnLength = sizeof *info;
    return os::STATUS_SUCCESS;
}

// Linux descriptors never refer to a thread the way Windows handles do.
os::NTSTATUS OSAPI NtQueryInformationThread(os::HANDLE, os::ULONG infoClass, os::PVOID, os::ULONG, os::PULONG) {
    if (infoClass != os::ThreadBasicInformation) return os::STATUS_INVALID_INFO_CLASS;
    return os::STATUS_OBJECT_TYPE_MISMATCH;
}

}  // namespace

namespace standin {
namespace linux_proc {

std::shared_ptr<const HandleTable> LatestHandleTable() {
    LatestTable& latest = Latest();
    std::lock_guard<standin::SpinLock> lock(latest.mutex);
    static const auto empty = std::make_shared<const HandleTable>();
    return Clock::now() - latest.readAt < kTableLifetime ? latest.table : empty;
}

const HandleTable::Row* HandleTable::Find(uint32_t pid, uint32_t value) const {
    // The system asks about the rows in their order: look next to the last
    // one found before searching.
    thread_local const Row* last = nullptr;
    if (last != nullptr && last >= rows.data() && last < rows.data() + rows.size()) {
        for (const Row* row = last; row < rows.data() + rows.size() && row <= last + 1; ++row) {
            if (row->pid == pid && row->value == value) return last = row;
        }
    }
    auto at = std::lower_bound(rows.begin(), rows.end(), std::make_pair(pid, value),
                               [](const Row& row, const std::pair<uint32_t, uint32_t>& key) {
                                   return std::make_pair(row.pid, row.value) < key;
                               });
    if (at == rows.end() || at->pid != pid || at->value != value) return nullptr;
    return last = &*at;
}

bool HandleTable::Listed(uint32_t pid) const {
    thread_local const uint32_t* last = nullptr;
    if (last != nullptr && last >= listedPids.data() && last < listedPids.data() + listedPids.size() && *last == pid)
        return true;
    auto at = std::lower_bound(listedPids.begin(), listedPids.end(), pid);
    if (at == listedPids.end() || *at != pid) return false;
    last = &*at;
    return true;
}

os::FARPROC NativeEntryPoint(const char* name) {
    struct Entry {
        const char* name;
        os::FARPROC proc;
    };
    static const Entry kEntries[] = {
        {"NtQuerySystemInformation", reinterpret_cast<os::FARPROC>(&NtQuerySystemInformation)},
        {"NtQueryObject", reinterpret_cast<os::FARPROC>(&NtQueryObject)},
        {"NtQueryInformationThread", reinterpret_cast<os::FARPROC>(&NtQueryInformationThread)},
        {"NtQueryInformationFile", reinterpret_cast<os::FARPROC>(&NtQueryInformationFile)},
        {"NtQueryInformationProcess", reinterpret_cast<os::FARPROC>(&NtQueryInformationProcess)},
    };
    for (const Entry& entry : kEntries) {
        if (std::strcmp(entry.name, name) == 0) return entry.proc;
    }
    return nullptr;
}

}  // namespace linux_proc
}  // namespace standin
