#include "linux/ProcessReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "linux/Faults.h"
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

template <typename Each>
ReadOutcome ProcessReader::ForEachNumberedEntry(int fd, Each&& each) {
    alignas(8) char entries[16384];
    long got;
    while ((got = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0) {
        Tick();
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
            at += entry->d_reclen;
            uint64_t number;
            if (!ParseDecimal(entry->d_name, number)) continue;
            const ReadOutcome read = each(entry->d_name, number);
            if (read != ReadOutcome::Examined) return read;
        }
    }
    return got < 0 ? FailureOf(errno) : ReadOutcome::Examined;
}

ReadOutcome ProcessReader::ReadDescriptors(const Entry& entry) {
    const int fdDir = openat(m_task, entry.name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Tick();
    if (fdDir < 0) return FailureOf(errno);
    std::string link;
    // Listed but not to be looked into: the process is not examined, and the
    // rest of its descriptors would be refused as well.
    const ReadOutcome read = ForEachNumberedEntry(fdDir, [&](const char* name, uint64_t number) {
        return ReadDescriptor(fdDir, name, number, entry.access, link);
    });
    close(fdDir);
    return read;
}

ReadOutcome ProcessReader::ReadDescriptor(int fdDir, const char* name, uint64_t number, uint32_t opened,
                                          std::string& link) {
    // One closed meanwhile is no use of anything.
    auto failed = [] {
        const ReadOutcome why = FailureOf(errno);
        return why == ReadOutcome::Gone ? ReadOutcome::Examined : why;
    };
    Candidate candidate;
    candidate.linkDir = fdDir;
    candidate.link = name;
    struct statx stx;
    if (m_context.index.needIds) {
        int injected = InjectedError(Call::DescriptorStat, m_pid);
        const bool ok = injected == 0 && statx(fdDir, name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &stx) == 0;
        Tick();
        if (injected != 0) errno = injected;
        if (!ok) return failed();
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
        if (!haveLink && failed() != ReadOutcome::Examined) return failed();  // errno is still readlink's
        if (haveLink) {
            nameText = text;
            // A deleted file is still the file of that name, by its name;
            // the kernel's own shared memory (a memfd) has none.
            struct statx links;
            std::string_view kept = nameText;
            const bool deleted = StripDeleted(kept) && statx(fdDir, name, AT_STATX_DONT_SYNC, STATX_NLINK, &links) == 0;
            if (deleted && links.stx_nlink == 0) nameText = kept;
            if (!deleted || makedev(links.stx_dev_major, links.stx_dev_minor) != m_context.index.sharedMemoryDev)
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
    return ReadOutcome::Examined;
}

ReadOutcome ProcessReader::ReadFolder(const Entry& entry) {
    Candidate candidate;
    candidate.linkDir = m_task;
    candidate.link = entry.name;
    struct statx stx;
    if (m_context.index.needIds) {
        const bool ok = statx(m_task, entry.name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &stx) == 0;
        Tick();
        // A kernel thread has no folders; one ended has none left.
        if (!ok) return FailureOf(errno) == ReadOutcome::Gone ? ReadOutcome::Examined : FailureOf(errno);
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

// Holds the process and names it and its owner in its findings; Gone when
// it has ended meanwhile.
ReadOutcome ProcessReader::Identify(std::vector<Hit>& hits) {
    ProcessStat stat;
    std::shared_ptr<HeldProcess> held;
    const int error =
        m_context.ownPids ? HoldProcess(m_pid, m_dir, m_context.holdLimit, stat, held) : ReadProcessStat(m_dir, stat);
    Tick();
    // A stat that could not be read is no end: the process is not examined.
    if (error != 0) return FailureOf(error);
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
    return ReadOutcome::Examined;
}

ReadOutcome ProcessReader::Read(uint32_t pid, std::vector<Hit>& hits) {
    m_pid = pid;
    m_hits.clear();
    m_hitIds.clear();
    char path[16];
    std::snprintf(path, sizeof path, "%u", pid);
    const int injected = InjectedError(Call::ProcessFolder, pid);
    m_dir = injected != 0 ? -1 : openat(m_context.root, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    Tick();
    if (m_dir < 0) return FailureOf(injected != 0 ? injected : errno);
    if (InjectedError(Call::Stall, pid) != 0) {
        for (;;) pause();
    }
    m_matcher.Start(m_dir);
    m_task = m_dir;
    m_taskPath.clear();
    m_threadRead.clear();
    ReadOutcome outcome = ReadTask(Wanted());
    // A process refused is refused in all its threads.
    if (outcome == ReadOutcome::Examined) outcome = ReadThreads();
    if (outcome != ReadOutcome::Gone && !m_hits.empty()) {
        const ReadOutcome identified = Identify(hits);
        outcome = identified == ReadOutcome::Gone ? identified : Worse(outcome, identified);
    }
    close(m_dir);
    return outcome;
}

ReadOutcome ProcessReader::ReadTask(unsigned parts) {
    ReadOutcome outcome = ReadOutcome::Examined;
    for (const Entry& entry : kEntries) {
        if ((entry.part & parts) == 0) continue;
        if (outcome == ReadOutcome::Gone) break;
        const ReadOutcome read = (this->*entry.read)(entry);
        outcome = read == ReadOutcome::Gone ? read : Worse(outcome, read);
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
    const int fd = openat(m_dir, "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ReadOutcome outcome = fd < 0 ? FailureOf(errno) : ForEachNumberedEntry(fd, [&](const char*, uint64_t tid) {
        if (tid != m_pid && tid <= UINT32_MAX) tids.push_back(static_cast<uint32_t>(tid));
        return ReadOutcome::Examined;
    });
    if (fd >= 0) close(fd);
    // The process has ended since its leader's tables were read.
    if (outcome == ReadOutcome::Gone) return ReadOutcome::Examined;
    ThreadTables tables(m_pid, m_context.ownPids, m_ticks, Wanted());
    for (const uint32_t tid : tids) {
        const unsigned parts = tables.OwnParts(tid);
        if (parts == 0) continue;
        const std::string where = "task/" + std::to_string(tid);
        m_task = openat(m_dir, where.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        Tick();
        if (m_task < 0) {
            // A thread that has ended has nothing to read; one not opened does.
            if (FailureOf(errno) != ReadOutcome::Gone) outcome = Worse(outcome, FailureOf(errno));
            continue;
        }
        tables.Read(tid, parts);
        m_taskPath = where + "/";
        if (m_threadRead.empty()) m_threadRead = where;
        // A thread that ends meanwhile leaves the process examined.
        const ReadOutcome read = ReadTask(parts);
        if (read != ReadOutcome::Gone) outcome = Worse(outcome, read);
        close(m_task);
    }
    m_task = m_dir;
    m_taskPath.clear();
    return outcome;
}

}  // namespace proc
