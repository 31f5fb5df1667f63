// A window object: a C++ object bound to a window handle. Windows that the
// framework made its own (dialogs) get their messages through WindowProc,
// which looks them up in the message tables; others (controls) are only
// reached through their handle.
#pragma once

#include "app/win32/framework/CmdTarget.h"

class CDataExchange;

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach();
    // The object whose window procedure runs for this window, if any.
    static CWnd* FromHandlePermanent(HWND hWnd);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL RedrawWindow(const RECT* update, HRGN region, UINT flags) const;
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

    // Data exchange between the controls and the fields: false when it failed.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* dx);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default handling of the message being handled now.
    LRESULT Default();

protected:
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Routes the message through the message tables; false when no row (and,
    // for a command, no row of the application's) takes it.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // From now on the framework's procedure runs first for this window, and
    // the window's own procedure gives the default handling.
    void SubclassWindow(HWND hWnd);

private:
    static LRESULT CALLBACK StandardProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    Message m_current = {};
    WNDPROC m_superProc = nullptr;
};
