// The reading of one process in /proc: what it maps, the descriptors it
// holds, its current and root folders, and those of each thread that has
// tables of its own; then, where something was found, its name and owner.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "linux/Match.h"
#include "linux/Scan.h"
#include "linux/Threads.h"
#include "linux/Watchdog.h"

namespace proc {

// Not examined for want of rights (Refused) or of descriptors or memory
// (Short); worse the later.
enum class ReadOutcome { Examined, Refused, Short, Gone };

// Only "no such process" means gone: any other failure leaves the process
// unexamined, never absent.
inline ReadOutcome FailureOf(int error) {
    switch (error) {
    case ENOENT:
    case ESRCH: return ReadOutcome::Gone;
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOBUFS: return ReadOutcome::Short;
    default: return ReadOutcome::Refused;
    }
}

// The worse of two outcomes of a process's parts, neither of them Gone.
inline ReadOutcome Worse(ReadOutcome a, ReadOutcome b) { return a < b ? b : a; }

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

// Every call that may block counts as progress once it returns, so that a
// watcher can tell a stalled read from a long one.
class ProcessReader {
public:
    ProcessReader(ScanContext& context, Progress& ticks, ReadBuffer& buffer)
        : m_context(context), m_ticks(ticks), m_buffer(buffer), m_matcher(context.index, context.ownMounts, ticks) {}

    ReadOutcome Read(uint32_t pid, std::vector<Hit>& hits);

private:
    // One entry of a task's folder that is read, and how.
    struct Entry {
        const char* name;
        unsigned part;  // a TaskPart, or 0: read of the process once it has findings
        ReadOutcome (ProcessReader::*read)(const Entry& entry);
        uint32_t access;  // what a finding there means
    };
    static const Entry kEntries[];

    void Tick() { m_ticks.fetch_add(1, std::memory_order_relaxed); }
    // What of each task can hold a target: folders only where a target can
    // be a folder.
    unsigned Wanted() const { return kMemory | kDescriptors | (m_context.index.needFolders ? kFolders : 0u); }
    ReadOutcome ReadTask(unsigned parts);
    ReadOutcome ReadThreads();
    ReadOutcome ReadMaps(const Entry& entry);
    // The maps read through the kernel's query where only identities are
    // compared; false where the text must be read instead.
    bool QueryMaps(int fd, const Entry& entry, ReadOutcome& outcome);
    // The path of a matched mapping as the text of the maps gives it; false
    // where the text would show none.
    static bool MapsPath(const std::string& name, std::string& path);
    ReadOutcome ReadDescriptors(const Entry& entry);
    // Examined where it was read or had been closed meanwhile.
    ReadOutcome ReadDescriptor(int fdDir, const char* name, uint64_t number, uint32_t opened, std::string& link);
    ReadOutcome ReadFolder(const Entry& entry);
    ReadOutcome ReadExecutable(const Entry& entry);
    // Calls each(name, number) for the entries of directory `fd` that a
    // decimal number names, until one gives other than Examined; that, or
    // what a failed listing means.
    template <typename Each>
    ReadOutcome ForEachNumberedEntry(int fd, Each&& each);
    bool ReadLink(int dirFd, const char* name, std::string& link);
    void Add(uint32_t target, Finding::Kind kind, uint32_t access, int64_t descriptor, std::string path,
             const FileId& id);
    ReadOutcome Identify(std::vector<Hit>& hits);
    // The /proc path of the task being read, for what has no name of its own.
    std::string Where() const { return "/proc/" + std::to_string(m_pid) + "/" + m_taskPath; }

    ScanContext& m_context;
    Progress& m_ticks;
    ReadBuffer& m_buffer;
    Matcher m_matcher;
    uint32_t m_pid = 0;
    int m_dir = -1;   // the process's folder in /proc
    int m_task = -1;  // the folder of the task being read: the process's, or one thread's
    // "task/TID/" while a thread is read, whose tables may be the process's
    // too; else empty.
    std::string m_taskPath;
    std::string m_threadRead;  // "task/TID" of the first thread read, or empty
    std::string m_exe;         // the executable's path, once read
    bool m_haveExe = false;
    std::vector<Hit> m_hits;
    std::vector<FileId> m_hitIds;  // beside m_hits
};

}  // namespace proc
