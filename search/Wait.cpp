#include "search/Wait.h"

WaitState FreeWatch::Look() {
    m_reports = RunSearch(m_requests);
    bool unexamined = false;
    for (const SearchReport& report : m_reports) {
        // A process given up unread may well use the file.
        if (!report.findings.empty() || !report.stalled.empty() || report.end != SearchEnd::Finished)
            return WaitState::InUse;
        unexamined = unexamined || report.refused != 0;
    }
    return unexamined ? WaitState::FreeAmongExamined : WaitState::Free;
}
