// Waiting until no process uses the files any more, one look at a time, so
// that a command can loop with its own pauses and a window can look from a
// timer.
#pragma once

#include <cstdint>
#include <vector>

#include "search/Search.h"

enum class WaitState {
    InUse,              // a process uses a file, or one could not be read to the end
    Free,               // every process was examined, and none uses a file
    FreeAmongExamined,  // none of those examined uses a file, but some could not be examined
};

// Takes the findings of process `pid` out of every report.
void DropFindingsOf(std::vector<SearchReport>& reports, uint32_t pid);

class FreeWatch {
public:
    // `self`, where not 0, is a process whose use of the files does not
    // count: the one that waits, where the search does not leave it out.
    explicit FreeWatch(std::vector<SearchRequest> requests, uint32_t self = 0)
        : m_requests(std::move(requests)), m_self(self) {}

    // One look: at the processes that used the files at the last look, as
    // long as one of them still does; at every process before the files
    // are called free, and at the first look.
    WaitState Look();
    // What the last look saw, one report per request.
    const std::vector<SearchReport>& Reports() const { return m_reports; }

private:
    void Take(std::vector<SearchReport> reports);

    std::vector<SearchRequest> m_requests;
    uint32_t m_self;
    std::vector<SearchReport> m_reports;
    // The processes that used a file at the last look, or could not be read
    // to the end; ascending.
    std::vector<uint32_t> m_users;
};
