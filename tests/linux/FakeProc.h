// A small /proc of a test's own making, and targets resolved against the
// real one: the reading of processes without real processes to set up.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "linux/Targets.h"

namespace {

namespace fs = std::filesystem;

class FakeProc {
public:
    FakeProc() {
        char pattern[] = "/tmp/fencat-proc-XXXXXX";
        m_top = mkdtemp(pattern);
        fs::create_directories(Root());
        m_rootFd = open(Root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    ~FakeProc() {
        close(m_rootFd);
        fs::remove_all(m_top);
    }
    int Fd() const { return m_rootFd; }
    std::string Root() const { return m_top + "/proc"; }
    // A real file outside the fake /proc, for links to point at.
    std::string File(const std::string& name) const {
        const std::string path = m_top + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    // A process as the kernel shows one that is running, named "pPID".
    fs::path Process(int pid) const {
        const fs::path dir = Root() + "/" + std::to_string(pid);
        fs::create_directories(dir / "fd");
        std::ofstream(dir / "maps");
        SetComm(dir, "p" + std::to_string(pid));
        return dir;
    }
    static void SetComm(const fs::path& dir, const std::string& comm) {
        std::ofstream(dir / "stat") << dir.filename().string() << " (" << comm
                                    << ") S 1 1 1 0 -1 4194560 0 0 0 0 0 0 0 0 20 0 1 0 4242 0 0\n";
    }
    // A maps line for `path` at `start`, as the kernel writes it.
    static std::string MapsLine(unsigned long start, const std::string& path) {
        struct stat st;
        stat(path.c_str(), &st);
        char line[512];
        std::snprintf(line, sizeof line, "%lx-%lx r--p 00000000 %02x:%02x %lu %s\n", start, start + 0x1000,
                      major(st.st_dev), minor(st.st_dev), static_cast<unsigned long>(st.st_ino), path.c_str());
        return line;
    }

private:
    std::string m_top;
    int m_rootFd = -1;
};

proc::Target Resolve(const std::string& name, SearchScope scope) {
    const int realProc = open("/proc", O_PATH | O_DIRECTORY | O_CLOEXEC);
    proc::Target target;
    int error = 0;
    EXPECT_TRUE(proc::ResolveTarget(name, scope, target, error, realProc)) << name << ": " << error;
    close(realProc);
    return target;
}

}  // namespace
