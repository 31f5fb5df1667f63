// One scan of /proc for every target: each process is read once (its maps,
// descriptors, current and root folders, executable) and compared with all
// the targets, on as many threads as the machine has cores.
#pragma once

#include <cstdint>
#include <vector>

#include "search/Finding.h"
#include "linux/Targets.h"

namespace proc {

// A finding of one target.
struct Hit {
    uint32_t target;  // index into the scan's targets
    Finding finding;  // with the process's name and owner
};

struct ScanOutcome {
    bool listed = false;  // whether /proc could be listed at all
    // The processes with findings, by process ID, each with its hits in the
    // order they were read: its mappings, then descriptors, then folders.
    std::vector<std::vector<Hit>> processes;
    std::vector<uint32_t> refused;  // not (fully) examined: access denied; ascending
    std::vector<uint32_t> stalled;  // given up: reading made no progress; ascending
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
