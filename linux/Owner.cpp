#include "linux/Owner.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "linux/ProcText.h"
#include "linux/Scan.h"
#include "linux/Watchdog.h"

std::string UserNameOf(int64_t uid) {
    if (uid == Finding::kUnknown) return std::string();
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(static_cast<uid_t>(uid), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(uid);
}

namespace proc {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }
bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A container ID as engines write them: hexadecimal, 12 digits or more.
bool ContainerId(std::string_view text) {
    return text.size() >= 12 &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// "docker-ID.scope" and its kin: the ID between `prefix` and ".scope"
// (or the end, as podman's cgroupfs groups "libpod-ID" have it).
bool Scoped(std::string_view part, std::string_view prefix, std::string& id) {
    if (!StartsWith(part, prefix)) return false;
    part.remove_prefix(prefix.size());
    if (EndsWith(part, ".scope")) part.remove_suffix(6);
    if (!ContainerId(part)) return false;
    id = std::string(part);
    return true;
}

// A pod as the kubelet names its group: "pod<UID>" (cgroupfs) or
// "kubepods-<class>-pod<UID>.slice" (systemd, the UID's '-' written '_').
bool Pod(std::string_view part, std::string& uid) {
    if (!StartsWith(part, "kubepods-")) {
        if (!StartsWith(part, "pod") || part.size() < 4) return false;
        uid = std::string(part.substr(3));
        return true;
    }
    const size_t at = part.rfind("-pod");
    if (at == std::string_view::npos || !EndsWith(part, ".slice")) return false;
    uid = std::string(part.substr(at + 4, part.size() - at - 4 - 6));
    std::replace(uid.begin(), uid.end(), '_', '-');
    return !uid.empty();
}

// What one component of the path tells; `kube`: below a "kubepods" group.
void ReadContainer(std::string_view part, std::string_view before, bool kube, Container& container) {
    static const std::pair<std::string_view, std::string_view> kScopes[] = {
        {"docker-", "docker"}, {"libpod-", "podman"}, {"cri-containerd-", "containerd"}, {"crio-", "cri-o"}};
    std::string id;
    for (const auto& [prefix, runtime] : kScopes) {
        if (Scoped(part, prefix, id)) container = Container{std::string(runtime), id, container.pod};
    }
    // cgroupfs drivers: /docker/ID, /kubepods/CLASS/podUID/ID.
    if (container.runtime.empty() && ContainerId(part) && (before == "docker" || (kube && StartsWith(before, "pod"))))
        container = Container{before == "docker" ? "docker" : "kubernetes", std::string(part), container.pod};
    if (kube && Pod(part, id)) container.pod = id;
}

// The group's path: that of systemd's own v1 hierarchy where it places the
// process below its root (a hybrid system), else cgroup v2's, else the
// first one named.
bool GroupPath(std::string_view text, std::string_view& path) {
    bool found = false;
    int rank = 0;
    ForEachLine(text.data(), text.size(), [&](const char* begin, const char* end) {
        const std::string_view line(begin, static_cast<size_t>(end - begin));
        const size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string_view::npos || second == std::string_view::npos) return;
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const bool root = line.substr(second + 1) == "/";
        const int lineRank = controllers == "name=systemd" && !root                 ? 3
                             : line.substr(0, first) == "0" && controllers.empty() ? 2
                                                                                   : 1;
        if (lineRank <= rank) return;
        rank = lineRank;
        path = line.substr(second + 1);
        found = true;
    });
    return found;
}

}  // namespace

bool ParseCgroup(std::string_view text, Place& place) {
    std::string_view path;
    if (!GroupPath(text, path)) return false;
    place = Place{};
    bool belowUserManager = false, kube = false;
    std::string_view before;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (part.empty()) continue;
        if (EndsWith(part, ".service") || EndsWith(part, ".scope")) {
            place.unit = std::string(part);
            place.userUnit = belowUserManager;
            belowUserManager = belowUserManager || (StartsWith(part, "user@") && EndsWith(part, ".service"));
        }
        kube = kube || StartsWith(part, "kubepods");
        ReadContainer(part, before, kube, place.container);
        before = part;
    }
    return true;
}

namespace {

// A directory of /proc, closed when the last reader lets it go: a reader
// that was given up may still be using it.
struct Dir {
    explicit Dir(int d) : fd(d) {}
    ~Dir() {
        if (fd >= 0) close(fd);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    int fd;
};

bool ReadLink(int dir, const char* name, std::string& target) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = readlinkat(dir, name, &buffer[0], buffer.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            target = std::move(buffer);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// When the system booted, in milliseconds since 1970: the start times in
// stat are counted from there.
int64_t BootMs() {
    timespec now{}, up{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || clock_gettime(CLOCK_BOOTTIME, &up) != 0)
        return ProcessIdentity::kUnknown;
    return (now.tv_sec - up.tv_sec) * 1000 + (now.tv_nsec - up.tv_nsec) / 1000000;
}

// Everything but the command line: none of it waits on the process.
void ReadQuick(int dir, int procRoot, ProcessIdentity& identity) {
    std::string text;
    if (ReadLink(dir, "exe", text)) identity.exe = text;
    ProcessStat stat;
    static const long ticks = sysconf(_SC_CLK_TCK);
    static const int64_t boot = BootMs();
    if (ReadStat(dir, "stat", stat)) {
        if (ticks > 0 && boot != ProcessIdentity::kUnknown)
            identity.startedMs = boot + static_cast<int64_t>(stat.startTime * 1000 / static_cast<uint64_t>(ticks));
        identity.parentPid = static_cast<int64_t>(stat.parent);
        ProcessStat parent;
        const std::string ppid = std::to_string(stat.parent);
        std::string parentExe;
        if (stat.parent != 0 && ReadStat(procRoot, (ppid + "/stat").c_str(), parent)) {
            ReadLink(procRoot, (ppid + "/exe").c_str(), parentExe);
            identity.parentName = ProcessName(parent, parentExe);
        }
    }
    Place place;
    if (ReadWholeFile(dir, "cgroup", text) && ParseCgroup(text, place)) {
        identity.placeRead = true;
        identity.unit = place.unit;
        identity.userUnit = place.userUnit;
        identity.container = place.container;
    }
}

struct CommandLine {
    bool read = false;
    std::vector<std::string> arguments;
};

// The arguments: NUL-terminated strings, the last perhaps without its NUL.
CommandLine ReadCommandLine(int dir, Progress& progress) {
    CommandLine line;
    std::string text;
    line.read = ReadWholeFile(dir, "cmdline", text);
    ++progress;
    for (size_t at = 0; line.read && at < text.size();) {
        const size_t end = std::min(text.find('\0', at), text.size());
        line.arguments.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return line;
}

}  // namespace

std::vector<std::shared_ptr<const ProcessIdentity>> ReadIdentities(const std::vector<Found>& found, int procRoot) {
    std::vector<std::shared_ptr<ProcessIdentity>> read(found.size());
    auto dirs = std::make_shared<std::vector<std::unique_ptr<Dir>>>();
    for (size_t i = 0; i < found.size(); ++i) {
        auto dir = std::make_unique<Dir>(
            openat(procRoot, std::to_string(found[i].pid).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        // A directory opened while the process held still runs is that
        // process's, whatever takes its ID later.
        if (dir->fd >= 0 && (!found[i].held || found[i].held->Running())) {
            read[i] = std::make_shared<ProcessIdentity>();
            ReadQuick(dir->fd, procRoot, *read[i]);
        } else {
            dir = std::make_unique<Dir>(-1);
        }
        dirs->push_back(std::move(dir));
    }
    // Reading the arguments waits for the process's memory map: a process
    // that holds it long is given up, as the scan gives it up.
    auto lines = Watchdog<CommandLine>::Run(found.size(), 1, std::chrono::milliseconds(kStallMilliseconds),
                                            [dirs](size_t i, Progress& progress) {
                                                const int dir = (*dirs)[i]->fd;
                                                return dir < 0 ? CommandLine{} : ReadCommandLine(dir, progress);
                                            });
    std::vector<std::shared_ptr<const ProcessIdentity>> identities;
    for (size_t i = 0; i < found.size(); ++i) {
        if (read[i]) {
            read[i]->commandLineRead = lines.results[i].read;
            read[i]->commandLine = std::move(lines.results[i].arguments);
        }
        identities.push_back(std::move(read[i]));
    }
    return identities;
}

}  // namespace proc
