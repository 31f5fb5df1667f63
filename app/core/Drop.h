// The main window's handling of a drop, apart from any window system: the
// wait cursor, the emptied list, the search for the drop's first name, the
// result lines and the window's trace of the search on its diagnostics
// output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/Search.h"

// The window's result list.
class ResultList {
public:
    virtual ~ResultList() = default;
    virtual void Clear() = 0;
    // Shows the list as it is now, before the search blocks the window.
    virtual void Repaint() = 0;
    // Adds a line at the end; lines are never sorted.
    virtual void Append(const char* line, const Finding& finding) = 0;
    // Once per search, when the processes have been read: how many refused
    // to be examined. A window that does not say so need not listen.
    virtual void ProcessesNotExamined(uint32_t count) { (void)count; }
    // Once per search where some processes were given up because reading
    // them made no progress (a lock held, a hung file system).
    virtual void ProcessesStalled(const std::vector<uint32_t>& pids) { (void)pids; }
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

// A drop of names that the window already holds: the FILE of its command
// line.
class NameListDrop : public DroppedFiles {
public:
    explicit NameListDrop(std::vector<std::string> names) : m_names(std::move(names)) {}
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

enum class DropEnd {
    NoName,    // the drop carried no name; nothing was searched
    Finished,  // both passes ran
    Stopped,   // a failure stopped the search; its diagnostic was printed
};

// The drop handling of the main window: wait cursor, an emptied and
// repainted list, then the search for the drop's first name. A name with a
// folder part is searched as that file (or, for kTree, that folder's tree);
// a bare name matches that file name anywhere.
DropEnd HandleDrop(const DroppedFiles& drop, ResultList& list, WaitCursor& cursor,
                   SearchScope scope = SearchScope::File);

// The scope a dropped name is searched in: a bare name (as Windows tells
// one) stands for any file of that name.
SearchScope DropScope(const std::string& name, SearchScope scope = SearchScope::File);

