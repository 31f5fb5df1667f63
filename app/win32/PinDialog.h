// A dialog with a pin: a press on its caption icon toggles always-on-top and
// the caption icon. With a parent window, OK, Cancel, closing and losing the
// activation (while unpinned) post WM_PINDIALOG_RESULT to the parent instead
// of ending the dialog.
#pragma once

#include "app/core/PinDialogCore.h"
#include "app/win32/framework/Dialog.h"

// wParam IDOK or IDCANCEL, lParam 0; posted, never sent.
constexpr UINT WM_PINDIALOG_RESULT = WM_USER + 10;

class CPinDialog : public CDialog, private PinDialogPort {
public:
    CPinDialog(UINT templateId, UINT pinnedIconId, UINT unpinnedIconId, CWnd* parent = nullptr);

    HICON m_pinnedIcon;
    HICON m_unpinnedIcon;

    void UpdateCaptionIcons() { m_pin.UpdateCaptionIcons(); }
    // A derived dialog that takes WM_SYSCOMMAND itself passes every command
    // it does not handle to this one.
    void OnSysCommand(UINT commandId, LPARAM lParam);

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

protected:
    const MessageTable* GetMessageTable() const override;
    static const MessageTable kMessages;

    PinDialogCore m_pin;  // the pin state and the notice rules

private:
    LRESULT HandleClose(WPARAM wParam, LPARAM lParam);
    LRESULT HandleActivate(WPARAM wParam, LPARAM lParam);
    LRESULT HandleSysCommand(WPARAM wParam, LPARAM lParam);

    bool HasParent() const override;
    void PostNoticeToParent(int code) override;
    bool SaveData() override;
    void PlainOk() override;
    void PlainCancel() override;
    void SetAlwaysOnTop(bool on) override;
    void SetCaptionIcon(CaptionIcon icon) override;
    void DefaultSysCommand() override;

    static const MessageEntry kEntries[];
};
