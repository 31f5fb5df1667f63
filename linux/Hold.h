// Holding a process from the moment the scan finds it, so that a signal
// reaches that process or none: through a pidfd where the kernel has them
// (5.3 on), or else by its start time, checked again just before kill().
#pragma once

#include <cstdint>
#include <memory>

#include "linux/ProcText.h"
#include "search/Process.h"

namespace proc {

// How many pidfds the holds may keep open at once, by this process's
// limit on descriptors now.
uint64_t PidfdLimit();

// Takes hold of process `pid`, which `dir` (its /proc directory, open
// since it was read) stands for, then reads its stat through `dir`: a
// directory that still answers after the hold is taken shows that the
// process held is the one that was read. A hold takes a pidfd while fewer
// than `pidfdLimit` are held. False when it has ended; `held` is null
// where it could not be held.
bool HoldProcess(uint32_t pid, int dir, uint64_t pidfdLimit, ProcessStat& stat, std::shared_ptr<HeldProcess>& held);

}  // namespace proc
