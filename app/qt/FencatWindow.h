// The main window: a short usage text and the result list. A file dropped on
// it from a file manager (or named on the command line) is searched, and the
// list shows every process that uses it.
#pragma once

#include <QAction>
#include <QMenu>
#include <QPoint>
#include <string>

#include "app/core/MainWindowCore.h"
#include "app/qt/PinDialog.h"

class QListWidget;
class UrlDrop;

class FencatWindow : public PinDialog, private MainWindowPort {
    Q_OBJECT

public:
    explicit FencatWindow(QWidget* parent = nullptr);

    QListWidget& ResultList() { return *m_resultList; }
    // The window menu: what Windows puts under the caption icon, here behind
    // a right click, the context-menu key or Shift+F10.
    QMenu& WindowMenu() { return m_windowMenu; }
    QAction& PinAction() { return *m_pinAction; }
    QAction* AboutAction() { return m_aboutAction; }

    // A file to search as soon as the window is on screen (a path or a bare
    // name, as fencat takes it); empty for none.
    void SetStartupFile(const QString& file) { m_startupFile = file; }

    // The drop handling: the search for the drop's first name.
    DropEnd Search(const UrlDrop& drop);

signals:
    void SearchDone();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void BuildControls();
    void BuildWindowMenu();
    void SearchStartupFile();
    // Every window-menu command: About here, the rest to the pin.
    void SysCommand(uint32_t commandId) {
        RunSysCommand(commandId, [this, commandId] { m_core.OnSysCommand(commandId); });
    }

    void InitPinDialog() override;
    bool HasWindowMenu() const override;
    std::string AboutItemText() const override;
    void AppendMenuSeparator() override;
    void AppendMenuItem(uint32_t commandId, const std::string& text) override;
    void SetMainIcon() override;
    void EnableDebugPrivilege() override;
    void AcceptDrops() override;
    void ShowAbout() override;

    MainWindowCore m_core;
    QIcon m_mainIcon;
    QListWidget* m_resultList = nullptr;
    QMenu m_windowMenu;
    QAction* m_pinAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QString m_startupFile;
    bool m_startupSearched = false;
    // A move by the client area where the window system cannot do it.
    bool m_dragging = false;
    QPoint m_dragOffset;
};
