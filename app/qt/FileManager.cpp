#include "app/qt/FileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

bool OpenFolderOf(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace

void ShowInFileManager(const QStringList& paths, QObject* context, std::function<void(const QString&)> done) {
    if (paths.isEmpty()) return;
    QStringList uris;
    for (const QString& path : paths) uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        done(OpenFolderOf(paths.front()) ? QString() : QStringLiteral("No file manager could be reached."));
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, paths, done] {
        watcher->deleteLater();
        if (!watcher->isError()) {
            done(QString());
            return;
        }
        const QString why = watcher->error().message();
        done(OpenFolderOf(paths.front()) ? QString() : QStringLiteral("No file manager could show it: %1").arg(why));
    });
}
