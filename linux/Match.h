// Matching what a process uses with the targets of a scan: the targets
// indexed once, and each candidate compared with all of them at once.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "linux/ProcText.h"
#include "linux/Targets.h"
#include "linux/Watchdog.h"
#include "search/Paths.h"

namespace proc {

inline FileId IdOf(const struct statx& stx) {
    return FileId{makedev(stx.stx_dev_major, stx.stx_dev_minor), stx.stx_ino};
}

// The mount namespace that `name` under `dirFd` stands for; 0 where unknown.
uint64_t MountNamespace(int dirFd, const char* name);

// What a candidate offers for comparison: its identity where it was taken,
// and its path text where it was read.
struct Candidate {
    bool haveId = false;
    FileId id;
    bool socket = false;
    const std::string_view* text = nullptr;
    // The /proc link the candidate was read from, where there is one: its
    // identity is taken there when a tree's match must be checked.
    int linkDir = -1;
    const char* link = nullptr;
};

// The targets of one scan, indexed for comparison.
struct TargetIndex {
    explicit TargetIndex(const std::vector<Target>& t);

    std::vector<Target> targets;
    std::vector<std::pair<FileId, uint32_t>> byId;  // identity targets, by id and maps id
    std::vector<uint32_t> others;                   // the rest, compared one by one
    bool needIds = false;
    bool needText = false;
    bool socketTargets = false;  // some target has sockets bound to it
    // Where text is compared: the device of the kernel's own shared memory
    // (memfd, SysV segments, shared anonymous maps), whose names lie in no
    // folder, however they read; 0 where unknown.
    uint64_t sharedMemoryDev = 0;
    // Whether a current or root folder, always a folder, can be a target.
    bool needFolders = false;
};

// Compares the candidates of one process with the targets. Every call that
// may block counts as progress once it returns.
class Matcher {
public:
    Matcher(const TargetIndex& index, uint64_t ownMounts, Progress& ticks)
        : m_index(index), m_ownMounts(ownMounts), m_ticks(ticks) {}

    // Starts on the process whose /proc folder is `dir`.
    void Start(int dir) {
        m_dir = dir;
        m_mounts = 1;
    }

    // Calls found(target) for each target the candidate is, once.
    template <typename Found>
    void Compare(const Candidate& candidate, Found&& found);

private:
    bool SameFileHere(std::string_view path, const Candidate& candidate);

    const TargetIndex& m_index;
    const uint64_t m_ownMounts;
    Progress& m_ticks;
    int m_dir = -1;
    uint64_t m_mounts = 1;  // the process's mount namespace; 1: not read yet
};

template <typename Found>
void Matcher::Compare(const Candidate& candidate, Found&& found) {
    if (candidate.haveId) {
        auto range =
            std::equal_range(m_index.byId.begin(), m_index.byId.end(), std::make_pair(candidate.id, uint32_t{0}),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        uint32_t last = UINT32_MAX;
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second != last) found(it->second);
            last = it->second;
        }
    }
    for (const uint32_t index : m_index.others) {
        const Target& target = m_index.targets[index];
        switch (target.match) {
        case Target::Match::Device:
            if (candidate.haveId && candidate.id.dev == target.id.dev && !candidate.socket) found(index);
            break;
        case Target::Match::Name:
            if (candidate.text != nullptr && FinalComponent(*candidate.text, PathStyle::Unix) == target.text)
                found(index);
            break;
        case Target::Match::Tree:
            if (candidate.text != nullptr && LiesAtOrBelow(*candidate.text, target.text) &&
                SameFileHere(*candidate.text, candidate))
                found(index);
            break;
        case Target::Match::Identity: break;
        }
    }
    if (candidate.socket && m_index.socketTargets) {
        for (uint32_t index = 0; index < m_index.targets.size(); ++index) {
            const std::vector<uint64_t>& sockets = m_index.targets[index].sockets;
            if (std::find(sockets.begin(), sockets.end(), candidate.id.ino) != sockets.end()) found(index);
        }
    }
}

}  // namespace proc
