#include "app/qt/PinDialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

QEvent::Type PinDialogResultEvent::Type() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

PinDialog::PinDialog(const QIcon& pinnedIcon, const QIcon& unpinnedIcon, QWidget* parent)
    : QDialog(parent), m_pin(*this), m_pinnedIcon(pinnedIcon), m_unpinnedIcon(unpinnedIcon) {}

void PinDialog::accept() { m_pin.OnOk(); }
void PinDialog::reject() { m_pin.OnCancel(); }

void PinDialog::closeEvent(QCloseEvent* event) {
    m_pin.OnClose();
    // With a parent the dialog stays open; the parent decides.
    if (isVisible())
        event->ignore();
    else
        event->accept();
}

void PinDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) m_pin.OnActivate(isActiveWindow() ? 1 : 0);
    QDialog::changeEvent(event);
}

// A dialog without buttons would let Enter pass; here it is OK, as it is for
// a Windows dialog.
void PinDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// For a dialog the parent widget is its owner window.
bool PinDialog::HasParent() const { return parentWidget() != nullptr; }

void PinDialog::PostNoticeToParent(int code) {
    QCoreApplication::postEvent(parentWidget(), new PinDialogResultEvent(code));
}

// No data exchange: the controls are the data.
bool PinDialog::SaveData() { return true; }
void PinDialog::PlainOk() { QDialog::accept(); }
void PinDialog::PlainCancel() { QDialog::reject(); }

void PinDialog::SetAlwaysOnTop(bool on) {
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    // setWindowFlags() would re-create the native window (it disappears and
    // comes back elsewhere); the window system takes the hint on the live
    // window instead, and the widget keeps a record of it.
    overrideWindowFlags(flags);
    if (QWindow* window = windowHandle()) window->setFlags(flags);
}

void PinDialog::SetCaptionIcon(CaptionIcon icon) {
    setWindowIcon(icon == CaptionIcon::Pinned ? m_pinnedIcon : m_unpinnedIcon);
}

void PinDialog::DefaultSysCommand() {
    if ((m_command & PinDialogCore::kCommandMask) == kCloseCommand) close();
}
