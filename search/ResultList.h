// What the usage search needs of the front end that shows its results.
#pragma once

#include <cstdint>

#include "sysinfo/Text.h"

// One finding behind a result line. The line itself carries only the process
// ID and name; front ends that show more read it from here.
struct Finding {
    enum class Kind { Module, Handle };
    Kind kind;
    uint32_t pid;
    Text processName;
    Text path;  // the module path, or the handle's name, as the system gave it
};

class ResultList {
public:
    virtual ~ResultList() = default;
    virtual void Clear() = 0;
    // Shows the list as it is now, before the search blocks the front end.
    virtual void Repaint() = 0;
    // Adds a line at the end; lines are never sorted.
    virtual void Append(const char* line, const Finding& finding) = 0;
    // Once per search, when the module list has loaded: how many processes
    // refused to be opened (another user's, or protected). Their findings
    // are missing from the lines; a front end that does not say so need not
    // listen.
    virtual void ProcessesNotExamined(uint32_t count) { (void)count; }
};

// The files of one drop, read like the shell's drop object: with no buffer
// the call gives the length of name `index` without its terminating zero
// (0 when there is none); with a buffer it copies at most size - 1 bytes
// and a zero.
class DroppedFiles {
public:
    virtual ~DroppedFiles() = default;
    virtual uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const = 0;
};

class WaitCursor {
public:
    virtual ~WaitCursor() = default;
    virtual void Begin() = 0;
    virtual void End() = 0;
};
