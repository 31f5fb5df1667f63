// A process that uses files the way the tests ask, says "ready", and holds
// on until its standard input closes.
//   holder read PATH | write PATH | twice PATH | cwd DIR | map PATH | wait
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

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
                 mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0) != MAP_FAILED;
            if (fd >= 0) close(fd);  // the mapping alone keeps the file in use
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
