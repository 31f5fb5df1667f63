#include "app/qt/FencatWindow.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include "app/qt/AboutBox.h"
#include "app/qt/DialogUnits.h"
#include "app/qt/Icons.h"
#include "app/qt/SearchAdapters.h"
#include "app/qt/Texts.h"
#include "search/Search.h"

namespace {

bool HasLocalFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return false;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) return true;
    }
    return false;
}

}  // namespace

FencatWindow::FencatWindow(QWidget* parent)
    : PinDialog(icons::Pinned(), icons::Unpinned(), parent), m_core(*this, m_pin), m_mainIcon(icons::Unpinned()) {
    setWindowTitle(QString::fromUtf8(texts::kMainTitle));
    BuildControls();
    BuildWindowMenu();
    m_core.OnInitDialog();
}

// Template 102, in its order (tab order; the list is the only stop).
void FencatWindow::BuildControls() {
    const DialogUnits units = DialogUnits::ForFont(font());
    const QSize client = units.Size(180, 161);
    setFixedSize(client);

    m_resultList = new QListWidget(this);
    m_resultList->setObjectName(QStringLiteral("resultList"));
    m_resultList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_resultList->setSortingEnabled(false);
    m_resultList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_resultList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_resultList->setFrameShadow(QFrame::Sunken);
    // 54 + 108 reaches one unit past the window's 161; it stops at the edge.
    QRect list = units.Rect(0, 54, 180, 108);
    list.setBottom(qMin(list.bottom(), client.height() - 1));
    m_resultList->setGeometry(list);

    auto* web = new QLabel(QString::fromUtf8(texts::kWebLine), this);
    web->setObjectName(QStringLiteral("webLine"));
    web->setGeometry(units.Rect(13, 41, 154, 8));

    auto* group = new QGroupBox(QString::fromUtf8(texts::kUsageGroup), this);
    group->setObjectName(QStringLiteral("usageGroup"));
    group->setGeometry(units.Rect(6, 2, 168, 34));

    // Raised above the group box, whose frame it sits in.
    auto* usage = new QLabel(QString::fromUtf8(texts::kUsageText), this);
    usage->setObjectName(QStringLiteral("usageText"));
    usage->setWordWrap(true);
    usage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    usage->setGeometry(units.Rect(12, 14, 156, 16));

    // Presses on the texts and the group box reach the window, which moves.
    for (QWidget* passive : {static_cast<QWidget*>(web), static_cast<QWidget*>(group), static_cast<QWidget*>(usage)})
        passive->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_resultList->setFocus();
}

// The items that the window system supplies on Windows: the caption icon's
// pin and Close. The About item follows from the initialisation.
void FencatWindow::BuildWindowMenu() {
    m_pinAction = m_windowMenu.addAction(QString::fromUtf8(texts::kPinItem));
    m_pinAction->setCheckable(true);
    m_pinAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    // What a press on the caption icon sends.
    connect(m_pinAction, &QAction::triggered, this,
            [this] { SysCommand(PinDialogCore::kMouseMenuCommand); });
    connect(this, &PinDialog::PinChanged, m_pinAction, &QAction::setChecked);

    QAction* close = m_windowMenu.addAction(QString::fromUtf8(texts::kCloseItem));
    close->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    close->setShortcutContext(Qt::WidgetShortcut);  // shown only: the window manager owns Alt+F4
    connect(close, &QAction::triggered, this, [this] { SysCommand(kCloseCommand); });

    // The menu's shortcuts work with the menu closed.
    addAction(m_pinAction);
    auto* menuKey = new QAction(this);
    menuKey->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    connect(menuKey, &QAction::triggered, this,
            [this] { m_windowMenu.popup(m_resultList->mapToGlobal(QPoint(0, 0))); });
    addAction(menuKey);
}

DropEnd FencatWindow::Search(const UrlDrop& drop) {
    ListWidgetResults results(*m_resultList);
    OverrideWaitCursor cursor;
    const DropEnd end = HandleDrop(drop, results, cursor);
    emit SearchDone();
    return end;
}

void FencatWindow::showEvent(QShowEvent* event) {
    PinDialog::showEvent(event);
    if (!m_startupFile.isEmpty() && !m_startupSearched && windowHandle() != nullptr)
        windowHandle()->installEventFilter(this);
}

// The startup search waits until the window is on screen, so that the user
// sees it (and the wait cursor) while the search holds the thread.
bool FencatWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed() &&
        !m_startupSearched) {
        m_startupSearched = true;
        windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, this, &FencatWindow::SearchStartupFile);
    }
    return PinDialog::eventFilter(watched, event);
}

void FencatWindow::SearchStartupFile() { Search(UrlDrop::FromArgument(m_startupFile)); }

// Only a drag that carries a local file is taken; anything else leaves the
// window as it is.
void FencatWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (HasLocalFile(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FencatWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (HasLocalFile(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FencatWindow::dropEvent(QDropEvent* event) {
    const UrlDrop drop(event->mimeData() != nullptr ? event->mimeData()->urls() : QList<QUrl>());
    if (drop.Empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Qt does nothing more with a drop, so the search's end needs no routing
    // onward.
    Search(drop);
}

void FencatWindow::contextMenuEvent(QContextMenuEvent* event) { m_windowMenu.exec(event->globalPos()); }

// A press anywhere in the client area that no control takes moves the
// window, as a press on the caption would.
void FencatWindow::mousePressEvent(QMouseEvent* event) {
    PinDialog::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
    // No window manager to move it: follow the mouse ourselves.
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void FencatWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - m_dragOffset);
    else
        PinDialog::mouseMoveEvent(event);
}

void FencatWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_dragging = false;
    PinDialog::mouseReleaseEvent(event);
}

void FencatWindow::InitPinDialog() { PinDialog::InitPinDialog(); }

bool FencatWindow::HasWindowMenu() const { return true; }

std::string FencatWindow::AboutItemText() const { return texts::kAboutItem; }

void FencatWindow::AppendMenuSeparator() { m_windowMenu.addSeparator(); }

void FencatWindow::AppendMenuItem(uint32_t commandId, const std::string& text) {
    QAction* item = m_windowMenu.addAction(QString::fromUtf8(text.c_str()));
    connect(item, &QAction::triggered, this, [this, commandId] { SysCommand(commandId); });
    if (MainWindowCore::IsAboutCommand(commandId)) {
        item->setShortcut(QKeySequence(Qt::Key_F1));
        addAction(item);
        m_aboutAction = item;
    }
}

void FencatWindow::SetMainIcon() { setWindowIcon(m_mainIcon); }

void FencatWindow::EnableDebugPrivilege() { EnableSearchPrivileges(); }

void FencatWindow::AcceptDrops() { setAcceptDrops(true); }

void FencatWindow::ShowAbout() {
    AboutBox about(this);
    about.exec();
}
