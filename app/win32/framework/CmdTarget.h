// Message tables: each class lists the messages it handles, and a message is
// looked up from the derived class's table through its bases'. What no table
// handles gets the default handling.
#pragma once

#include <cstddef>

#include "windows/platform/Win32.h"

class CCmdTarget;

typedef LRESULT (*MessageHandler)(CCmdTarget& target, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    UINT message;
    UINT commandId;  // WM_COMMAND only: the command this row takes
    MessageHandler handler;
};

struct MessageTable {
    const MessageTable* base;
    const MessageEntry* entries;
    size_t count;
};

// The row's handler for member function Fn of class T.
template <class T, LRESULT (T::*Fn)(WPARAM, LPARAM)>
LRESULT Handle(CCmdTarget& target, WPARAM wParam, LPARAM lParam) {
    return (static_cast<T&>(target).*Fn)(wParam, lParam);
}

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // The handler row for a message, searched from this class to its bases;
    // null when there is none.
    const MessageEntry* FindEntry(UINT message, WPARAM wParam) const;
    // Runs the row for a command, if this object's tables have one.
    bool OnCmdMsg(UINT commandId, LRESULT& result);

protected:
    virtual const MessageTable* GetMessageTable() const;

private:
    static const MessageTable kMessages;
};
