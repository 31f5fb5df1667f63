// Showing files in the desktop's file manager, each selected in its folder,
// through the freedesktop FileManager1 interface.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

// Keeps the activation token the program was started with (Wayland's
// XDG_ACTIVATION_TOKEN, X11's DESKTOP_STARTUP_ID), to hand on to the file
// manager so that it may come to the front. Called before Qt takes them.
void KeepActivationToken();

// Asks over the session bus; where no file manager answers, the first
// file's folder is opened as the desktop opens folders. `done` gets an
// empty text on success, else what went wrong, in plain words.
void ShowInFileManager(const QStringList& paths, QObject* context, std::function<void(const QString&)> done);
