// The reading of one process in /proc: what it maps, the descriptors it
// holds, its current and root folders, and those of each thread that has
// tables of its own; then, where something was found, its name and owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "linux/Match.h"
#include "linux/Scan.h"
#include "linux/Watchdog.h"

namespace proc {

enum class ReadOutcome { Examined, Refused, Gone };

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
    ReadOutcome ReadTask(unsigned parts);
    ReadOutcome ReadThreads();
    ReadOutcome ReadMaps(const Entry& entry);
    ReadOutcome ReadDescriptors(const Entry& entry);
    // False when the kernel refused to look into the descriptor.
    bool ReadDescriptor(int fdDir, const char* name, uint64_t number, uint32_t opened, std::string& link);
    ReadOutcome ReadFolder(const Entry& entry);
    ReadOutcome ReadExecutable(const Entry& entry);
    // Calls each(name, number) for the entries of directory `fd` that a
    // decimal number names, until one returns false; false then.
    template <typename Each>
    bool ForEachNumberedEntry(int fd, Each&& each);
    bool ReadLink(int dirFd, const char* name, std::string& link);
    void Add(uint32_t target, Finding::Kind kind, uint32_t access, int64_t descriptor, std::string path,
             const FileId& id);
    bool Identify(std::vector<Hit>& hits);
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
