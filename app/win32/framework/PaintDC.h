// Painting of a window for the time of one WM_PAINT.
#pragma once

#include "app/win32/framework/Wnd.h"

class CPaintDC {
public:
    explicit CPaintDC(CWnd* window) : m_window(window->m_hWnd) { m_hDC = ::BeginPaint(m_window, &m_ps); }
    ~CPaintDC() { ::EndPaint(m_window, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

    HDC m_hDC;
    PAINTSTRUCT m_ps;

private:
    HWND m_window;
};
