// Reading /proc: descriptor links, maps text, error codes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string_view>

#include "platform/generic/Utf.h"
#include "platform/linux/Linux.h"

namespace standin {
namespace linux_proc {

namespace {

const char* TypeOfLink(const std::string& link) {
    // Windows names every file and directory object "File"; the other kinds
    // take the nearest name of the fixed type table, or none of them.
    struct Kind {
        const char* prefix;
        const char* type;
    };
    static const Kind kKinds[] = {
        {"socket:", "Port"},
        {"pipe:", "Port"},
        {"anon_inode:[eventfd]", "Event"},
        {"anon_inode:[signalfd]", "Event"},
        {"anon_inode:inotify", "Event"},
        {"anon_inode:[fanotify]", "Event"},
        {"anon_inode:[timerfd]", "Timer"},
        {"anon_inode:[eventpoll]", "IoCompletion"},
        {"anon_inode:[io_uring]", "IoCompletion"},
        {"anon_inode:[pidfd]", "Process"},
        {"mnt:[", "Directory"},
        {"net:[", "Directory"},
        {"pid:[", "Directory"},
        {"user:[", "Directory"},
        {"uts:[", "Directory"},
        {"ipc:[", "Directory"},
        {"cgroup:[", "Directory"},
        {"time:[", "Directory"},
    };
    if (!link.empty() && link[0] == '/') return "File";
    for (const Kind& kind : kKinds) {
        if (link.compare(0, std::strlen(kind.prefix), kind.prefix) == 0) return kind.type;
    }
    return "anon_inode";
}

}  // namespace

void Descriptor::Set(const char* text, size_t length, const UnixSockets* sockets) {
    link.assign(text, length);
    // A UNIX socket bound to a path uses that file, as fuser and lsof count
    // it: it stands for the file, named by its path.
    const std::string* bound = sockets != nullptr ? sockets->PathOf(link) : nullptr;
    if (bound != nullptr) link = *bound;
    type = TypeOfLink(link);
    name = Utf8ToUtf16(link.data(), link.size());
}

bool Descriptor::IsFile() const { return link.size() > 0 && link[0] == '/'; }

bool ReadDescriptor(uint32_t pid, uint32_t value, Descriptor& out) {
    char path[64];
    if (value == kCwdHandleValue)
        std::snprintf(path, sizeof path, "/proc/%u/cwd", pid);
    else
        std::snprintf(path, sizeof path, "/proc/%u/fd/%u", pid, value);
    char link[4096];
    ssize_t length = readlink(path, link, sizeof link);
    if (length < 0 || static_cast<size_t>(length) >= sizeof link) return false;
    std::shared_ptr<const UnixSockets> sockets;
    if (std::string_view(link, static_cast<size_t>(length)).compare(0, 8, "socket:[") == 0) sockets = ReadUnixSockets();
    out.Set(link, static_cast<size_t>(length), sockets.get());
    return true;
}

const std::string* UnixSockets::PathOf(const std::string& link) const {
    // "socket:[INODE]"
    if (link.size() < 10 || link.compare(0, 8, "socket:[") != 0 || link.back() != ']') return nullptr;
    uint64_t inode = 0;
    for (size_t i = 8; i + 1 < link.size(); ++i) {
        const char c = link[i];
        if (c < '0' || c > '9' || inode > (UINT64_MAX - 9) / 10) return nullptr;
        inode = inode * 10 + static_cast<uint64_t>(c - '0');
    }
    auto at = std::lower_bound(paths.begin(), paths.end(), inode,
                               [](const std::pair<uint64_t, std::string>& entry, uint64_t key) { return entry.first < key; });
    return at != paths.end() && at->first == inode ? &at->second : nullptr;
}

std::shared_ptr<const UnixSockets> ReadUnixSockets() {
    auto sockets = std::make_shared<UnixSockets>();
    int fd = open("/proc/net/unix", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return sockets;
    std::string text;
    if (ReadAll(fd, text)) ParseUnixSockets(text.data(), text.size(), *sockets);
    close(fd);
    return sockets;
}

bool ReadAll(int fd, std::string& out) {
    // Most /proc files fit this at once; the rest grow the text as they go.
    char chunk[16384];
    out.clear();
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return false;
        }
        if (n == 0) return true;
        out.append(chunk, static_cast<size_t>(n));
    }
}

namespace {

// Field i (0-based) of a maps line starts after i runs of blanks.
const char* SkipFields(const char* p, const char* end, int fields) {
    for (int i = 0; i < fields; ++i) {
        while (p < end && *p != ' ') ++p;
        while (p < end && *p == ' ') ++p;
    }
    return p;
}

// The kernel writes a newline in a mapped file's name as \012.
std::string Unescape(const char* p, const char* end) {
    std::string path(p, end);
    size_t at = path.find("\\012");
    while (at != std::string::npos) {
        path.replace(at, 4, "\n");
        at = path.find("\\012", at + 1);
    }
    return path;
}

// Calls line(begin, end) for each line of a /proc text, without its newline.
template <typename Line>
void ForEachLine(const char* text, size_t length, Line line) {
    const char* p = text;
    const char* end = text + length;
    while (p < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (lineEnd == nullptr) lineEnd = end;
        line(p, lineEnd);
        p = lineEnd + 1;
    }
}

}  // namespace

void ParseMaps(const char* text, size_t length, std::vector<MappedFile>& out) {
    out.clear();
    ForEachLine(text, length, [&out](const char* p, const char* lineEnd) {
        // start-end perms offset dev inode path
        const char* inode = SkipFields(p, lineEnd, 4);
        const char* path = SkipFields(inode, lineEnd, 1);
        if (path >= lineEnd || *path != '/' || (inode[0] == '0' && inode[1] == ' ')) return;
        std::string_view raw(path, static_cast<size_t>(lineEnd - path));
        // A file's mappings mostly stand together; the first is its lowest.
        bool escaped = raw.find('\\') != std::string_view::npos;
        if (!escaped && !out.empty() && out.back().path == raw) return;
        std::string name = escaped ? Unescape(path, lineEnd) : std::string(raw);
        for (const MappedFile& file : out) {
            if (file.path == name) return;
        }
        out.push_back(MappedFile{static_cast<uintptr_t>(std::strtoull(p, nullptr, 16)), std::move(name)});
    });
}

void ParseUnixSockets(const char* text, size_t length, UnixSockets& out) {
    out.paths.clear();
    ForEachLine(text, length, [&out](const char* p, const char* lineEnd) {
        // Num: RefCount Protocol Flags Type St Inode Path; the header line
        // and unbound sockets have no path, abstract ones begin with '@'.
        const char* inode = SkipFields(p, lineEnd, 6);
        const char* path = SkipFields(inode, lineEnd, 1);
        if (path >= lineEnd || *path != '/') return;
        uint64_t number = 0;
        bool digits = inode < path;
        for (const char* c = inode; c < path && *c != ' '; ++c) {
            digits = digits && *c >= '0' && *c <= '9' && number <= (UINT64_MAX - 9) / 10;
            if (digits) number = number * 10 + static_cast<uint64_t>(*c - '0');
        }
        if (digits) out.paths.emplace_back(number, std::string(path, lineEnd));
    });
    std::sort(out.paths.begin(), out.paths.end());
}

bool ParsePidLine(const std::string& fdinfo, uint32_t& pid) {
    size_t at = fdinfo.compare(0, 4, "Pid:") == 0 ? 0 : fdinfo.find("\nPid:");
    if (at == std::string::npos) return false;
    at += fdinfo[at] == '\n' ? 5 : 4;
    while (at < fdinfo.size() && (fdinfo[at] == ' ' || fdinfo[at] == '\t')) ++at;
    // A process of another namespace, or one that has ended, shows as -1.
    uint64_t id = 0;
    size_t digits = 0;
    for (; at < fdinfo.size() && fdinfo[at] >= '0' && fdinfo[at] <= '9'; ++at, ++digits) {
        id = id * 10 + static_cast<uint64_t>(fdinfo[at] - '0');
        if (id > UINT32_MAX) return false;
    }
    if (digits == 0 || id == 0) return false;
    pid = static_cast<uint32_t>(id);
    return true;
}

bool ParseCapEff(const std::string& status, uint64_t& capabilities) {
    size_t at = status.compare(0, 7, "CapEff:") == 0 ? 0 : status.find("\nCapEff:");
    if (at == std::string::npos) return false;
    at += status[at] == '\n' ? 8 : 7;
    while (at < status.size() && (status[at] == ' ' || status[at] == '\t')) ++at;
    uint64_t value = 0;
    size_t digits = 0;
    for (; at < status.size(); ++at, ++digits) {
        const char c = status[at];
        const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                            : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (nibble < 0) break;
        if (digits == 16) return false;  // more than 64 bits
        value = value << 4 | static_cast<uint64_t>(nibble);
    }
    if (digits == 0) return false;
    capabilities = value;
    return true;
}

os::DWORD ErrorFromErrno(int error) {
    switch (error) {
    case 0: return os::ERROR_SUCCESS;
    case ENOENT: return os::ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return os::ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return os::ERROR_ACCESS_DENIED;
    case EBADF: return os::ERROR_INVALID_HANDLE;
    case ENOMEM: return os::ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return os::ERROR_FILENAME_EXCED_RANGE;
    case ESRCH: return os::ERROR_INVALID_PARAMETER;
    default: return os::ERROR_INVALID_FUNCTION;
    }
}

}  // namespace linux_proc
}  // namespace standin
