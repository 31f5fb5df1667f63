// Showing files in the desktop's file manager, each selected in its folder,
// through the freedesktop FileManager1 interface.
#pragma once

#include <QObject>
#include <functional>
#include <QStringList>

// Asks over the session bus; where no file manager answers, the first
// file's folder is opened as the desktop opens folders. `done` gets an
// empty text on success, else what went wrong.
void ShowInFileManager(const QStringList& paths, QObject* context, std::function<void(const QString&)> done);
