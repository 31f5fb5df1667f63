#include "app/core/Drop.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "search/Diagnostics.h"
#include "search/Paths.h"
#include "search/Request.h"
#include "search/Notices.h"
#include "search/ResultLine.h"
#include "search/Trace.h"

namespace {

// The system's "file name too long" error, which the window's users know.
constexpr int kFileNameTooLong = 206;

}  // namespace

uint32_t NameListDrop::QueryFile(uint32_t index, char* buffer, uint32_t size) const {
    if (index >= m_names.size()) return 0;
    const std::string& name = m_names[index];
    if (buffer == nullptr) return static_cast<uint32_t>(name.size());
    if (size == 0) return 0;
    const size_t length = name.size() < size ? name.size() : size - 1;
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

SearchScope DropScope(const std::string& name, SearchScope scope) {
    return scope == SearchScope::File ? ScopeOf(name, Asked::Dropped, PathStyle::Windows) : scope;
}

namespace {

// What the searches of one start or drop could not see: of each kind the
// most that one of them missed, since all looked at the same processes.
struct Missed {
    bool looked = false;  // a search got as far as reading the processes
    uint32_t notExamined = 0;
    uint32_t unlisted = 0;
};

Missed MissedBy(const std::vector<SearchReport>& reports) {
    Missed missed;
    for (const SearchReport& report : reports) {
        if (report.reached < SearchStage::ProcessesRead) continue;
        missed.looked = true;
        missed.notExamined = std::max(missed.notExamined, report.refused + static_cast<uint32_t>(report.stalled.size()));
        missed.unlisted = std::max(missed.unlisted, report.loadedUnlisted);
    }
    return missed;
}

// The cursor ends on every way out, exceptions included.
class CursorScope {
public:
    explicit CursorScope(WaitCursor& cursor) : m_cursor(cursor) { m_cursor.Begin(); }
    ~CursorScope() { m_cursor.End(); }
    CursorScope(const CursorScope&) = delete;
    CursorScope& operator=(const CursorScope&) = delete;

private:
    WaitCursor& m_cursor;
};

std::string Processes(uint32_t count) { return std::to_string(count) + (count == 1 ? " process" : " processes"); }

// Fills the list with every report's lines, then the note of what was
// missed; the list learns of the processes left out first.
void Fill(const std::vector<SearchReport>& reports, ResultList& list) {
    for (const SearchReport& report : reports) {
        if (report.reached < SearchStage::ProcessesRead) continue;
        list.ProcessesNotExamined(report.refused);
        if (!report.stalled.empty()) list.ProcessesStalled(report.stalled);
        break;
    }
    for (const SearchReport& report : reports) {
        for (const Finding& finding : report.findings)
            list.Append(FormatResultLine(finding.pid, finding.processName, report.style).c_str(), finding);
    }
    const Missed missed = MissedBy(reports);
    const std::string note = MissedNote(missed.notExamined, missed.unlisted);
    if (!note.empty()) list.AppendNote(note);
}

// After the searches' trace: what they could not see.
void TraceMissed(const std::vector<SearchReport>& reports) {
    const Missed missed = MissedBy(reports);
    if (!missed.looked) return;
    if (missed.notExamined != 0) Diag("%s could not be examined.\n", Processes(missed.notExamined).c_str());
    Diag("%s", UnlistedNotice(missed.unlisted, "TolvarFencat.exe").c_str());
}

}  // namespace

std::string MissedNote(uint32_t notExamined, uint32_t unlisted) {
    std::string note;
    if (notExamined != 0) note = Processes(notExamined) + " could not be examined";
    if (unlisted != 0) {
        if (!note.empty()) note += "; ";
        note += Processes(unlisted) + (unlisted == 1 ? "'s" : "'") + " modules need the 64-bit program";
    }
    return note.empty() ? note : "(" + note + ")";
}

DropEnd HandleDrop(const DroppedFiles& drop, ResultList& list, WaitCursor& cursor, SearchScope scope) {
    CursorScope cursorScope(cursor);
    list.Clear();
    list.Repaint();
    const TraceWords& words = WindowsTraceWords();
    Diag("%s\n", words.begin);
    uint32_t length = drop.QueryFile(0, nullptr, 0);
    if (length == 0) return DropEnd::NoName;
    // No path the system can name is longer (a counted string of 16-bit
    // characters); a drop that says otherwise gets no buffer of that size.
    constexpr uint32_t kLongestPath = 32767;
    if (length > kLongestPath) {
        Diag("File name too long. Error = %d\n", kFileNameTooLong);
        return DropEnd::Stopped;
    }
    std::vector<char> name(static_cast<size_t>(length) + 1, '\0');
    drop.QueryFile(0, name.data(), length + 1);
    name[length] = '\0';  // whatever the drop copied

    std::vector<SearchRequest> requests{SearchRequest(name.data(), DropScope(name.data(), scope))};
    const std::vector<SearchReport> reports = RunSearch(requests);
    Fill(reports, list);
    TraceSearch(reports.front(), words);
    TraceMissed(reports);
    return reports.front().Finished() ? DropEnd::Finished : DropEnd::Stopped;
}

void HandleStartup(const std::vector<StartupName>& names, ResultList& list, WaitCursor& cursor) {
    CursorScope cursorScope(cursor);
    list.Clear();
    list.Repaint();
    std::vector<SearchRequest> requests;
    for (const StartupName& name : names) {
        if (!name.name.empty())
            requests.emplace_back(name.name, DropScope(name.name, name.folder ? SearchScope::Tree : SearchScope::File));
    }
    const TraceWords& words = WindowsTraceWords();
    if (requests.empty()) {
        Diag("%s\n", words.begin);
        return;
    }
    // One look at the processes answers every name.
    const std::vector<SearchReport> reports = RunSearch(requests);
    Fill(reports, list);
    TraceSearches(reports, words);
    TraceMissed(reports);
}
