// Which tables a thread shares with the tasks already read, asked of real
// threads of this test.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "linux/Threads.h"

namespace {

// A thread that first unshares what `flags` names, then waits to be let go.
class Thread {
public:
    explicit Thread(int flags) {
        m_thread = std::thread([this, flags] {
            const bool ok = flags == 0 || unshare(flags) == 0;
            std::unique_lock<std::mutex> lock(m_mutex);
            m_tid = ok ? static_cast<uint32_t>(syscall(SYS_gettid)) : 0;
            m_ready.notify_all();
            m_ready.wait(lock, [this] { return m_done; });
        });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return m_tid != UINT32_MAX; });
    }
    ~Thread() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_all();
        m_thread.join();
    }
    uint32_t Tid() const { return m_tid; }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    uint32_t m_tid = UINT32_MAX;
    bool m_done = false;
    std::thread m_thread;
};

const uint32_t kAll = proc::kMemory | proc::kDescriptors | proc::kFolders;

TEST(ThreadsTest, OnlyWhatAThreadHasOfItsOwnIsLeftToRead) {
    const uint32_t pid = static_cast<uint32_t>(getpid());
    proc::Progress ticks{0};
    Thread sharing(0), ownFiles(CLONE_FILES), ownFolders(CLONE_FS);
    ASSERT_NE(ownFiles.Tid(), 0u);
    ASSERT_NE(ownFolders.Tid(), 0u);

    proc::ThreadTables tables(pid, true, ticks);
    EXPECT_EQ(tables.OwnParts(sharing.Tid()), 0u);
    EXPECT_EQ(tables.OwnParts(ownFiles.Tid()), unsigned{proc::kDescriptors});
    EXPECT_EQ(tables.OwnParts(ownFolders.Tid()), unsigned{proc::kFolders});
    EXPECT_GT(ticks.load(), 0u);

    // A thread that has ended shares nothing, and kcmp() is still asked of
    // the threads after it.
    uint32_t ended = 0;
    std::thread([&ended] { ended = static_cast<uint32_t>(syscall(SYS_gettid)); }).join();
    proc::ThreadTables afterEnd(pid, true, ticks);
    EXPECT_EQ(afterEnd.OwnParts(ended), kAll);
    EXPECT_EQ(afterEnd.OwnParts(sharing.Tid()), 0u);

    // Once a thread's table is read, a thread that shares it has none to read.
    proc::ThreadTables read(pid, true, ticks);
    read.Read(ownFiles.Tid(), proc::kDescriptors);
    EXPECT_EQ(read.OwnParts(ownFiles.Tid()), 0u);
}

TEST(ThreadsTest, WhereKcmpCannotTellEveryThreadIsReadAndOneMemoryOnce) {
    const uint32_t pid = static_cast<uint32_t>(getpid());
    proc::Progress ticks{0};
    Thread sharing(0), another(0);
    proc::ThreadTables tables(pid, false, ticks);
    EXPECT_EQ(tables.OwnParts(sharing.Tid()), kAll);
    tables.Read(sharing.Tid(), kAll);
    EXPECT_EQ(tables.OwnParts(another.Tid()), unsigned{proc::kDescriptors | proc::kFolders});
    EXPECT_EQ(ticks.load(), 0u);
}

}  // namespace
