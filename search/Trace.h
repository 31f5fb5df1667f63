// The trace of a search, as the dialog, the command line and the Qt window
// print it where Diag prints: a line as each search begins, the header and
// rule of each stage the search got through, and why it stopped.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "search/Search.h"

// What a system's front ends call the steps.
struct TraceWords {
    const char* begin;  // the line that begins a search's trace, without its "\n"
    // Why a search stopped, as a line with its "\n".
    std::string (*stopped)(const SearchStop& stop);
};

// The words of the Windows front ends (the dialog, fencat.exe), and those
// of the Linux ones.
const TraceWords& WindowsTraceWords();
const TraceWords& LinuxTraceWords();

// The header line of a stage and a rule of the given number of dashes.
std::string PassHeader(size_t ruleLength);
constexpr size_t kLoadedPassRule = 66;
constexpr size_t kOpenPassRule = 54;

// One search's trace after its first line.
void TraceSearch(const SearchReport& report, const TraceWords& words);
// The trace of a search of several names, each as a search of that one
// name would print it.
void TraceSearches(const std::vector<SearchReport>& reports, const TraceWords& words);
