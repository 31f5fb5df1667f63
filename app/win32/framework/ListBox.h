// A list box control, reached through its handle.
#pragma once

#include <string>

#include "app/win32/framework/Wnd.h"

class CListBox : public CWnd {
public:
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    // Index of the new line, or LB_ERR / LB_ERRSPACE.
    int AddString(const char* text) { return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    // False when there is no line `index`.
    bool GetText(int index, std::string& text) const;
};
