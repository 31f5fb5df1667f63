#include "app/win32/SearchAdapters.h"

#include "app/win32/framework/WinApp.h"

uint32_t ShellDrop::QueryFile(uint32_t index, char* buffer, uint32_t size) const {
    return ::DragQueryFileA(m_drop, index, buffer, buffer != nullptr ? size : 0);
}

void AppWaitCursor::Begin() { CWinApp::Current()->BeginWaitCursor(); }
void AppWaitCursor::End() { CWinApp::Current()->EndWaitCursor(); }
