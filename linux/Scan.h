// One scan of /proc for every target: each process is read once (its maps,
// descriptors, current and root folders, executable) and compared with all
// the targets, on as many threads as the machine has cores.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "linux/Match.h"
#include "linux/Targets.h"
#include "search/Finding.h"

namespace proc {

// A finding of one target.
struct Hit {
    uint32_t target;  // index into the scan's targets
    Finding finding;  // with the process's name and owner
};

struct ScanOutcome {
    bool listed = false;  // whether /proc could be listed at all
    int listError = 0;    // errno's value where it could not
    // The processes with findings, by process ID, each with its hits in the
    // order they were read: its mappings, then descriptors, then folders.
    std::vector<std::vector<Hit>> processes;
    std::vector<uint32_t> refused;  // not (fully) examined: access denied; ascending
    // Not (fully) examined: this process had no descriptor or memory to
    // spare, even when read again alone; ascending.
    std::vector<uint32_t> exhausted;
    std::vector<uint32_t> stalled;  // given up: reading made no progress; ascending
};

// What every reader of a scan reads; it outlives the scan while a reader
// that was given up still runs.
struct ScanContext {
    TargetIndex index;
    uint64_t ownMounts = 0;  // this process's mount namespace
    uint32_t self = 0;
    // Whether the /proc is of this process's own PID namespace, so that its
    // process IDs are the ones a hold or kcmp() takes.
    bool ownPids = false;
    unsigned readers = 1;     // the threads that read processes at once
    uint64_t holdLimit = 0;   // read once for the scan, by `readers`
    int root = -1;            // the /proc being read; owned

    ScanContext(const std::vector<Target>& targets, int procRoot, unsigned readerThreads);
    ~ScanContext();
    ScanContext(const ScanContext&) = delete;
    ScanContext& operator=(const ScanContext&) = delete;
    // The path a bound UNIX socket has, or null.
    const std::string* BoundPath(uint64_t inode);

private:
    // The bound UNIX sockets, read once when a name is first wanted.
    std::once_flag m_socketsRead;
    std::vector<std::pair<uint64_t, std::string>> m_sockets;
};

// How long a read of one process may go without progress before the
// process is given up.
constexpr int kStallMilliseconds = 100;

// Reads the processes of the /proc that `procRoot` (a directory descriptor)
// stands for: all of them, or those of `only`. Each process found is held
// (Finding::process) where that /proc is this process's own. The scan keeps
// its own copy of the descriptor.
ScanOutcome Scan(const std::vector<Target>& targets, int procRoot, const std::vector<uint32_t>* only = nullptr);

}  // namespace proc
