// Internals of the Linux stand-ins, shared by their files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Records.h"
#include "platform/generic/Objects.h"

namespace standin {
namespace linux_proc {

// Handle value under which a process's current directory is listed; it is
// no descriptor number (those stop at 0xFFFE here).
constexpr uint32_t kCwdHandleValue = 0xFFFF;

// The paths that UNIX sockets are bound to, by the sockets' inodes.
struct UnixSockets {
    std::vector<std::pair<uint64_t, std::string>> paths;  // by inode
    // The path behind a link "socket:[INODE]", or null.
    const std::string* PathOf(const std::string& link) const;
};

// What a descriptor refers to, read from its link text.
struct Descriptor {
    std::string link;      // the kernel's text: an absolute path, "socket:[…]", …
    std::u16string name;   // the link as the platform's records carry it
    const char* type = "";  // its object type name
    // A socket that `sockets` knows by path takes that path as its link.
    void Set(const char* text, size_t length, const UnixSockets* sockets = nullptr);
    bool IsFile() const;
};

// One module of a process: a mapped file, at its lowest address.
struct MappedFile {
    uintptr_t base;
    std::string path;
};

// OpenProcess's object. It holds what the opening checked and read, so the
// queries that follow do not go back to /proc for it.
class Process : public Object {
public:
    static constexpr uint32_t kKind = 1;
    uint32_t Kind() const override { return kKind; }
    uint32_t pid = 0;
    int mapsFd = -1;  // open when the process was opened for reading its memory
    bool modulesRead = false;
    std::vector<MappedFile> modules;
    size_t nextModule = 0;  // GetModuleFileNameExA is asked in list order
    ~Process() override;
};

// DuplicateHandle's object: one descriptor of one process, as it was when
// duplicated, or as the handle table it came from read it.
class DescriptorRef : public Object {
public:
    static constexpr uint32_t kKind = 2;
    uint32_t Kind() const override { return kKind; }
    uint32_t pid = 0;
    uint32_t value = 0;
    std::shared_ptr<const struct HandleTable> table;  // keeps `descriptor` alive
    const Descriptor* descriptor = nullptr;
    Descriptor own;
};

class Token : public Object {};

// The latest system handle table: every descriptor of every process whose
// descriptors could be listed, with its link, as read by one query.
struct HandleTable {
    struct Row {
        uint32_t pid;
        uint32_t value;
        Descriptor descriptor;
    };
    std::vector<Row> rows;             // by process, then by value
    std::vector<uint32_t> listedPids;  // ascending
    const Row* Find(uint32_t pid, uint32_t value) const;
    bool Listed(uint32_t pid) const;
};
std::shared_ptr<const HandleTable> LatestHandleTable();

// The descriptor behind a handle usable in this process: a duplicate, or
// one of this process's own descriptors. Null when there is none.
std::shared_ptr<const DescriptorRef> ResolveDescriptor(os::HANDLE handle);

// Reads the link of descriptor `value` of `pid` (or the current directory).
bool ReadDescriptor(uint32_t pid, uint32_t value, Descriptor& out);

// Parses the text of /proc/PID/maps into its mapped files, in address order.
void ParseMaps(const char* text, size_t length, std::vector<MappedFile>& out);

// Reads a whole /proc file that was opened as fd.
bool ReadAll(int fd, std::string& out);

// The bound UNIX sockets of this network namespace, from /proc/net/unix
// (empty when it cannot be read), and the parser of its text.
std::shared_ptr<const UnixSockets> ReadUnixSockets();
void ParseUnixSockets(const char* text, size_t length, UnixSockets& out);

// The process ID on the "Pid:" line of a pidfd's fdinfo text; false when
// there is none, or it is no process of this namespace.
bool ParsePidLine(const std::string& fdinfo, uint32_t& pid);
// The effective capabilities on the "CapEff:" line of a status text.
bool ParseCapEff(const std::string& status, uint64_t& capabilities);

os::DWORD ErrorFromErrno(int error);

// The entry points that GetProcAddress hands out for ntdll.dll and PSAPI.DLL.
os::FARPROC NativeEntryPoint(const char* name);
os::FARPROC PsapiEntryPoint(const char* name);

}  // namespace linux_proc
}  // namespace standin
