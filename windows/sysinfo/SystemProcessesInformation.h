// A snapshot of every process, read in place in the platform's records and
// indexed by process ID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "windows/platform/Records.h"

using ProcessEntry = os::SYSTEM_PROCESS_INFORMATION;

// Chained hash map from process ID to record. Its shape shows in the
// program's output, since the module list visits processes in its order:
// 17 buckets, bucket (pid >> 4) % 17, new IDs at the head of their chain.
class PidIndex {
public:
    // An iteration position; 0 is "no position".
    typedef size_t Position;

    static constexpr uint32_t kBuckets = 17;

    void Clear();
    void Insert(uint32_t pid, const ProcessEntry* entry);
    bool Find(uint32_t pid, const ProcessEntry*& entry) const;
    size_t Count() const { return m_nodes.size(); }

    Position GetStartPosition() const;
    // Yields the pair at pos and moves pos to the next one, or to 0 after
    // the last.
    void GetNextAssoc(Position& pos, uint32_t& pid, const ProcessEntry*& entry) const;

private:
    static constexpr int32_t kEnd = -1;
    struct Node {
        uint32_t pid;
        const ProcessEntry* entry;
        int32_t next;
    };
    static uint32_t BucketOf(uint32_t pid) { return (pid >> 4) % kBuckets; }
    Position FirstFromBucket(uint32_t bucket) const;

    std::vector<int32_t> m_heads;  // empty until the first insertion
    std::vector<Node> m_nodes;
};

class SystemProcessesInformation {
public:
    explicit SystemProcessesInformation(bool refresh);
    virtual ~SystemProcessesInformation();
    SystemProcessesInformation(const SystemProcessesInformation&) = delete;
    SystemProcessesInformation& operator=(const SystemProcessesInformation&) = delete;

    bool Refresh();
    bool Lookup(uint32_t pid, const ProcessEntry*& entry) const { return m_index.Find(pid, entry); }
    const PidIndex& Index() const { return m_index; }
    size_t Count() const { return m_index.Count(); }

    static constexpr size_t kInitialBufferSize = 0x10000;
    // A process table never legitimately needs more; beyond it the platform
    // is answering nonsense.
    static constexpr size_t kMaxBufferSize = 256u << 20;
    // Growing passes after the first query; doubling from the first buffer
    // reaches the cap in fewer.
    static constexpr int kMaxRetries = 16;

private:
    bool Grow(size_t size);
    void ForgetNameOutside(os::UNICODE_STRING& name) const;

    PidIndex m_index;
    std::deque<ProcessEntry> m_realigned;  // records that stood misaligned in the buffer
    void* m_buffer = nullptr;
    size_t m_bufferSize = 0;
};
