#include "app/win32/framework/Dialog.h"

#include <iterator>

#include "app/win32/framework/WinApp.h"

const MessageEntry CDialog::kEntries[] = {
    {WM_INITDIALOG, 0, &Handle<CDialog, &CDialog::HandleInitDialog>},
    {WM_COMMAND, IDOK, &Handle<CDialog, &CDialog::HandleOk>},
    {WM_COMMAND, IDCANCEL, &Handle<CDialog, &CDialog::HandleCancel>},
};
const MessageTable CDialog::kMessages = {nullptr, kEntries, std::size(kEntries)};

const MessageTable* CDialog::GetMessageTable() const { return &kMessages; }

INT_PTR CDialog::DoModal() {
    HWND owner = m_parent != nullptr ? m_parent->m_hWnd : nullptr;
    CWinApp* app = CWinApp::Current();
    if (owner == nullptr && app != nullptr && app->m_pMainWnd != nullptr && app->m_pMainWnd != this)
        owner = app->m_pMainWnd->m_hWnd;
    // The system disables the owner while the dialog runs.
    return ::DialogBoxParamA(app != nullptr ? app->m_hInstance : ::GetModuleHandleA(nullptr),
                             MAKEINTRESOURCEA(m_templateId), owner, &CDialog::StartProc,
                             reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::CenterWindow() {
    RECT area;
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    RECT over = area;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &over);
    RECT self;
    ::GetWindowRect(m_hWnd, &self);
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int x = (over.left + over.right - width) / 2;
    int y = (over.top + over.bottom - height) / 2;
    // Never off the work area where it fits on it.
    if (x + width > area.right) x = area.right - width;
    if (x < area.left) x = area.left;
    if (y + height > area.bottom) y = area.bottom - height;
    if (y < area.top) y = area.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
    RECT before;
    ::GetWindowRect(m_hWnd, &before);
    const BOOL result = OnInitDialog();
    // A template that asks for no placement of its own, and a dialog that
    // its initialisation did not move, is centred.
    RECT after;
    ::GetWindowRect(m_hWnd, &after);
    const LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    if (!(style & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) && before.left == after.left && before.top == after.top)
        CenterWindow();
    return result;
}

LRESULT CDialog::HandleOk(WPARAM, LPARAM) {
    OnOK();
    return 0;
}

LRESULT CDialog::HandleCancel(WPARAM, LPARAM) {
    OnCancel();
    return 0;
}

// The dialog procedure that the system calls. It makes the window the
// object's own on the first message that carries the object; after that
// the framework's procedure runs first and this one only answers "not
// handled", so that the system's dialog handling is the default handling.
INT_PTR CALLBACK CDialog::StartProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    if (FromHandlePermanent(hWnd) != nullptr) return FALSE;
    dialog->SubclassWindow(hWnd);
    return ::SendMessageA(hWnd, WM_INITDIALOG, wParam, lParam);
}
