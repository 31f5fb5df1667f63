// A process that uses files the way the tests ask, says "ready", and holds
// on until its standard input closes.
//   holder read PATH | write PATH | twice PATH | cwd DIR | map PATH | fifo PATH | socket PATH |
//          mapmany PATH | highfd PATH | last PATH | thread-open PATH | thread-cwd DIR |
//          leader-exits PATH | memfd NAME | wait
// mapmany maps the first page of PATH 30000 times, apart, so that none
// merge; a map after it lands above them all, at the end of the maps text.
// highfd holds PATH open as descriptor 70000, past any 16-bit number.
// last opens 2000 descriptors of /dev/null, then PATH.
// thread-open and thread-cwd start a thread that takes a descriptor table or
// folders of its own and opens PATH or sits in DIR, and stays.
// leader-exits opens and maps PATH and sits in its folder; then the main
// thread exits while another holds on. It comes last.
// memfd maps a memfd named NAME and shared anonymous memory, both of the
// kernel's own shared memory, which /proc names like deleted files.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <sched.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <thread>

namespace {

constexpr size_t kManyMappings = 30000;
char* g_above = nullptr;  // where a map after mapmany goes

bool MapMany(int fd) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t span = 2 * kManyMappings * page;
    void* region = mmap(nullptr, span + page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) return false;
    munmap(region, span + page);
    char* base = static_cast<char*>(region);
    for (size_t i = 0; i < kManyMappings; ++i) {
        if (mmap(base + 2 * i * page, page, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0) == MAP_FAILED) return false;
    }
    g_above = base + span;
    return true;
}

bool Map(const char* path) {
    int fd = open(path, O_RDONLY);
    struct stat st;
    const bool ok = fd >= 0 && fstat(fd, &st) == 0 &&
                    mmap(g_above, static_cast<size_t>(st.st_size), PROT_READ,
                         MAP_PRIVATE | (g_above ? MAP_FIXED : 0), fd, 0) != MAP_FAILED;
    if (fd >= 0) close(fd);  // the mapping alone keeps the file in use
    return ok;
}

// "ready", then holds on until standard input closes.
void HoldOn() {
    std::puts("ready");
    std::fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0) {
    }
}

// A thread with a table of its own (`unshared`: CLONE_FILES or CLONE_FS)
// that uses `path` through it, and stays.
bool InThreadOfItsOwn(int unshared, const char* path) {
    std::promise<bool> used;
    std::future<bool> done = used.get_future();
    std::thread([unshared, path, &used] {
        used.set_value(unshare(unshared) == 0 &&
                       (unshared == CLONE_FILES ? open(path, O_RDONLY) >= 0 : chdir(path) == 0));
        for (;;) pause();
    }).detach();
    return done.get();
}

// Leaves `path` open, mapped and its folder current to another thread,
// which holds on once this one, the leader, has exited.
void LeaderExits(const char* path) {
    std::string folder(path);
    folder.erase(folder.rfind('/') + 1);
    if (open(path, O_RDONLY) < 0 || !Map(path) || chdir(folder.c_str()) != 0) {
        std::perror("leader-exits");
        _exit(2);
    }
    std::thread([] {
        // The leader has exited when the process's state is a zombie's.
        for (int i = 0; i < 1000; ++i) {
            char stat[256] = {};
            const int fd = open("/proc/self/stat", O_RDONLY);
            const bool read = fd >= 0 && ::read(fd, stat, sizeof stat - 1) > 0;
            if (fd >= 0) close(fd);
            const char* end = read ? std::strrchr(stat, ')') : nullptr;
            if (end != nullptr && end[1] == ' ' && end[2] == 'Z') break;
            usleep(10000);
        }
        HoldOn();
        _exit(0);
    }).detach();
    pthread_exit(nullptr);
}

bool Use(const char* mode, const char* path) {
    if (std::strcmp(mode, "read") == 0) return open(path, O_RDONLY) >= 0;
    if (std::strcmp(mode, "write") == 0) return open(path, O_WRONLY) >= 0;
    if (std::strcmp(mode, "twice") == 0) return open(path, O_RDONLY) >= 0 && open(path, O_RDONLY) >= 0;
    if (std::strcmp(mode, "cwd") == 0) return chdir(path) == 0;
    if (std::strcmp(mode, "map") == 0) return Map(path);
    if (std::strcmp(mode, "mapmany") == 0) {
        int fd = open(path, O_RDONLY);
        const bool ok = fd >= 0 && MapMany(fd);
        if (fd >= 0) close(fd);
        return ok;
    }
    if (std::strcmp(mode, "highfd") == 0) {
        const rlimit limit{70001, 70001};
        int fd = open(path, O_RDONLY);
        return fd >= 0 && setrlimit(RLIMIT_NOFILE, &limit) == 0 && dup2(fd, 70000) == 70000 && close(fd) == 0;
    }
    if (std::strcmp(mode, "last") == 0) {
        rlimit limit;
        bool ok = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max >= 2100;
        limit.rlim_cur = limit.rlim_max;
        ok = ok && setrlimit(RLIMIT_NOFILE, &limit) == 0;
        for (int n = 0; ok && n < 2000; ++n) ok = open("/dev/null", O_RDONLY) >= 0;
        return ok && open(path, O_RDONLY) >= 0;
    }
    // Made here and opened both ways, so the open does not wait for a peer.
    if (std::strcmp(mode, "fifo") == 0) return mkfifo(path, 0600) == 0 && open(path, O_RDWR) >= 0;
    if (std::strcmp(mode, "socket") == 0) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd < 0 || std::strlen(path) >= sizeof address.sun_path) return false;
        std::strcpy(address.sun_path, path);
        return bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 1) == 0;
    }
    if (std::strcmp(mode, "memfd") == 0) {
        const int fd = memfd_create(path, 0);
        return fd >= 0 && ftruncate(fd, 4096) == 0 &&
               mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0) != MAP_FAILED &&
               mmap(nullptr, 4096, PROT_READ, MAP_SHARED | MAP_ANONYMOUS, -1, 0) != MAP_FAILED;
    }
    if (std::strcmp(mode, "thread-open") == 0) return InThreadOfItsOwn(CLONE_FILES, path);
    if (std::strcmp(mode, "thread-cwd") == 0) return InThreadOfItsOwn(CLONE_FS, path);
    if (std::strcmp(mode, "leader-exits") == 0) LeaderExits(path);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!Use(argv[i], argv[i + 1])) {
            std::perror(argv[i]);
            return 2;
        }
    }
    HoldOn();
    return 0;
}
