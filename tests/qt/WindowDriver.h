// What the window tests do to the window as a user (or a file manager)
// would, and how they read it.
#pragma once

#include <sys/types.h>

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class QListWidget;
class QWidget;

// A drag that enters the widget and is dropped at its centre, as a file
// manager's would be. True when the widget took the drag.
bool DragAndDrop(QWidget& target, const QList<QUrl>& urls);

QList<QUrl> FileUrls(const QStringList& paths);
QStringList Lines(const QListWidget& list);
// The result line of a process as fencat writes it.
QString LineOf(pid_t pid, const QString& name);
