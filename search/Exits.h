// How fencat ends, as users of fuser and grep expect it; the window's check
// as root reads the same statuses back.
#pragma once

#include "search/OnEach.h"

// With -w, 0 once the files are free, 1 when the time ran out, and 3 when
// they are free of every process that could be examined, but some could not.
enum ExitStatus { kFound = 0, kNotFound = 1, kFailed = 2, kNotAllExamined = 3 };

struct ExitRow {
    ExitStatus status;
    const char* meaning;  // how the help goes on after the number
};

// In the order of the numbers.
inline constexpr ExitRow kExitStatuses[] = {
    {kFound, "if a process was found (with -w: once the files are free)"},
    {kNotFound, "if none was (with -w: when the time ran out)"},
    {kFailed, OnEach("on error or when a process could not be signalled",
                     "on error or when a process could not be ended")},
    {kNotAllExamined, "with -w when no process it could examine uses the files, but some could not be examined"},
};
