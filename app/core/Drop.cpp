#include "app/core/Drop.h"

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

DropEnd HandleDrop(const DroppedFiles& drop, ResultList& list, WaitCursor& cursor, SearchScope scope) {
    // The cursor ends on every way out, exceptions included.
    struct CursorScope {
        WaitCursor& cursor;
        explicit CursorScope(WaitCursor& c) : cursor(c) { cursor.Begin(); }
        ~CursorScope() { cursor.End(); }
    } cursorScope(cursor);
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
    const SearchReport report = std::move(RunSearch(requests).front());
    // The list learns what was left out before the search's trace goes on.
    if (report.reached >= SearchStage::ProcessesRead) {
        list.ProcessesNotExamined(report.refused);
        if (!report.stalled.empty()) list.ProcessesStalled(report.stalled);
    }
    for (const Finding& finding : report.findings)
        list.Append(FormatResultLine(finding.pid, finding.processName, report.style).c_str(), finding);
    if (report.reached >= SearchStage::ProcessesRead)
        Diag("%s", UnlistedNotice(report.loadedUnlisted, "TolvarFencat.exe").c_str());
    TraceSearch(report, words);
    return report.Finished() ? DropEnd::Finished : DropEnd::Stopped;
}
