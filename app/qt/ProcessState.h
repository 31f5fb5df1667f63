// What the window can tell of a process that its own look could not read:
// whether it is still the same process, and whether a look by this user
// reads it.
#pragma once

#include <cstdint>

// The process's start in clock ticks since boot (field 22 of
// /proc/PID/stat), readable for any user's process; 0 where there is no such
// process.
uint64_t ProcessStart(uint32_t pid);
// Whether this user's look reads the process's descriptors and maps.
bool ProcessReadable(uint32_t pid);
