#include "linux/Targets.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "linux/UnixSockets.h"

namespace proc {

namespace {

// What /proc/PID/maps shows for a file where it differs from what stat
// gives: on a stacked file system older kernels write the file beneath, and
// a btrfs subvolume shows another device there. The kernel is asked by
// mapping the file here for a moment.
FileId MapsIdOf(const std::string& path, const FileId& statId, int procRoot) {
    struct statfs fs;
    if (statfs(path.c_str(), &fs) != 0 || (fs.f_type != OVERLAYFS_SUPER_MAGIC && fs.f_type != BTRFS_SUPER_MAGIC))
        return statId;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return statId;
    void* at = mmap(nullptr, 1, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (at == MAP_FAILED) return statId;
    FileId id = statId;
    std::string maps;
    if (ReadWholeFile(procRoot, "self/maps", maps)) {
        ForEachLine(maps.data(), maps.size(), [&](const char* begin, const char* end) {
            Mapping mapping;
            if (ParseMapsLine(begin, end, mapping) && mapping.start == reinterpret_cast<uintptr_t>(at)) id = mapping.id;
        });
    }
    munmap(at, 1);
    return id;
}

// The sockets bound to the file `id`, or to any file on its device where
// `wholeDevice`, as this network namespace lists them: by the bound file's
// identity where the kernel gives it, else by the path each was bound by,
// as that path stands now.
std::vector<uint64_t> SocketsBoundTo(const FileId& id, bool wholeDevice, int procRoot) {
    std::vector<uint64_t> sockets;
    auto same = [&id, wholeDevice](const FileId& file) {
        return file.dev == id.dev && (wholeDevice || file.ino == id.ino);
    };
    std::vector<BoundSocket> bound;
    if (ListBoundSockets(bound)) {
        for (const BoundSocket& socket : bound) {
            if (socket.fileDev != id.dev || (!wholeDevice && socket.fileIno != static_cast<uint32_t>(id.ino))) continue;
            // Where the inode has more than the kernel's 32 bits, the path
            // must bear the rest out.
            struct stat st;
            if (wholeDevice || id.ino <= UINT32_MAX ||
                (stat(socket.path.c_str(), &st) == 0 && same(FileId{st.st_dev, st.st_ino})))
                sockets.push_back(socket.inode);
        }
        return sockets;
    }
    std::string text;
    if (!ReadWholeFile(procRoot, "net/unix", text)) return sockets;
    for (const auto& [inode, path] : ParseUnixSockets(text.data(), text.size())) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && same(FileId{st.st_dev, st.st_ino})) sockets.push_back(inode);
    }
    return sockets;
}

}  // namespace

bool ResolveTarget(const std::string& name, SearchScope scope, Target& target, int& error, int procRoot) {
    target = Target();
    // The request maker has refused an empty name and a NAME with a folder part.
    if (scope == SearchScope::Name) {
        target.match = Target::Match::Name;
        target.text = name;
        return true;
    }
    if (scope == SearchScope::Tree) {
        // A folder's tree is compared as text: the folder as the kernel
        // names it, with its links resolved.
        std::unique_ptr<char, decltype(&std::free)> resolved(realpath(name.c_str(), nullptr), &std::free);
        if (!resolved) {
            error = errno;
            return false;
        }
        target.match = Target::Match::Tree;
        target.text = resolved.get();
        return true;
    }
    struct stat st;
    if (stat(name.c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    target.id = FileId{st.st_dev, st.st_ino};
    target.mapsId = target.id;
    if (scope == SearchScope::Device) {
        // A block device stands for the file system on it.
        if (S_ISBLK(st.st_mode)) target.id.dev = st.st_rdev;
        target.match = Target::Match::Device;
        target.sockets = SocketsBoundTo(target.id, true, procRoot);
        return true;
    }
    target.match = Target::Match::Identity;
    if (S_ISREG(st.st_mode)) target.mapsId = MapsIdOf(name, target.id, procRoot);
    target.socketFile = S_ISSOCK(st.st_mode);
    target.folder = S_ISDIR(st.st_mode);
    if (target.socketFile) target.sockets = SocketsBoundTo(target.id, false, procRoot);
    return true;
}

}  // namespace proc
