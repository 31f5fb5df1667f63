// Which tables of a process its threads share with each other, by kcmp():
// a thread's memory, descriptors or folders are read only where they are
// its own, so that what is shared is read once.
#pragma once

#include <cstdint>
#include <vector>

#include "linux/Watchdog.h"

namespace proc {

// What a task has that its threads may share or have of their own.
enum TaskPart : unsigned { kMemory = 1, kDescriptors = 2, kFolders = 4 };

// The tables read so far of the threads of process `pid`, whose leader's
// were read first.
class ThreadTables {
public:
    // `compare`: whether kcmp() takes the process's IDs (the /proc is of
    // this process's own PID namespace). Every kcmp() counts as progress.
    ThreadTables(uint32_t pid, bool compare, Progress& ticks)
        : m_pid(pid), m_compare(compare), m_ticks(ticks), m_descriptors{pid}, m_folders{pid} {}

    // The parts of thread `tid` that no task read so far shares.
    unsigned OwnParts(uint32_t tid);
    // Notes that the `parts` of thread `tid` have been read.
    void Read(uint32_t tid, unsigned parts);

private:
    bool SharesWithAny(uint32_t tid, const std::vector<uint32_t>& tasks, int type);

    const uint32_t m_pid;
    bool m_compare;
    Progress& m_ticks;
    // The tasks whose tables of each kind have been read.
    std::vector<uint32_t> m_descriptors, m_folders;
    // The threads of one process share one memory: once it was found shared
    // with the leader, or read in a thread (the leader's being gone), the
    // other threads have none of their own to ask about.
    bool m_memoryKnown = false;
};

}  // namespace proc
