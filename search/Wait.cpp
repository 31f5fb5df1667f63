#include "search/Wait.h"

#include <algorithm>

namespace {

// A process given up unread may well use the file; a search that stopped
// cannot tell.
bool InUse(const std::vector<SearchReport>& reports) {
    return std::any_of(reports.begin(), reports.end(), [](const SearchReport& r) {
        return !r.findings.empty() || !r.stalled.empty() || !r.Finished();
    });
}

std::vector<uint32_t> Users(const std::vector<SearchReport>& reports) {
    std::vector<uint32_t> users;
    for (const SearchReport& report : reports) {
        for (const Finding& finding : report.findings) users.push_back(finding.pid);
        users.insert(users.end(), report.stalled.begin(), report.stalled.end());
    }
    std::sort(users.begin(), users.end());
    users.erase(std::unique(users.begin(), users.end()), users.end());
    return users;
}

}  // namespace

void DropFindingsOf(std::vector<SearchReport>& reports, uint32_t pid) {
    for (SearchReport& report : reports) {
        auto& findings = report.findings;
        findings.erase(
            std::remove_if(findings.begin(), findings.end(), [pid](const Finding& f) { return f.pid == pid; }),
            findings.end());
    }
}

void FreeWatch::Take(std::vector<SearchReport> reports) {
    m_reports = std::move(reports);
    if (m_self != 0) DropFindingsOf(m_reports, m_self);
    m_users = Users(m_reports);
}

WaitState FreeWatch::Look() {
    // While the users hold on, they are all there is to look at: a look at
    // every process is needed only once they have let go.
    if (!m_users.empty()) {
        Take(RunSearch(m_requests, m_users));
        if (InUse(m_reports)) return WaitState::InUse;
    }
    Take(RunSearch(m_requests));
    if (InUse(m_reports)) return WaitState::InUse;
    // A process whose modules could not be listed (a 64-bit one, to a 32-bit
    // program) may have any of the files loaded.
    const bool unexamined = std::any_of(m_reports.begin(), m_reports.end(), [](const SearchReport& r) {
        return r.refused != 0 || r.loadedUnlisted != 0 || !r.hidden.empty();
    });
    return unexamined ? WaitState::FreeAmongExamined : WaitState::Free;
}
