#include "linux/Threads.h"

#include <linux/kcmp.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace proc {

unsigned ThreadTables::OwnParts(uint32_t tid) {
    unsigned parts = 0;
    if (!m_memoryKnown) {
        if (SharesWithAny(tid, {m_pid}, KCMP_VM))
            m_memoryKnown = true;
        else
            parts |= kMemory;
    }
    if (!SharesWithAny(tid, m_descriptors, KCMP_FILES)) parts |= kDescriptors;
    if (!SharesWithAny(tid, m_folders, KCMP_FS)) parts |= kFolders;
    return parts;
}

void ThreadTables::Read(uint32_t tid, unsigned parts) {
    m_memoryKnown = m_memoryKnown || (parts & kMemory) != 0;
    if ((parts & kDescriptors) != 0) m_descriptors.push_back(tid);
    if ((parts & kFolders) != 0) m_folders.push_back(tid);
}

// Where kcmp() cannot tell (another PID namespace's /proc, no right, no
// kcmp), it is not asked again for the process: each thread is read, and
// what it shares is found twice and kept once. A task that has ended
// meanwhile shares nothing, and says nothing of kcmp() itself.
bool ThreadTables::SharesWithAny(uint32_t tid, const std::vector<uint32_t>& tasks, int type) {
    for (size_t i = 0; i < tasks.size() && m_compare; ++i) {
        const long same = syscall(SYS_kcmp, tasks[i], tid, type, 0, 0);
        m_ticks.fetch_add(1, std::memory_order_relaxed);
        if (same == 0) return true;
        m_compare = same > 0 || errno == ESRCH;
    }
    return false;
}

}  // namespace proc
