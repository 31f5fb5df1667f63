#include "app/qt/FileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

QString& ActivationToken() {
    static QString token;
    return token;
}

// Where no file manager answers, the folder alone, as the desktop opens
// folders; what the user is told where that fails too.
QString OpenFolderOf(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) return QString();
    return QStringLiteral("No file manager answered, and the folder could not be opened: %1").arg(folder);
}

}  // namespace

void KeepActivationToken() {
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        if (!qEnvironmentVariableIsEmpty(name)) {
            ActivationToken() = qEnvironmentVariable(name);
            return;
        }
    }
}

void ShowInFileManager(const QStringList& paths, QObject* context, std::function<void(const QString&)> done) {
    if (paths.isEmpty()) return;
    QStringList uris;
    for (const QString& path : paths) uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << ActivationToken();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        done(OpenFolderOf(paths.front()));
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, paths, done] {
        watcher->deleteLater();
        // The bus's own words (a service name, an error's name) mean nothing
        // to the user.
        done(watcher->isError() ? OpenFolderOf(paths.front()) : QString());
    });
}
