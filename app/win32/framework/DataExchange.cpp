#include "app/win32/framework/DataExchange.h"

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd != nullptr && ::IsWindow(control.m_hWnd) &&
        ::GetParent(control.m_hWnd) == dx->m_pDlgWnd->m_hWnd)
        return;
    HWND item = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
    if (item == nullptr) {
        dx->Fail();
        return;
    }
    control.Attach(item);
}
