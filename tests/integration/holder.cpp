// A process that uses files the way the tests ask, says "ready", and holds
// on until its standard input closes.
//   holder read PATH | write PATH | twice PATH | cwd DIR | map PATH | fifo PATH | socket PATH |
//          mapmany PATH | highfd PATH | last PATH | wait
// mapmany maps the first page of PATH 30000 times, apart, so that none
// merge; a map after it lands above them all, at the end of the maps text.
// highfd holds PATH open as descriptor 70000, past any 16-bit number.
// last opens 2000 descriptors of /dev/null, then PATH.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

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

}  // namespace

int main(int argc, char** argv) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (int i = 1; i + 1 < argc || (i < argc && std::strcmp(argv[i], "wait") == 0); i += 2) {
        const char* mode = argv[i];
        const char* path = i + 1 < argc ? argv[i + 1] : "";
        bool ok = true;
        if (std::strcmp(mode, "read") == 0) {
            ok = open(path, O_RDONLY) >= 0;
        } else if (std::strcmp(mode, "write") == 0) {
            ok = open(path, O_WRONLY) >= 0;
        } else if (std::strcmp(mode, "twice") == 0) {
            ok = open(path, O_RDONLY) >= 0 && open(path, O_RDONLY) >= 0;
        } else if (std::strcmp(mode, "cwd") == 0) {
            ok = chdir(path) == 0;
        } else if (std::strcmp(mode, "map") == 0) {
            int fd = open(path, O_RDONLY);
            struct stat st;
            ok = fd >= 0 && fstat(fd, &st) == 0 &&
                 mmap(g_above, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | (g_above ? MAP_FIXED : 0),
                      fd, 0) != MAP_FAILED;
            if (fd >= 0) close(fd);  // the mapping alone keeps the file in use
        } else if (std::strcmp(mode, "mapmany") == 0) {
            int fd = open(path, O_RDONLY);
            ok = fd >= 0 && MapMany(fd);
            if (fd >= 0) close(fd);
        } else if (std::strcmp(mode, "highfd") == 0) {
            const rlimit limit{70001, 70001};
            int fd = open(path, O_RDONLY);
            ok = fd >= 0 && setrlimit(RLIMIT_NOFILE, &limit) == 0 && dup2(fd, 70000) == 70000 && close(fd) == 0;
        } else if (std::strcmp(mode, "last") == 0) {
            rlimit limit;
            ok = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max >= 2100;
            limit.rlim_cur = limit.rlim_max;
            ok = ok && setrlimit(RLIMIT_NOFILE, &limit) == 0;
            for (int n = 0; ok && n < 2000; ++n) ok = open("/dev/null", O_RDONLY) >= 0;
            ok = ok && open(path, O_RDONLY) >= 0;
        } else if (std::strcmp(mode, "fifo") == 0) {
            // Made here and opened both ways, so the open does not wait for a peer.
            ok = mkfifo(path, 0600) == 0 && open(path, O_RDWR) >= 0;
        } else if (std::strcmp(mode, "socket") == 0) {
            int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            ok = fd >= 0 && std::strlen(path) < sizeof address.sun_path;
            if (ok) std::strcpy(address.sun_path, path);
            ok = ok && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 1) == 0;
        } else if (std::strcmp(mode, "wait") == 0) {
            break;
        } else {
            ok = false;
        }
        if (!ok) {
            std::perror(mode);
            return 2;
        }
    }
    std::puts("ready");
    std::fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0) {
    }
    return 0;
}
