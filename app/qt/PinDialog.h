// A dialog with a pin: keep-above on and off, with a window icon for each
// state. With a parent window, OK, Cancel, closing and losing the activation
// (while unpinned) post a PinDialogResultEvent to the parent instead of
// ending the dialog. The rules live in PinDialogCore; this is the Qt side.
#pragma once

#include <QDialog>
#include <QEvent>
#include <QIcon>

#include "app/core/PinDialogCore.h"

// What the Windows program posts as WM_PINDIALOG_RESULT: code 1 (OK) or 2
// (Cancel); it does not tell which dialog posted it.
class PinDialogResultEvent : public QEvent {
public:
    explicit PinDialogResultEvent(int code) : QEvent(Type()), m_code(code) {}
    static QEvent::Type Type();
    int Code() const { return m_code; }

private:
    int m_code;
};

class PinDialog : public QDialog, private PinDialogPort {
    Q_OBJECT

public:
    // The window menu's Close, which the default handling carries out.
    static constexpr uint32_t kCloseCommand = 0xF060;

    PinDialog(const QIcon& pinnedIcon, const QIcon& unpinnedIcon, QWidget* parent = nullptr);

    bool Pinned() const { return m_pin.Pinned(); }

    // OK and Cancel (Enter, Esc, an OK or Cancel button) go through the pin's
    // rules.
    void accept() override;
    void reject() override;

signals:
    void PinChanged(bool pinned);

protected:
    // From the derived dialog's initialisation: the icon of the first state.
    void InitPinDialog() { m_pin.OnInitDialog(); }
    // Window-menu commands the derived dialog does not take itself.
    void OnSysCommand(uint32_t commandId) {
        RunSysCommand(commandId, [this, commandId] { m_pin.OnSysCommand(commandId); });
    }
    // A derived dialog routes its window-menu commands through here, so that
    // the default handling knows the command and the pin's change is told.
    template <class Route>
    void RunSysCommand(uint32_t commandId, Route route) {
        m_command = commandId;
        const bool wasPinned = m_pin.Pinned();
        route();
        if (m_pin.Pinned() != wasPinned) emit PinChanged(m_pin.Pinned());
    }

    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    PinDialogCore m_pin;

private:
    bool HasParent() const override;
    void PostNoticeToParent(int code) override;
    bool SaveData() override;
    void PlainOk() override;
    void PlainCancel() override;
    void SetAlwaysOnTop(bool on) override;
    void SetCaptionIcon(CaptionIcon icon) override;
    void DefaultSysCommand() override;

    QIcon m_pinnedIcon;
    QIcon m_unpinnedIcon;
    uint32_t m_command = 0;  // the window-menu command in progress
};
