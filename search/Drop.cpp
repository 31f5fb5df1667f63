#include <cstring>
#include <vector>

#include "platform/WinTypes.h"
#include "search/UsageSearch.h"
#include "sysinfo/Diagnostics.h"

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

SearchEnd HandleDrop(const DroppedFiles& drop, ResultList& list, WaitCursor& cursor, SearchScope scope) {
    // The cursor ends on every way out, exceptions included.
    struct CursorScope {
        WaitCursor& cursor;
        explicit CursorScope(WaitCursor& c) : cursor(c) { cursor.Begin(); }
        ~CursorScope() { cursor.End(); }
    } cursorScope(cursor);
    list.Clear();
    list.Repaint();
    Diag("DragDrop\n");
    uint32_t length = drop.QueryFile(0, nullptr, 0);
    if (length == 0) return SearchEnd::NoName;
    // No path the system can name is longer (a counted string of 16-bit
    // characters); a drop that says otherwise gets no buffer of that size.
    constexpr uint32_t kLongestPath = 32767;
    if (length > kLongestPath) {
        Diag("File name too long. Error = %d\n", static_cast<int>(os::ERROR_FILENAME_EXCED_RANGE));
        return SearchEnd::Stopped;
    }
    std::vector<char> name(static_cast<size_t>(length) + 1, '\0');
    drop.QueryFile(0, name.data(), length + 1);
    name[length] = '\0';  // whatever the drop copied
    return RunUsageSearch(name.data(), list, scope);
}
