#include "app/win32/PinDialog.h"

#include <iterator>

#include "app/win32/framework/WinApp.h"

const MessageEntry CPinDialog::kEntries[] = {
    {WM_CLOSE, 0, &Handle<CPinDialog, &CPinDialog::HandleClose>},
    {WM_ACTIVATE, 0, &Handle<CPinDialog, &CPinDialog::HandleActivate>},
    {WM_SYSCOMMAND, 0, &Handle<CPinDialog, &CPinDialog::HandleSysCommand>},
};
const MessageTable CPinDialog::kMessages = {&CDialog::kMessages, kEntries, std::size(kEntries)};

const MessageTable* CPinDialog::GetMessageTable() const { return &kMessages; }

CPinDialog::CPinDialog(UINT templateId, UINT pinnedIconId, UINT unpinnedIconId, CWnd* parent)
    : CDialog(templateId, parent),
      m_pinnedIcon(CWinApp::Current()->LoadIcon(pinnedIconId)),
      m_unpinnedIcon(CWinApp::Current()->LoadIcon(unpinnedIconId)),
      m_pin(*this) {}

void CPinDialog::OnSysCommand(UINT commandId, LPARAM) { m_pin.OnSysCommand(commandId); }

BOOL CPinDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_pin.OnInitDialog();
    return TRUE;
}

void CPinDialog::OnOK() { m_pin.OnOk(); }
void CPinDialog::OnCancel() { m_pin.OnCancel(); }

LRESULT CPinDialog::HandleClose(WPARAM, LPARAM) {
    m_pin.OnClose();
    return 0;
}

LRESULT CPinDialog::HandleActivate(WPARAM wParam, LPARAM) {
    m_pin.OnActivate(wParam);
    return 0;
}

LRESULT CPinDialog::HandleSysCommand(WPARAM wParam, LPARAM lParam) {
    OnSysCommand(static_cast<UINT>(wParam), lParam);
    return 0;
}

// For a dialog, a popup, the parent is its owner.
bool CPinDialog::HasParent() const { return ::GetParent(m_hWnd) != nullptr; }

void CPinDialog::PostNoticeToParent(int code) {
    ::PostMessageA(::GetParent(m_hWnd), WM_PINDIALOG_RESULT, static_cast<WPARAM>(code), 0);
}

bool CPinDialog::SaveData() { return UpdateData(TRUE) != FALSE; }
void CPinDialog::PlainOk() { CDialog::OnOK(); }
void CPinDialog::PlainCancel() { CDialog::OnCancel(); }

void CPinDialog::SetAlwaysOnTop(bool on) {
    ::SetWindowPos(m_hWnd, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOOWNERZORDER);
}

void CPinDialog::SetCaptionIcon(CaptionIcon icon) {
    HICON handle = icon == CaptionIcon::Pinned ? m_pinnedIcon : m_unpinnedIcon;
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(handle));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(handle));
}

void CPinDialog::DefaultSysCommand() { Default(); }
