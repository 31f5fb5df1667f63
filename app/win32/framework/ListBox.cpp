#include "app/win32/framework/ListBox.h"

bool CListBox::GetText(int index, std::string& text) const {
    const LRESULT length = SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length == LB_ERR) return false;
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&buffer[0]));
    if (copied == LB_ERR) return false;
    buffer.resize(static_cast<size_t>(copied));
    text = buffer;
    return true;
}
