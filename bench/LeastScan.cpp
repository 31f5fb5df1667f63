// The least scan of /proc that compares identities: for each process, its
// file mappings through PROCMAP_QUERY and a statx of each descriptor, on
// one thread per core. It checks nothing, names nothing and reads no
// thread, folder or executable, so no tool that answers by identity over
// /proc can be cheaper: the benchmark prints fencat's cost against it.
//
//   fencat_least_scan FILE     prints the number of uses found
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// As <linux/fs.h> has it since Linux 6.11.
struct ProcmapQuery {
    uint64_t size, flags, address, start, end, vmaFlags, pageSize, offset, inode;
    uint32_t major, minor, nameSize, buildIdSize;
    uint64_t nameAddress, buildIdAddress;
};
constexpr unsigned long kQuery = _IOWR('f', 17, ProcmapQuery);
constexpr uint64_t kFileBackedCoveringOrNext = 0x30;

struct Scan {
    int root;
    dev_t device;
    ino_t inode;
    std::vector<int> pids;
    std::atomic<size_t> next{0};
    std::atomic<long> found{0};

    void Maps(int pidDir) {
        const int fd = openat(pidDir, "maps", O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        ProcmapQuery query{};
        for (uint64_t address = 0;; address = query.end) {
            query = ProcmapQuery{};
            query.size = sizeof query;
            query.flags = kFileBackedCoveringOrNext;
            query.address = address;
            if (ioctl(fd, kQuery, &query) != 0) break;
            if (query.inode == inode && makedev(query.major, query.minor) == device) ++found;
        }
        close(fd);
    }

    void Descriptors(int pidDir) {
        const int fd = openat(pidDir, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        alignas(8) char entries[16384];
        long got;
        while ((got = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0) {
            for (long at = 0; at < got;) {
                const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
                at += entry->d_reclen;
                struct statx stx;
                if (entry->d_name[0] != '.' &&
                    statx(fd, entry->d_name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &stx) == 0 &&
                    stx.stx_ino == inode && makedev(stx.stx_dev_major, stx.stx_dev_minor) == device)
                    ++found;
            }
        }
        close(fd);
    }

    void Work() {
        for (size_t i; (i = next.fetch_add(1)) < pids.size();) {
            const int pidDir = openat(root, std::to_string(pids[i]).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (pidDir < 0) continue;
            Maps(pidDir);
            Descriptors(pidDir);
            close(pidDir);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    struct stat target;
    if (argc != 2 || stat(argv[1], &target) != 0) {
        std::fprintf(stderr, "usage: fencat_least_scan FILE\n");
        return 2;
    }
    Scan scan;
    scan.device = target.st_dev;
    scan.inode = target.st_ino;
    scan.root = open("/proc", O_PATH | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = opendir("/proc");
    if (scan.root < 0 || dir == nullptr) return 1;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9') scan.pids.push_back(std::atoi(entry->d_name));
    }
    closedir(dir);
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
        threads.emplace_back([&scan] { scan.Work(); });
    for (std::thread& thread : threads) thread.join();
    std::printf("%ld\n", scan.found.load());
    return scan.found > 0 ? 0 : 1;
}
