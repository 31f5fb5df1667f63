// Parsers of the /proc texts that the Linux search reads. They take the
// text as the kernel gave it and never read outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace proc {

// A file's identity: device (as stat's st_dev encodes it) and inode.
struct FileId {
    uint64_t dev = 0;
    uint64_t ino = 0;
    bool operator==(const FileId& other) const { return dev == other.dev && ino == other.ino; }
    bool operator!=(const FileId& other) const { return !(*this == other); }
    bool operator<(const FileId& other) const { return dev != other.dev ? dev < other.dev : ino < other.ino; }
};

// One line of /proc/PID/maps that maps a file.
struct Mapping {
    uint64_t start = 0;
    FileId id;
    std::string_view path;  // as written: a newline in a name is "\012"
};

// Calls line(begin, end) for each line of a text, without its newline.
template <typename Line>
void ForEachLine(const char* text, size_t length, Line&& line) {
    const char* p = text;
    const char* end = text + length;
    while (p < end) {
        const void* found = std::memchr(p, '\n', static_cast<size_t>(end - p));
        const char* lineEnd = found != nullptr ? static_cast<const char*>(found) : end;
        line(p, lineEnd);
        p = lineEnd + 1;
    }
}

// "start-end perms offset major:minor inode path"; false for a line that
// maps no file (inode 0, or no path) or that is not of this form.
bool ParseMapsLine(const char* begin, const char* end, Mapping& out);

// A maps path as the file is named: "\012" stands for a newline.
std::string UnescapeMapsPath(std::string_view path);

// The paths that UNIX sockets are bound to, by socket inode, from the text
// of /proc/net/unix; sorted by inode. Abstract and unbound sockets are left
// out.
std::vector<std::pair<uint64_t, std::string>> ParseUnixSockets(const char* text, size_t length);

// The inode in a descriptor link "socket:[INODE]".
bool ParseSocketLink(std::string_view link, uint64_t& inode);

// Takes the " (deleted)" the kernel adds to the name of a file that has
// none left off `path`; false when it has no such end.
bool StripDeleted(std::string_view& path);

// What /proc/PID/stat tells of a process.
struct ProcessStat {
    std::string comm;         // the kernel's name of the command, at most 15 bytes
    char state = '?';         // R, S, D, Z, ...
    uint64_t parent = 0;      // the parent's process ID; 0 for none
    uint64_t threads = 0;     // the threads counted by the kernel
    uint64_t startTime = 0;   // in clock ticks after boot
};

// The name ps shows: the kernel's name of the command, but the executable's
// whole name where the kernel cut that to its first 15 bytes. `exe` is the
// executable's path, or empty.
std::string ProcessName(const ProcessStat& stat, std::string_view exe);

// "pid (comm) state ppid ..."; the command's name may hold any byte, ") "
// too. False for a text not of that form.
bool ParseStat(std::string_view text, ProcessStat& stat);

// Reads and parses the stat file `path`, relative to `dirFd`.
bool ReadStat(int dirFd, const char* path, ProcessStat& stat);

// The file system options of the proc file system mounted on top at /proc,
// from the text of /proc/self/mountinfo ("rw,hidepid=invisible"); false
// when none is.
bool ProcMountOptions(std::string_view mountinfo, std::string& options);

// Reads a whole file (a /proc text), `path` relative to `dirFd`, into `text`.
bool ReadWholeFile(int dirFd, const char* path, std::string& text);

// A decimal number of at most 19 digits that is all of `text`.
bool ParseDecimal(std::string_view text, uint64_t& value);

}  // namespace proc
