#include "search/Trace.h"

#include <cstdio>

#include "search/Diagnostics.h"

std::string PassHeader(size_t ruleLength) {
    char header[64];
    std::snprintf(header, sizeof header, "%-6s  %-20s  %s\n", "PID", "Name", "Path");
    return header + std::string(ruleLength, '-') + "\n";
}

void TraceSearch(const SearchReport& report, const TraceWords& words) {
    if (report.reached >= SearchStage::LoadedFilesRead) Diag("%s", PassHeader(kLoadedPassRule).c_str());
    if (report.reached == SearchStage::OpenFilesRead) Diag("%s", PassHeader(kOpenPassRule).c_str());
    if (!report.Finished()) Diag("%s", words.stopped(report.stop).c_str());
}

void TraceSearches(const std::vector<SearchReport>& reports, const TraceWords& words) {
    for (const SearchReport& report : reports) {
        Diag("%s\n", words.begin);
        TraceSearch(report, words);
    }
}
