#include "app/win32/SearchAdapters.h"

#include <cstring>

#include "app/win32/framework/WinApp.h"

uint32_t ShellDrop::QueryFile(uint32_t index, char* buffer, uint32_t size) const {
    return ::DragQueryFileA(m_drop, index, buffer, buffer != nullptr ? size : 0);
}

uint32_t NamedFile::QueryFile(uint32_t index, char* buffer, uint32_t size) const {
    if (index != 0) return 0;
    if (buffer == nullptr) return static_cast<uint32_t>(m_name.size());
    if (size == 0) return 0;
    const size_t length = m_name.size() < size ? m_name.size() : size - 1;
    std::memcpy(buffer, m_name.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

void AppWaitCursor::Begin() { CWinApp::Current()->BeginWaitCursor(); }
void AppWaitCursor::End() { CWinApp::Current()->EndWaitCursor(); }
