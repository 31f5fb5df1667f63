#include "windows/sysinfo/SystemProcessesInformation.h"

#include <cstring>

#include "windows/platform/Api.h"
#include "windows/sysinfo/NativeApi.h"

void PidIndex::Clear() {
    m_heads.clear();
    m_nodes.clear();
}

void PidIndex::Insert(uint32_t pid, const ProcessEntry* entry) {
    if (m_heads.empty()) m_heads.assign(kBuckets, kEnd);
    int32_t& head = m_heads[BucketOf(pid)];
    for (int32_t i = head; i != kEnd; i = m_nodes[static_cast<size_t>(i)].next) {
        if (m_nodes[static_cast<size_t>(i)].pid == pid) {
            m_nodes[static_cast<size_t>(i)].entry = entry;
            return;
        }
    }
    m_nodes.push_back(Node{pid, entry, head});
    head = static_cast<int32_t>(m_nodes.size() - 1);
}

bool PidIndex::Find(uint32_t pid, const ProcessEntry*& entry) const {
    if (m_heads.empty()) return false;
    for (int32_t i = m_heads[BucketOf(pid)]; i != kEnd; i = m_nodes[static_cast<size_t>(i)].next) {
        if (m_nodes[static_cast<size_t>(i)].pid == pid) {
            entry = m_nodes[static_cast<size_t>(i)].entry;
            return true;
        }
    }
    return false;
}

PidIndex::Position PidIndex::FirstFromBucket(uint32_t bucket) const {
    for (; bucket < m_heads.size(); ++bucket) {
        if (m_heads[bucket] != kEnd) return static_cast<Position>(m_heads[bucket]) + 1;
    }
    return 0;
}

PidIndex::Position PidIndex::GetStartPosition() const { return FirstFromBucket(0); }

void PidIndex::GetNextAssoc(Position& pos, uint32_t& pid, const ProcessEntry*& entry) const {
    const Node& node = m_nodes[pos - 1];
    pid = node.pid;
    entry = node.entry;
    pos = node.next != kEnd ? static_cast<Position>(node.next) + 1 : FirstFromBucket(BucketOf(node.pid) + 1);
}

SystemProcessesInformation::SystemProcessesInformation(bool refresh) {
    Grow(kInitialBufferSize);
    if (refresh) Refresh();
}

SystemProcessesInformation::~SystemProcessesInformation() {
    if (m_buffer != nullptr) os::VirtualFree(m_buffer, 0, os::MEM_RELEASE);
    m_index.Clear();
}

// Replaces the buffer by one of `size` bytes; the old one stays when the
// new one cannot be had.
bool SystemProcessesInformation::Grow(size_t size) {
    void* buffer = os::VirtualAlloc(nullptr, size, os::MEM_COMMIT, os::PAGE_READWRITE);
    if (buffer == nullptr) return false;
    if (m_buffer != nullptr) os::VirtualFree(m_buffer, 0, os::MEM_RELEASE);
    m_buffer = buffer;
    m_bufferSize = size;
    return true;
}

static bool BufferTooSmall(os::NTSTATUS status) {
    return status == os::STATUS_INFO_LENGTH_MISMATCH || status == os::STATUS_BUFFER_TOO_SMALL ||
           status == os::STATUS_BUFFER_OVERFLOW;
}

bool SystemProcessesInformation::Refresh() {
    m_index.Clear();
    m_realigned.clear();
    if (!g_nativeApiAvailable) return false;
    if (m_buffer == nullptr) return false;
    // A real process table outgrows any fixed buffer, so grow to what the
    // platform asks for (or double), with room for processes that start
    // meanwhile. Sizes are reckoned in 64 bits, since a reported size near
    // 4 GiB plus its margin wraps a 32-bit one to something small; and each
    // pass must grow, so that no answer keeps the loop going.
    for (int pass = 0;; ++pass) {
        os::ULONG needed = 0;
        os::NTSTATUS status = NativeApi.NtQuerySystemInformation(
            os::SystemProcessInformation, m_buffer, static_cast<os::ULONG>(m_bufferSize), &needed);
        if (status == os::STATUS_SUCCESS) break;
        if (!BufferTooSmall(status) || pass == kMaxRetries) return false;
        uint64_t next = needed > m_bufferSize ? uint64_t{needed} + needed / 8 : uint64_t{m_bufferSize} * 2;
        if (next > kMaxBufferSize) next = kMaxBufferSize;
        if (next <= m_bufferSize || !Grow(static_cast<size_t>(next))) return false;
    }
    auto* base = static_cast<unsigned char*>(m_buffer);
    size_t offset = 0;
    for (;;) {
        // The platform's answer is not trusted to be well-formed: a record
        // that would reach past the buffer, or stand at an odd offset, ends
        // the walk.
        if (m_bufferSize - offset < sizeof(ProcessEntry) || offset % alignof(os::WCHAR) != 0) break;
        ProcessEntry* entry;
        if (offset % alignof(ProcessEntry) == 0) {
            entry = reinterpret_cast<ProcessEntry*>(base + offset);
        } else {
            // Wine packs its records at 2-byte boundaries; such a record is
            // read through an aligned copy (its name stays in the buffer).
            m_realigned.emplace_back();
            std::memcpy(&m_realigned.back(), base + offset, sizeof(ProcessEntry));
            entry = &m_realigned.back();
        }
        ForgetNameOutside(entry->ImageName);
        m_index.Insert(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry->UniqueProcessId)), entry);
        // Records never overlap: making one name safe must not touch
        // another's. Compared before adding, so that no offset can wrap.
        if (entry->NextEntryOffset < sizeof(ProcessEntry) || entry->NextEntryOffset >= m_bufferSize - offset) break;
        offset += entry->NextEntryOffset;
    }
    return true;
}

// Users read a record's name through its pointer, as far as its length or
// capacity goes; a name that does not lie wholly inside the buffer (or that
// stands misaligned) becomes no name, so that nobody reads elsewhere.
void SystemProcessesInformation::ForgetNameOutside(os::UNICODE_STRING& name) const {
    const uintptr_t begin = reinterpret_cast<uintptr_t>(m_buffer);
    const uintptr_t at = reinterpret_cast<uintptr_t>(name.Buffer);
    const size_t bytes = name.Length > name.MaximumLength ? name.Length : name.MaximumLength;
    const bool inside = at >= begin && at - begin <= m_bufferSize && m_bufferSize - (at - begin) >= bytes &&
                        at % alignof(os::WCHAR) == 0;
    if (name.Buffer == nullptr || inside) return;
    name.Length = 0;
    name.MaximumLength = 0;
    name.Buffer = nullptr;
}
