#include "linux/ProcessReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "linux/Hold.h"
#include "linux/Threads.h"

namespace proc {

// What is read of each task, in this order, as lsfd reads it; the
// executable only of a process with findings, for its name and its mapping.
const ProcessReader::Entry ProcessReader::kEntries[] = {
    {"maps", kMemory, &ProcessReader::ReadMaps, Finding::kMapped},
    {"fd", kDescriptors, &ProcessReader::ReadDescriptors, Finding::kOpen},
    {"cwd", kFolders, &ProcessReader::ReadFolder, Finding::kCurrentFolder},
    {"root", kFolders, &ProcessReader::ReadFolder, Finding::kRootFolder},
    {"exe", 0, &ProcessReader::ReadExecutable, Finding::kExecutable},
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

ReadOutcome ProcessReader::ReadMaps(const Entry& entry) {
    const int fd = openat(m_task, entry.name, O_RDONLY | O_CLOEXEC);
    Tick();
    if (fd < 0) return errno == ENOENT || errno == ESRCH ? ReadOutcome::Gone : ReadOutcome::Refused;
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
    if (n < 0) return error == ESRCH || error == ENOENT ? ReadOutcome::Gone : ReadOutcome::Refused;

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
        candidate.text = m_context.index.needText ? &path : nullptr;
        m_matcher.Compare(candidate, [&](uint32_t target) {
            Add(target, Finding::Kind::Module, entry.access, Finding::kUnknown, std::string(path), mapping.id);
        });
    });
    return ReadOutcome::Examined;
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

ReadOutcome ProcessReader::ReadDescriptors(const Entry& entry) {
    const int fdDir = openat(m_task, entry.name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Tick();
    if (fdDir < 0) return errno == ENOENT || errno == ESRCH ? ReadOutcome::Gone : ReadOutcome::Refused;
    std::string link;
    // Listed but not to be looked into: the process is not examined, and the
    // rest of its descriptors would be refused as well.
    const bool examined = ForEachNumberedEntry(fdDir, [&](const char* name, uint64_t number) {
        return ReadDescriptor(fdDir, name, number, entry.access, link);
    });
    close(fdDir);
    return examined ? ReadOutcome::Examined : ReadOutcome::Refused;
}

bool ProcessReader::ReadDescriptor(int fdDir, const char* name, uint64_t number, uint32_t opened, std::string& link) {
    auto denied = [] { return errno == EACCES || errno == EPERM; };
    Candidate candidate;
    candidate.linkDir = fdDir;
    candidate.link = name;
    struct statx stx;
    if (m_context.index.needIds) {
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
    if (m_context.index.needText) {
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
    m_matcher.Compare(candidate, [&](uint32_t target) {
        if (access == 0) {
            // The link's own mode tells how the descriptor was opened.
            struct statx mode;
            access = opened;
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

ReadOutcome ProcessReader::ReadFolder(const Entry& entry) {
    Candidate candidate;
    candidate.linkDir = m_task;
    candidate.link = entry.name;
    struct statx stx;
    if (m_context.index.needIds) {
        const bool ok = statx(m_task, entry.name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &stx) == 0;
        Tick();
        if (!ok) return ReadOutcome::Examined;
        candidate.haveId = true;
        candidate.id = IdOf(stx);
    }
    std::string link;
    std::string_view text;
    const bool haveLink = m_context.index.needText && ReadLink(m_task, entry.name, link);
    if (haveLink) {
        text = link;
        candidate.text = &text;
    }
    m_matcher.Compare(candidate, [&](uint32_t target) {
        std::string path;
        if (haveLink)
            path = link;
        else if (!ReadLink(m_task, entry.name, path))
            path = Where() + entry.name;
        Add(target, Finding::Kind::Handle, entry.access, Finding::kUnknown, std::move(path), candidate.id);
    });
    return ReadOutcome::Examined;
}

ReadOutcome ProcessReader::ReadExecutable(const Entry& entry) {
    // A leader that has exited has no executable left; its threads do.
    m_haveExe = ReadLink(m_dir, entry.name, m_exe) ||
                (!m_threadRead.empty() && ReadLink(m_dir, (m_threadRead + "/" + entry.name).c_str(), m_exe));
    for (Hit& hit : m_hits) {
        if (hit.finding.kind == Finding::Kind::Module && m_haveExe && hit.finding.path == m_exe)
            hit.finding.access |= entry.access;
    }
    return ReadOutcome::Examined;
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
    for (const Entry& entry : kEntries) {
        if (entry.part == 0) (this->*entry.read)(entry);
    }
    const std::string name = ProcessName(stat, m_haveExe ? m_exe : std::string());
    struct stat st;
    const int64_t uid = fstat(m_dir, &st) == 0 ? static_cast<int64_t>(st.st_uid) : Finding::kUnknown;
    for (Hit& hit : m_hits) {
        hit.finding.processName = name;
        hit.finding.uid = uid;
        hit.finding.process = held;
    }
    hits = std::move(m_hits);
    return true;
}

ReadOutcome ProcessReader::Read(uint32_t pid, std::vector<Hit>& hits) {
    m_pid = pid;
    m_hits.clear();
    m_hitIds.clear();
    char path[16];
    std::snprintf(path, sizeof path, "%u", pid);
    m_dir = openat(m_context.root, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    Tick();
    if (m_dir < 0) return ReadOutcome::Gone;
    m_matcher.Start(m_dir);
    m_task = m_dir;
    m_taskPath.clear();
    m_threadRead.clear();
    ReadOutcome outcome = ReadTask(kMemory | kDescriptors | kFolders);
    // A process refused is refused in all its threads.
    if (outcome == ReadOutcome::Examined && ReadThreads() == ReadOutcome::Refused) outcome = ReadOutcome::Refused;
    if (outcome != ReadOutcome::Gone && !m_hits.empty() && !Identify(hits)) outcome = ReadOutcome::Gone;
    close(m_dir);
    return outcome;
}

ReadOutcome ProcessReader::ReadTask(unsigned parts) {
    ReadOutcome outcome = ReadOutcome::Examined;
    for (const Entry& entry : kEntries) {
        if ((entry.part & parts) == 0) continue;
        if (outcome == ReadOutcome::Gone) break;
        const ReadOutcome read = (this->*entry.read)(entry);
        if (read != ReadOutcome::Examined) outcome = read;
    }
    return outcome;
}

// The threads with tables of their own: one that unshared its descriptors
// or its folders, and every live thread of a process whose leader has
// exited (the leader's tables are gone, so none is shared with it).
ReadOutcome ProcessReader::ReadThreads() {
    // The task folder counts its threads among its links, beyond a
    // folder's two: a process of one thread has no others to read.
    struct statx task;
    const bool counted = statx(m_dir, "task", AT_STATX_DONT_SYNC, STATX_NLINK, &task) == 0;
    Tick();
    if (counted && task.stx_nlink <= 3) return ReadOutcome::Examined;
    std::vector<uint32_t> tids;
    if (const int fd = openat(m_dir, "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ForEachNumberedEntry(fd, [&](const char*, uint64_t tid) {
            if (tid != m_pid && tid <= UINT32_MAX) tids.push_back(static_cast<uint32_t>(tid));
            return true;
        });
        close(fd);
    }
    ThreadTables tables(m_pid, m_context.ownPids, m_ticks);
    ReadOutcome outcome = ReadOutcome::Examined;
    for (const uint32_t tid : tids) {
        const unsigned parts = tables.OwnParts(tid);
        if (parts == 0) continue;
        const std::string where = "task/" + std::to_string(tid);
        m_task = openat(m_dir, where.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        Tick();
        if (m_task < 0) continue;  // the thread has ended
        tables.Read(tid, parts);
        m_taskPath = where + "/";
        if (m_threadRead.empty()) m_threadRead = where;
        // A thread that ends meanwhile leaves the process examined.
        if (ReadTask(parts) == ReadOutcome::Refused) outcome = ReadOutcome::Refused;
        close(m_task);
    }
    m_task = m_dir;
    m_taskPath.clear();
    return outcome;
}

}  // namespace proc
