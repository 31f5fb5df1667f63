#include "app/core/PinDialogCore.h"

bool PinDialogCore::IsPinCommand(uint32_t commandId) {
    const uint32_t command = commandId & kCommandMask;
    return command == kMouseMenuCommand || command == kDefaultCommand;
}

void PinDialogCore::UpdateCaptionIcons() {
    m_port.SetCaptionIcon(m_pinned != 0 ? CaptionIcon::Pinned : CaptionIcon::Unpinned);
}

void PinDialogCore::OnSysCommand(uint32_t commandId) {
    if (!IsPinCommand(commandId)) {
        m_port.DefaultSysCommand();
        return;
    }
    // Consumed: the caption icon no longer opens the window menu.
    m_pinned = m_pinned == 0 ? 1 : 0;
    m_port.SetAlwaysOnTop(m_pinned != 0);
    UpdateCaptionIcons();
}

void PinDialogCore::OnOk() {
    if (m_port.HasParent()) {
        m_port.SaveData();  // the parent decides; a failed exchange still tells it
        m_port.PostNoticeToParent(kNoticeOk);
    } else {
        m_port.PlainOk();
    }
}

void PinDialogCore::OnCancel() {
    if (m_port.HasParent())
        m_port.PostNoticeToParent(kNoticeCancel);
    else
        m_port.PlainCancel();
}

void PinDialogCore::OnActivate(uintptr_t wParam) {
    const bool deactivated = (wParam & 0xFFFF) == 0;
    if (m_pinned == 0 && deactivated && m_port.HasParent()) {
        m_port.SaveData();
        m_port.PostNoticeToParent(m_cancelOnDeactivate != 0 ? kNoticeCancel : kNoticeOk);
    }
}
