// What the usage search needs of the front end that shows its results.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sysinfo/Text.h"

// One finding behind a result line. The line itself carries only the process
// ID and name; front ends that show more read it from here.
struct Finding {
    enum class Kind { Module, Handle };
    // How the process uses the file; a finding may carry several.
    enum Access : uint32_t {
        kMapped = 1u << 0,         // a module: loaded or mapped
        kExecutable = 1u << 1,     // the process's executable
        kRead = 1u << 2,           // held open for reading
        kWrite = 1u << 3,          // held open for writing
        kCurrentFolder = 1u << 4,  // the process's current folder
        kRootFolder = 1u << 5,     // the process's root folder
        kOpen = 1u << 6,           // held open, how is not known
    };
    static constexpr int64_t kUnknown = -1;

    Kind kind;
    uint32_t pid;
    Text processName;
    Text path;  // the module path, or the handle's name, as the system gave it
    uint32_t access = 0;
    int64_t descriptor = kUnknown;  // the descriptor or handle value
    int64_t uid = kUnknown;         // the process's owner
};

class ResultList {
public:
    virtual ~ResultList() = default;
    virtual void Clear() = 0;
    // Shows the list as it is now, before the search blocks the front end.
    virtual void Repaint() = 0;
    // Opens this list's part of a search of several names, before any of
    // its diagnostics or lines.
    virtual void Begin() {}
    // Adds a line at the end; lines are never sorted.
    virtual void Append(const char* line, const Finding& finding) = 0;
    // Once per search, when the processes have been read: how many refused
    // to be examined (another user's, or protected). Their findings are
    // missing from the lines; a front end that does not say so need not
    // listen.
    virtual void ProcessesNotExamined(uint32_t count) { (void)count; }
    // Once per search where some processes were given up because reading
    // them made no progress (a lock held, a hung file system).
    virtual void ProcessesStalled(const std::vector<uint32_t>& pids) { (void)pids; }
};

// What a front end says when processes could not be examined (refused, or
// given up as stalled); empty for none.
std::string NotExaminedNotice(uint32_t count, const std::vector<uint32_t>& stalled = {});

// The files of one drop, read like the shell's drop object: with no buffer
// the call gives the length of name `index` without its terminating zero
// (0 when there is none); with a buffer it copies at most size - 1 bytes
// and a zero.
class DroppedFiles {
public:
    virtual ~DroppedFiles() = default;
    virtual uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const = 0;
};

// A drop of names that the front end already holds: a command line's FILE,
// or the local files of a window system's drop.
class NameListDrop : public DroppedFiles {
public:
    NameListDrop() = default;
    explicit NameListDrop(std::vector<std::string> names) : m_names(std::move(names)) {}
    void Add(std::string name) { m_names.push_back(std::move(name)); }
    bool Empty() const { return m_names.empty(); }
    const std::vector<std::string>& Names() const { return m_names; }
    uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override;

private:
    std::vector<std::string> m_names;
};

class WaitCursor {
public:
    virtual ~WaitCursor() = default;
    virtual void Begin() = 0;
    virtual void End() = 0;
};
