// Holding a process from the moment the scan finds it, so that a signal
// reaches that process or none: through a pidfd where the kernel has them
// (5.3 on), else through its /proc folder kept open, or, with no descriptor
// to spare, by its start time, checked again just before kill().
#pragma once

#include <cstdint>
#include <memory>

#include "linux/ProcText.h"
#include "search/Process.h"

namespace proc {

// How many descriptors (pidfds, folders) the holds may keep open at once,
// by this process's limit on descriptors now and the threads that read
// /proc meanwhile.
uint64_t HoldLimit(unsigned readers);

// Takes hold of process `pid`, which `dir` (its /proc directory, open
// since it was read) stands for, then reads its stat through `dir`: a
// directory that still answers after the hold is taken shows that the
// process held is the one that was read. A hold takes a descriptor while
// fewer than `holdLimit` are held (else it is held by its start time).
// 0 once held; ESRCH when it has ended; else the error that kept its stat
// from being read.
int HoldProcess(uint32_t pid, int dir, uint64_t holdLimit, ProcessStat& stat, std::shared_ptr<HeldProcess>& held);

// The error reading the stat of the process `dir` stands for gave; 0 when
// it was read, ESRCH when it has ended.
int ReadProcessStat(int dir, ProcessStat& stat);

}  // namespace proc
