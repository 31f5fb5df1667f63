#include "linux/ProcText.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "search/Paths.h"

namespace proc {

namespace {

// The next field: skips blanks, then takes what runs to the next blank.
std::string_view Field(const char*& p, const char* end) {
    while (p < end && *p == ' ') ++p;
    const char* start = p;
    while (p < end && *p != ' ') ++p;
    return std::string_view(start, static_cast<size_t>(p - start));
}

bool ParseHex(std::string_view text, uint64_t& value) {
    if (text.empty() || text.size() > 16) return false;
    value = 0;
    for (const char c : text) {
        const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (nibble < 0) return false;
        value = value << 4 | static_cast<uint64_t>(nibble);
    }
    return true;
}

}  // namespace

bool StripDeleted(std::string_view& path) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() <= kDeleted.size() || path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) != 0)
        return false;
    path.remove_suffix(kDeleted.size());
    return true;
}

bool ReadWholeFile(int dirFd, const char* path, std::string& text) {
    const int fd = openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char chunk[65536];
    ssize_t n;
    text.clear();
    while ((n = read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) text.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return n == 0;
}

bool ParseDecimal(std::string_view text, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

bool ParseMapsLine(const char* begin, const char* end, Mapping& out) {
    const char* p = begin;
    const std::string_view range = Field(p, end);
    Field(p, end);  // permissions
    Field(p, end);  // offset
    const std::string_view device = Field(p, end);
    const std::string_view inode = Field(p, end);
    uint64_t ino = 0, major = 0, minor = 0;
    if (!ParseDecimal(inode, ino) || ino == 0) return false;
    // The kernel writes the device as major:minor in hex, which stat's
    // encoding of st_dev does not share.
    const size_t colon = device.find(':');
    if (colon == std::string_view::npos || !ParseHex(device.substr(0, colon), major) ||
        !ParseHex(device.substr(colon + 1), minor) || major > 0xFFFFFFFFu || minor > 0xFFFFFFFFu)
        return false;
    while (p < end && *p == ' ') ++p;
    if (p == end) return false;
    const size_t dash = range.find('-');
    if (dash == std::string_view::npos || !ParseHex(range.substr(0, dash), out.start)) return false;
    out.id = FileId{makedev(static_cast<unsigned>(major), static_cast<unsigned>(minor)), ino};
    out.path = std::string_view(p, static_cast<size_t>(end - p));
    return true;
}

std::string UnescapeMapsPath(std::string_view path) {
    std::string name;
    name.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path.compare(i, 4, "\\012") == 0) {
            name += '\n';
            i += 3;
        } else {
            name += path[i];
        }
    }
    return name;
}

bool ParseSocketLink(std::string_view link, uint64_t& inode) {
    constexpr std::string_view kPrefix = "socket:[";
    if (link.size() < kPrefix.size() + 2 || link.compare(0, kPrefix.size(), kPrefix) != 0 || link.back() != ']')
        return false;
    return ParseDecimal(link.substr(kPrefix.size(), link.size() - kPrefix.size() - 1), inode);
}

bool ParseStat(std::string_view text, ProcessStat& stat) {
    const size_t open = text.find(" (");
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2) return false;
    stat.comm = std::string(text.substr(open + 2, close - open - 2));
    // After the name: state (field 3), then numbers; the parent is field 4,
    // threads field 20, the start time field 22.
    const char* p = text.data() + close + 1;
    const char* end = text.data() + text.size();
    const std::string_view state = Field(p, end);
    if (state.size() != 1) return false;
    stat.state = state[0];
    for (int field = 4; field <= 22; ++field) {
        const std::string_view value = Field(p, end);
        if (value.empty()) return false;
        if (field == 4 && !ParseDecimal(value, stat.parent)) return false;
        if (field == 20 && !ParseDecimal(value, stat.threads)) return false;
        if (field == 22 && !ParseDecimal(value, stat.startTime)) return false;
    }
    return true;
}

bool ReadStat(int dirFd, const char* path, ProcessStat& stat) {
    std::string text;
    return ReadWholeFile(dirFd, path, text) && ParseStat(text, stat);
}

bool ProcMountOptions(std::string_view mountinfo, std::string& options) {
    bool found = false;
    ForEachLine(mountinfo.data(), mountinfo.size(), [&](const char* p, const char* end) {
        // ID parent major:minor root mount-point options [optional...] - type source super-options
        Field(p, end);
        Field(p, end);
        Field(p, end);
        Field(p, end);
        if (Field(p, end) != "/proc") return;
        std::string_view field;
        while (!(field = Field(p, end)).empty() && field != "-") {
        }
        if (field != "-" || Field(p, end) != "proc") return;
        Field(p, end);
        options = std::string(Field(p, end));
        found = true;
    });
    return found;
}

std::vector<std::pair<uint64_t, std::string>> ParseUnixSockets(const char* text, size_t length) {
    std::vector<std::pair<uint64_t, std::string>> paths;
    ForEachLine(text, length, [&paths](const char* p, const char* end) {
        // Num: RefCount Protocol Flags Type St Inode Path; the header line has
        // no number for an inode, unbound sockets have no path, abstract ones
        // begin with '@'.
        for (int i = 0; i < 6; ++i) Field(p, end);
        uint64_t inode = 0;
        if (!ParseDecimal(Field(p, end), inode)) return;
        while (p < end && *p == ' ') ++p;
        if (p < end && *p == '/') paths.emplace_back(inode, std::string(p, end));
    });
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string ProcessName(const ProcessStat& stat, std::string_view exe) {
    constexpr size_t kCommLength = 15;
    StripDeleted(exe);
    const std::string_view exeName = FinalComponent(exe, PathStyle::Unix);
    const bool cut = stat.comm.size() == kCommLength && exeName.size() > kCommLength &&
                     exeName.compare(0, kCommLength, stat.comm) == 0;
    return std::string(cut || stat.comm.empty() ? exeName : stat.comm);
}

}  // namespace proc
