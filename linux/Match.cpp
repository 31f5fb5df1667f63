#include "linux/Match.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

namespace proc {

uint64_t MountNamespace(int dirFd, const char* name) {
    struct statx stx;
    return statx(dirFd, name, 0, STATX_INO, &stx) == 0 ? stx.stx_ino : 0;
}

TargetIndex::TargetIndex(const std::vector<Target>& t) : targets(t) {
    for (uint32_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        if (target.match == Target::Match::Identity) {
            byId.emplace_back(target.id, i);
            if (target.mapsId != target.id) byId.emplace_back(target.mapsId, i);
        } else {
            others.push_back(i);
        }
        needIds = needIds || target.match == Target::Match::Identity || target.match == Target::Match::Device;
        needText = needText || target.match == Target::Match::Name || target.match == Target::Match::Tree;
        socketTargets = socketTargets || !target.sockets.empty();
        needFolders = needFolders || target.match != Target::Match::Identity || target.folder;
    }
    std::sort(byId.begin(), byId.end());
    if (needText) {
        const int memory = memfd_create("fencat", MFD_CLOEXEC);
        struct stat st;
        if (memory >= 0 && fstat(memory, &st) == 0) sharedMemoryDev = st.st_dev;
        if (memory >= 0) close(memory);
    }
}

// Outside this mount namespace a path may name another file than here; it
// counts only where it names the same one.
bool Matcher::SameFileHere(std::string_view path, const Candidate& candidate) {
    if (m_mounts == 1) {
        m_mounts = MountNamespace(m_dir, "ns/mnt");
        m_ticks.fetch_add(1, std::memory_order_relaxed);
    }
    if (m_mounts != 0 && m_mounts == m_ownMounts) return true;
    FileId id = candidate.id;
    struct statx stx;
    if (!candidate.haveId) {
        if (candidate.link == nullptr ||
            statx(candidate.linkDir, candidate.link, AT_STATX_DONT_SYNC, STATX_INO, &stx) != 0)
            return false;
        id = IdOf(stx);
    }
    const std::string here(path);
    const bool same = statx(AT_FDCWD, here.c_str(), AT_STATX_DONT_SYNC, STATX_INO, &stx) == 0 && IdOf(stx) == id;
    m_ticks.fetch_add(1, std::memory_order_relaxed);
    return same;
}

}  // namespace proc
