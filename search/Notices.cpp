#include "search/Notices.h"

std::string NotExaminedNotice(const SearchReport& report) {
    auto processes = [](size_t count) { return std::to_string(count) + (count == 1 ? " process" : " processes"); };
    std::string notice;
    if (report.refused != 0 && !report.privileged) {
        notice = "fencat: " + processes(report.refused) + " " + kNotExaminedPhrase +
                 " (access denied); run fencat as root or administrator to include other users' processes.\n";
    } else if (report.refused != 0) {
        notice = "fencat: " + processes(report.refused) + " " + kNotExaminedPhrase + " (access denied, even to root):";
        for (const uint32_t pid : report.someRefused) notice += " " + std::to_string(pid);
        if (report.refused > report.someRefused.size())
            notice += " and " + std::to_string(report.refused - report.someRefused.size()) + " more";
        notice += ".\n";
    }
    if (!report.hidden.empty()) notice += "fencat: " + report.hidden + "\n";
    if (!report.stalled.empty()) {
        notice += "fencat: " + processes(report.stalled.size()) + " " + kNotExaminedPhrase +
                  " (reading made no progress):";
        for (const uint32_t pid : report.stalled) notice += " " + std::to_string(pid);
        notice += "\n";
    }
    return notice;
}

std::string UnlistedNotice(uint32_t count, const char* program) {
    if (count == 0) return std::string();
    return "The modules of " + std::to_string(count) + (count == 1 ? " process" : " processes") +
           " could not be listed by this 32-bit program; the 64-bit " + program + " lists them.\n";
}

std::string NotExaminedNotice(uint32_t count, const std::vector<uint32_t>& stalled) {
    SearchReport report;
    report.refused = count;
    report.stalled = stalled;
    return NotExaminedNotice(report);
}
