// The usage search's view of the Win32 window: the shell's drop object (or
// a name from the command line), the list box, the application's wait
// cursor.
#pragma once

#include <string>
#include <vector>

#include "app/win32/framework/ListBox.h"
#include "app/core/Drop.h"

// After <windows.h>, which it needs.
#include <shellapi.h>

class ShellDrop : public DroppedFiles {
public:
    explicit ShellDrop(HDROP drop) : m_drop(drop) {}
    uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override;

private:
    HDROP m_drop;
};

class ListBoxResults : public ResultList {
public:
    explicit ListBoxResults(CListBox& list) : m_list(list) {}
    void Clear() override { m_list.ResetContent(); }
    void Repaint() override { m_list.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }
    // The line is UTF-8; the list shows it as it is.
    void Append(const char* line, const Finding&) override;
    void AppendNote(const std::string& text) override;

private:
    CListBox& m_list;
};

// The files the window was started with, each marked a folder where it is
// one; a name that cannot be looked at is searched as a file.
std::vector<StartupName> StartupNames(const std::vector<std::string>& files);

class AppWaitCursor : public WaitCursor {
public:
    void Begin() override;
    void End() override;
};
