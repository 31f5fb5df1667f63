// What the window tests do to the window as a user (or a file manager)
// would, and how they read it.
#pragma once

#include <sys/types.h>

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

class FencatWindow;
class QWidget;

// A drag that enters the widget and is dropped at its centre, as a file
// manager's would be, offering `actions` and proposing the first of them.
// The action the widget took, or Qt::IgnoreAction.
Qt::DropAction DragAndDrop(QWidget& target, const QList<QUrl>& urls,
                           Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
QList<QUrl> FileUrls(const QStringList& paths);

// Waits (a few seconds at most) for the window's next look to be shown.
bool NextSearchShown(FencatWindow& window, int milliseconds = 10000);
// The table's rows as the user sees them, in its order: the columns' texts
// joined by " | ".
QStringList Rows(const FencatWindow& window);
// The decimal PIDs of the rows in the table's order.
QList<pid_t> Pids(const FencatWindow& window);
// Selects the table's row of `pid` (the first, where it has several).
bool SelectPid(FencatWindow& window, pid_t pid);

// Answers each message box that opens while it lives with the button of the
// given text (or closes it with Escape when none has it), and keeps what
// each said.
class MessageBoxAnswers : public QObject {
public:
    explicit MessageBoxAnswers(QStringList answers);
    QStringList seen;  // each box's text and informative text

private:
    void Look();
    QStringList m_answers;
    QTimer m_timer;
};
