#include "linux/Scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <sys/syscall.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "linux/Hold.h"
#include "linux/Watchdog.h"
#include "search/Paths.h"

namespace proc {

namespace {

// What every thread of a scan reads; it outlives the scan while a thread
// that was given up still runs.
struct Context {
    std::vector<Target> targets;
    std::vector<std::pair<FileId, uint32_t>> byId;  // identity targets, by id and maps id
    std::vector<uint32_t> others;                   // the rest, compared one by one
    bool needIds = false;
    bool needText = false;
    bool socketTargets = false;  // some target has sockets bound to it
    uint64_t ownMounts = 0;  // this process's mount namespace
    uint32_t self = 0;
    // Whether the /proc is of this process's own PID namespace, so that its
    // process IDs are the ones a hold or kcmp() takes.
    bool ownPids = false;
    uint64_t pidfdLimit = PidfdLimit();  // read once for the scan
    int root = -1;  // the /proc being read; owned

    // The bound UNIX sockets, read once when a name is first wanted.
    std::once_flag socketsRead;
    std::vector<std::pair<uint64_t, std::string>> sockets;

    Context(const std::vector<Target>& t, int procRoot);
    ~Context() {
        if (root >= 0) close(root);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    const std::string* BoundPath(uint64_t inode);
};

uint64_t MountNamespace(int dirFd, const char* name) {
    struct statx stx;
    return statx(dirFd, name, 0, STATX_INO, &stx) == 0 ? stx.stx_ino : 0;
}

Context::Context(const std::vector<Target>& t, int procRoot)
    : targets(t), self(static_cast<uint32_t>(getpid())), root(fcntl(procRoot, F_DUPFD_CLOEXEC, 0)) {
    for (uint32_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        if (target.match == Target::Match::Identity) {
            byId.emplace_back(target.id, i);
            if (target.mapsId != target.id) byId.emplace_back(target.mapsId, i);
        } else {
            others.push_back(i);
        }
        needIds = needIds || target.match == Target::Match::Identity || target.match == Target::Match::Device;
        needText = needText || target.match == Target::Match::Name || target.match == Target::Match::Tree;
        socketTargets = socketTargets || !target.sockets.empty();
    }
    std::sort(byId.begin(), byId.end());
    ownMounts = MountNamespace(root, "self/ns/mnt");
    char link[16];
    const ssize_t n = readlinkat(root, "self", link, sizeof link);
    ownPids = n > 0 && std::string(link, static_cast<size_t>(n)) == std::to_string(self);
}

const std::string* Context::BoundPath(uint64_t inode) {
    std::call_once(socketsRead, [this] {
        std::string text;
        if (ReadWholeFile(root, "net/unix", text)) sockets = ParseUnixSockets(text.data(), text.size());
    });
    auto at = std::lower_bound(sockets.begin(), sockets.end(), inode,
                               [](const std::pair<uint64_t, std::string>& e, uint64_t key) { return e.first < key; });
    return at != sockets.end() && at->first == inode ? &at->second : nullptr;
}

FileId IdOf(const struct statx& stx) { return FileId{makedev(stx.stx_dev_major, stx.stx_dev_minor), stx.stx_ino}; }

// What a candidate offers for comparison: its identity where it was taken,
// and its path text where it was read.
struct Candidate {
    bool haveId = false;
    FileId id;
    bool socket = false;
    const std::string_view* text = nullptr;
};

enum class Outcome { Examined, Refused, Gone };

// The name ps shows: the kernel's name of the command, but the executable's
// whole name where the kernel cut that to its first 15 bytes. `exe` is the
// executable's path, or empty.
std::string ProcessName(const ProcessStat& stat, std::string_view exe) {
    constexpr size_t kCommLength = 15;
    StripDeleted(exe);
    const std::string_view exeName = FinalComponent(exe, PathStyle::Unix);
    const bool cut = stat.comm.size() == kCommLength && exeName.size() > kCommLength &&
                     exeName.compare(0, kCommLength, stat.comm) == 0;
    return std::string(cut || stat.comm.empty() ? exeName : stat.comm);
}

// Text read from /proc, kept from one process to the next; grown without
// filling what a read overwrites anyway.
struct ReadBuffer {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    void Grow(size_t used, size_t wanted) {
        if (wanted <= size) return;
        std::unique_ptr<char[]> bigger(new char[wanted]);
        if (used != 0) std::memcpy(bigger.get(), data.get(), used);
        data = std::move(bigger);
        size = wanted;
    }
};

// The reading of one process. Every call that may block counts as progress
// once it returns, so that a watcher can tell a stalled read from a long one.
class ProcessReader {
public:
    ProcessReader(Context& context, Progress& ticks, ReadBuffer& buffer)
        : m_context(context), m_ticks(ticks), m_buffer(buffer) {}

    Outcome Read(uint32_t pid, std::vector<Hit>& hits);

private:
    // What a task has that its threads may share or have of their own.
    enum Part : unsigned { kMemory = 1, kDescriptors = 2, kFolders = 4 };

    void Tick() { m_ticks.fetch_add(1, std::memory_order_relaxed); }
    Outcome ReadTask(unsigned parts);
    Outcome ReadThreads();
    bool SharesWithAny(uint32_t tid, const std::vector<uint32_t>& tasks, int type);
    // Calls each(name, number) for the entries of directory `fd` that a
    // decimal number names, until one returns false; false then.
    template <typename Each>
    bool ForEachNumberedEntry(int fd, Each&& each);
    Outcome ReadMaps();
    Outcome ReadDescriptors();
    // False when the kernel refused to look into the descriptor.
    bool ReadDescriptor(int fdDir, const char* name, uint64_t number, std::string& link);
    void ReadFolder(const char* name, uint32_t access);
    template <typename Found>
    void Compare(const Candidate& candidate, Found&& found);
    bool SameFileHere(std::string_view path, const Candidate& candidate, int linkDir, const char* link);
    bool ReadLink(int dirFd, const char* name, std::string& link);
    void Add(uint32_t target, Finding::Kind kind, uint32_t access, int64_t descriptor, std::string path,
             const FileId& id);
    bool Identify(std::vector<Hit>& hits);
    // The /proc path of the task being read, for what has no name of its own.
    std::string Where() const { return "/proc/" + std::to_string(m_pid) + "/" + m_taskPath; }

    Context& m_context;
    Progress& m_ticks;
    ReadBuffer& m_buffer;
    uint32_t m_pid = 0;
    int m_dir = -1;   // the process's folder in /proc
    int m_task = -1;  // the folder of the task being read: the process's, or one thread's
    // "task/TID/" while a thread is read, whose tables may be the process's
    // too; else empty.
    std::string m_taskPath;
    std::string m_threadRead;  // "task/TID" of the first thread read, or empty
    bool m_compare = true;     // whether kcmp() can tell this process's threads' tables apart
    uint64_t m_mounts = 1;  // 1: not read yet
    std::vector<Hit> m_hits;
    std::vector<FileId> m_hitIds;  // beside m_hits
};

bool ProcessReader::ReadLink(int dirFd, const char* name, std::string& link) {
    // /proc names no file longer than a page; a link it cannot name fails.
    link.resize(4096);
    for (;;) {
        const ssize_t n = readlinkat(dirFd, name, &link[0], link.size());
        Tick();
        if (n < 0) return false;
        if (static_cast<size_t>(n) < link.size()) {
            link.resize(static_cast<size_t>(n));
            return true;
        }
        link.resize(link.size() * 2);
    }
}

void ProcessReader::Add(uint32_t target, Finding::Kind kind, uint32_t access, int64_t descriptor, std::string path,
                        const FileId& id) {
    // A module is one finding however many times it is mapped; a thread's
    // descriptor or folder that is the process's too is the same finding.
    for (size_t i = 0; i < m_hits.size() && (kind == Finding::Kind::Module || !m_taskPath.empty()); ++i) {
        Hit& hit = m_hits[i];
        if (hit.target != target || hit.finding.kind != kind) continue;
        if (kind == Finding::Kind::Module && (m_hitIds[i] == id || hit.finding.path == path)) {
            hit.finding.access |= access;
            return;
        }
        if (kind == Finding::Kind::Handle && m_hitIds[i] == id && hit.finding.descriptor == descriptor &&
            hit.finding.access == access)
            return;
    }
    Hit hit{target, Finding{kind, m_pid, Text(), std::move(path)}};
    hit.finding.access = access;
    hit.finding.descriptor = descriptor;
    m_hits.push_back(std::move(hit));
    m_hitIds.push_back(id);
}

// Outside this mount namespace a path may name another file than here; it
// counts only where it names the same one.
bool ProcessReader::SameFileHere(std::string_view path, const Candidate& candidate, int linkDir, const char* link) {
    if (m_mounts == 1) {
        m_mounts = MountNamespace(m_dir, "ns/mnt");
        Tick();
    }
    if (m_mounts != 0 && m_mounts == m_context.ownMounts) return true;
    FileId id = candidate.id;
    struct statx stx;
    if (!candidate.haveId) {
        if (link == nullptr || statx(linkDir, link, AT_STATX_DONT_SYNC, STATX_INO, &stx) != 0) return false;
        id = IdOf(stx);
    }
    const std::string here(path);
    const bool same = statx(AT_FDCWD, here.c_str(), AT_STATX_DONT_SYNC, STATX_INO, &stx) == 0 && IdOf(stx) == id;
    Tick();
    return same;
}

template <typename Found>
void ProcessReader::Compare(const Candidate& candidate, Found&& found) {
    if (candidate.haveId) {
        auto range = std::equal_range(m_context.byId.begin(), m_context.byId.end(),
                                      std::make_pair(candidate.id, uint32_t{0}),
                                      [](const auto& a, const auto& b) { return a.first < b.first; });
        uint32_t last = UINT32_MAX;
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second != last) found(it->second);
            last = it->second;
        }
    }
    for (const uint32_t index : m_context.others) {
        const Target& target = m_context.targets[index];
        switch (target.match) {
        case Target::Match::Device:
            if (candidate.haveId && candidate.id.dev == target.id.dev && !candidate.socket) found(index);
            break;
        case Target::Match::Name:
            if (candidate.text != nullptr && FinalComponent(*candidate.text, PathStyle::Unix) == target.text) found(index);
            break;
        case Target::Match::Tree:
            if (candidate.text != nullptr && LiesAtOrBelow(*candidate.text, target.text)) found(index);
            break;
        case Target::Match::Identity: break;
        }
    }
    if (candidate.socket && m_context.socketTargets) {
        for (uint32_t index = 0; index < m_context.targets.size(); ++index) {
            const std::vector<uint64_t>& sockets = m_context.targets[index].sockets;
            if (std::find(sockets.begin(), sockets.end(), candidate.id.ino) != sockets.end()) found(index);
        }
    }
}

Outcome ProcessReader::ReadMaps() {
    const int fd = openat(m_task, "maps", O_RDONLY | O_CLOEXEC);
    Tick();
    if (fd < 0) return errno == ENOENT || errno == ESRCH ? Outcome::Gone : Outcome::Refused;
    size_t used = 0;
    ssize_t n;
    for (;;) {
        if (m_buffer.size - used < 65536) m_buffer.Grow(used, std::max<size_t>(131072, 2 * m_buffer.size));
        n = read(fd, m_buffer.data.get() + used, m_buffer.size - used);
        Tick();
        if (n > 0) {
            used += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    const int error = errno;
    close(fd);
    if (n < 0) return error == ESRCH || error == ENOENT ? Outcome::Gone : Outcome::Refused;

    std::string unescaped;
    Mapping last;
    ForEachLine(m_buffer.data.get(), used, [&](const char* begin, const char* end) {
        Mapping mapping;
        if (!ParseMapsLine(begin, end, mapping)) return;
        // A file's mappings mostly stand together.
        if (mapping.id == last.id && mapping.path == last.path) return;
        last = mapping;
        std::string_view path = mapping.path;
        if (path.find('\\') != std::string_view::npos) {
            unescaped = UnescapeMapsPath(path);
            path = unescaped;
        }
        Candidate candidate;
        candidate.haveId = true;
        candidate.id = mapping.id;
        candidate.text = m_context.needText ? &path : nullptr;
        Compare(candidate, [&](uint32_t target) {
            if (m_context.targets[target].match == Target::Match::Tree && !SameFileHere(path, candidate, -1, nullptr))
                return;
            Add(target, Finding::Kind::Module, Finding::kMapped, Finding::kUnknown, std::string(path), mapping.id);
        });
    });
    return Outcome::Examined;
}

template <typename Each>
bool ProcessReader::ForEachNumberedEntry(int fd, Each&& each) {
    alignas(8) char entries[16384];
    long got;
    while ((got = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0) {
        Tick();
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
            at += entry->d_reclen;
            uint64_t number;
            if (ParseDecimal(entry->d_name, number) && !each(entry->d_name, number)) return false;
        }
    }
    return true;
}

Outcome ProcessReader::ReadDescriptors() {
    const int fdDir = openat(m_task, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Tick();
    if (fdDir < 0) return errno == ENOENT || errno == ESRCH ? Outcome::Gone : Outcome::Refused;
    std::string link;
    // Listed but not to be looked into: the process is not examined, and the
    // rest of its descriptors would be refused as well.
    const bool examined = ForEachNumberedEntry(fdDir, [&](const char* name, uint64_t number) {
        return ReadDescriptor(fdDir, name, number, link);
    });
    close(fdDir);
    return examined ? Outcome::Examined : Outcome::Refused;
}

bool ProcessReader::ReadDescriptor(int fdDir, const char* name, uint64_t number, std::string& link) {
    auto denied = [] { return errno == EACCES || errno == EPERM; };
    Candidate candidate;
    struct statx stx;
    if (m_context.needIds) {
        const bool ok = statx(fdDir, name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &stx) == 0;
        Tick();
        if (!ok) return !denied();
        candidate.haveId = true;
        candidate.id = IdOf(stx);
        candidate.socket = S_ISSOCK(stx.stx_mode);
    }
    bool haveLink = false;
    std::string_view text;
    auto readText = [&] {
        haveLink = ReadLink(fdDir, name, link);
        if (!haveLink) return;
        text = link;
        uint64_t inode;
        const std::string* bound = ParseSocketLink(text, inode) ? m_context.BoundPath(inode) : nullptr;
        if (bound != nullptr) text = *bound;
    };
    std::string_view nameText;
    if (m_context.needText) {
        readText();
        if (!haveLink && denied()) return false;
        if (haveLink) {
            nameText = text;
            // A deleted file is still the file of that name, by its name.
            struct statx links;
            std::string_view kept = nameText;
            if (StripDeleted(kept) && statx(fdDir, name, AT_STATX_DONT_SYNC, STATX_NLINK, &links) == 0 &&
                links.stx_nlink == 0)
                nameText = kept;
            candidate.text = &nameText;
        }
    }
    uint32_t access = 0;
    Compare(candidate, [&](uint32_t target) {
        if (m_context.targets[target].match == Target::Match::Tree && !SameFileHere(text, candidate, fdDir, name))
            return;
        if (access == 0) {
            // The link's own mode tells how the descriptor was opened.
            struct statx mode;
            access = Finding::kOpen;
            if (statx(fdDir, name, AT_SYMLINK_NOFOLLOW, STATX_MODE, &mode) == 0) {
                if (mode.stx_mode & S_IRUSR) access |= Finding::kRead;
                if (mode.stx_mode & S_IWUSR) access |= Finding::kWrite;
            }
            if (!haveLink) readText();
        }
        std::string path = haveLink ? std::string(text) : Where() + "fd/" + name;
        Add(target, Finding::Kind::Handle, access, static_cast<int64_t>(number), std::move(path), candidate.id);
    });
    return true;
}

void ProcessReader::ReadFolder(const char* name, uint32_t access) {
    Candidate candidate;
    struct statx stx;
    if (m_context.needIds) {
        const bool ok = statx(m_task, name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &stx) == 0;
        Tick();
        if (!ok) return;
        candidate.haveId = true;
        candidate.id = IdOf(stx);
    }
    std::string link;
    std::string_view text;
    const bool haveLink = m_context.needText && ReadLink(m_task, name, link);
    if (haveLink) {
        text = link;
        candidate.text = &text;
    }
    Compare(candidate, [&](uint32_t target) {
        if (m_context.targets[target].match == Target::Match::Tree && !SameFileHere(text, candidate, m_task, name))
            return;
        std::string path;
        if (haveLink)
            path = link;
        else if (!ReadLink(m_task, name, path))
            path = Where() + name;
        Add(target, Finding::Kind::Handle, access, Finding::kUnknown, std::move(path), candidate.id);
    });
}

// Holds the process and names it and its owner in its findings; false when
// it has ended meanwhile.
bool ProcessReader::Identify(std::vector<Hit>& hits) {
    ProcessStat stat;
    std::shared_ptr<HeldProcess> held;
    const bool running = m_context.ownPids ? HoldProcess(m_pid, m_dir, m_context.pidfdLimit, stat, held)
                                           : ReadStat(m_dir, "stat", stat);
    Tick();
    if (!running) return false;
    // A leader that has exited has no executable left; its threads do.
    std::string exe;
    const bool haveExe = ReadLink(m_dir, "exe", exe) ||
                         (!m_threadRead.empty() && ReadLink(m_dir, (m_threadRead + "/exe").c_str(), exe));
    const std::string name = ProcessName(stat, haveExe ? exe : std::string());
    struct stat st;
    const int64_t uid = fstat(m_dir, &st) == 0 ? static_cast<int64_t>(st.st_uid) : Finding::kUnknown;
    for (Hit& hit : m_hits) {
        if (hit.finding.kind == Finding::Kind::Module && haveExe && hit.finding.path == exe)
            hit.finding.access |= Finding::kExecutable;
        hit.finding.processName = name;
        hit.finding.uid = uid;
        hit.finding.process = held;
    }
    hits = std::move(m_hits);
    return true;
}

Outcome ProcessReader::Read(uint32_t pid, std::vector<Hit>& hits) {
    m_pid = pid;
    m_hits.clear();
    m_hitIds.clear();
    m_mounts = 1;
    char path[16];
    std::snprintf(path, sizeof path, "%u", pid);
    m_dir = openat(m_context.root, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    Tick();
    if (m_dir < 0) return Outcome::Gone;
    m_task = m_dir;
    m_taskPath.clear();
    m_threadRead.clear();
    Outcome outcome = ReadTask(kMemory | kDescriptors | kFolders);
    // A process refused is refused in all its threads.
    if (outcome == Outcome::Examined && ReadThreads() == Outcome::Refused) outcome = Outcome::Refused;
    if (outcome != Outcome::Gone && !m_hits.empty() && !Identify(hits)) outcome = Outcome::Gone;
    close(m_dir);
    return outcome;
}

Outcome ProcessReader::ReadTask(unsigned parts) {
    Outcome outcome = (parts & kMemory) != 0 ? ReadMaps() : Outcome::Examined;
    if (outcome != Outcome::Gone && (parts & kDescriptors) != 0) {
        const Outcome descriptors = ReadDescriptors();
        if (descriptors != Outcome::Examined) outcome = descriptors;
    }
    if (outcome != Outcome::Gone && (parts & kFolders) != 0) {
        ReadFolder("cwd", Finding::kCurrentFolder);
        ReadFolder("root", Finding::kRootFolder);
    }
    return outcome;
}

// Whether thread `tid` shares the table of `type` with one of `tasks`.
// Where kcmp() cannot tell (another PID namespace's /proc, no right, no
// kcmp), it is not asked again for the process: each thread is read, and
// what it shares is found twice and kept once. A task that has ended
// meanwhile shares nothing, and says nothing of kcmp() itself.
bool ProcessReader::SharesWithAny(uint32_t tid, const std::vector<uint32_t>& tasks, int type) {
    for (size_t i = 0; i < tasks.size() && m_compare; ++i) {
        const long same = syscall(SYS_kcmp, tasks[i], tid, type, 0, 0);
        Tick();
        if (same == 0) return true;
        m_compare = same > 0 || errno == ESRCH;
    }
    return false;
}

// The threads with tables of their own: one that unshared its descriptors
// or its folders, and every live thread of a process whose leader has
// exited (the leader's tables are gone, so none is shared with it).
Outcome ProcessReader::ReadThreads() {
    // The task folder counts its threads among its links, beyond a
    // folder's two: a process of one thread has no others to read.
    struct statx task;
    const bool counted = statx(m_dir, "task", AT_STATX_DONT_SYNC, STATX_NLINK, &task) == 0;
    Tick();
    if (counted && task.stx_nlink <= 3) return Outcome::Examined;
    std::vector<uint32_t> tids;
    if (const int fd = openat(m_dir, "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ForEachNumberedEntry(fd, [&](const char*, uint64_t tid) {
            if (tid != m_pid && tid <= UINT32_MAX) tids.push_back(static_cast<uint32_t>(tid));
            return true;
        });
        close(fd);
    }
    m_compare = m_context.ownPids;
    // The tasks whose tables of each kind have been read.
    std::vector<uint32_t> descriptors{m_pid}, folders{m_pid};
    // The threads of one process share one memory: once it was found shared
    // with the leader, or read in a thread (the leader's being gone), the
    // other threads have none of their own to ask about.
    bool memoryKnown = false;
    Outcome outcome = Outcome::Examined;
    for (const uint32_t tid : tids) {
        unsigned parts = 0;
        if (!memoryKnown) {
            if (SharesWithAny(tid, {m_pid}, KCMP_VM))
                memoryKnown = true;
            else
                parts |= kMemory;
        }
        if (!SharesWithAny(tid, descriptors, KCMP_FILES)) parts |= kDescriptors;
        if (!SharesWithAny(tid, folders, KCMP_FS)) parts |= kFolders;
        if (parts == 0) continue;
        const std::string where = "task/" + std::to_string(tid);
        m_task = openat(m_dir, where.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        Tick();
        if (m_task < 0) continue;  // the thread has ended
        memoryKnown = memoryKnown || (parts & kMemory) != 0;
        if ((parts & kDescriptors) != 0) descriptors.push_back(tid);
        if ((parts & kFolders) != 0) folders.push_back(tid);
        m_taskPath = where + "/";
        if (m_threadRead.empty()) m_threadRead = where;
        // A thread that ends meanwhile leaves the process examined.
        if (ReadTask(parts) == Outcome::Refused) outcome = Outcome::Refused;
        close(m_task);
    }
    m_task = m_dir;
    m_taskPath.clear();
    return outcome;
}

std::vector<uint32_t> ListProcesses(int root, bool& listed) {
    std::vector<uint32_t> pids;
    const int fd = openat(root, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr && fd >= 0) close(fd);
    listed = dir != nullptr;
    if (dir == nullptr) return pids;
    while (const dirent* entry = readdir(dir)) {
        uint64_t pid;
        if (ParseDecimal(entry->d_name, pid) && pid <= UINT32_MAX) pids.push_back(static_cast<uint32_t>(pid));
    }
    closedir(dir);
    std::sort(pids.begin(), pids.end());
    return pids;
}

unsigned Cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

}  // namespace

namespace {

// The processes being read now, by this scan or by a thread that an earlier
// scan gave up and that has not returned: such a process is not read again
// (and no further thread is left hanging on it) until that read returns.
std::mutex g_readingMutex;
std::vector<uint32_t> g_reading;

void StartReading(uint32_t pid) {
    std::lock_guard<std::mutex> lock(g_readingMutex);
    g_reading.push_back(pid);
}

void EndReading(uint32_t pid) {
    std::lock_guard<std::mutex> lock(g_readingMutex);
    g_reading.erase(std::find(g_reading.begin(), g_reading.end(), pid));
}

}  // namespace

ScanOutcome Scan(const std::vector<Target>& targets, int procRoot, const std::vector<uint32_t>* only) {
    ScanOutcome outcome;
    // Those asked for need no listing: one that has ended is not found.
    std::vector<uint32_t> pids;
    if (only != nullptr) {
        pids = *only;
        std::sort(pids.begin(), pids.end());
        pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
        outcome.listed = true;
    } else {
        pids = ListProcesses(procRoot, outcome.listed);
    }
    auto context = std::make_shared<Context>(targets, procRoot);
    // Our own process is no user of anything the user asked about.
    pids.erase(std::remove(pids.begin(), pids.end(), context->self), pids.end());
    {
        std::lock_guard<std::mutex> lock(g_readingMutex);
        for (const uint32_t pid : g_reading) outcome.stalled.push_back(pid);
    }
    std::sort(outcome.stalled.begin(), outcome.stalled.end());
    outcome.stalled.erase(std::unique(outcome.stalled.begin(), outcome.stalled.end()), outcome.stalled.end());
    pids.erase(std::remove_if(pids.begin(), pids.end(),
                              [&](uint32_t pid) {
                                  return std::binary_search(outcome.stalled.begin(), outcome.stalled.end(), pid);
                              }),
               pids.end());

    struct Read {
        Outcome outcome = Outcome::Gone;
        std::vector<Hit> hits;
    };
    // A thread for every core there is work for; this one watches them.
    constexpr size_t kProcessesPerThread = 16;
    const size_t threads = std::min<size_t>(Cores(), (pids.size() + kProcessesPerThread - 1) / kProcessesPerThread);
    auto shared = std::make_shared<const std::vector<uint32_t>>(pids);
    auto read = Watchdog<Read>::Run(pids.size(), threads, std::chrono::milliseconds(kStallMilliseconds),
                                    [context, shared](size_t index, Progress& progress) {
                                        thread_local ReadBuffer buffer;
                                        ProcessReader reader(*context, progress, buffer);
                                        Read result;
                                        const uint32_t pid = (*shared)[index];
                                        StartReading(pid);
                                        result.outcome = reader.Read(pid, result.hits);
                                        EndReading(pid);
                                        return result;
                                    });
    for (const size_t index : read.stalled) outcome.stalled.push_back(pids[index]);
    std::sort(outcome.stalled.begin(), outcome.stalled.end());
    for (size_t i = 0; i < pids.size(); ++i) {
        Read& result = read.results[i];
        if (result.outcome == Outcome::Refused) outcome.refused.push_back(pids[i]);
        if (!result.hits.empty()) outcome.processes.push_back(std::move(result.hits));
    }
    return outcome;
}

}  // namespace proc
