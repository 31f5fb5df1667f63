#include "WindowDriver.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>

bool DragAndDrop(QWidget& target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target.rect().center();
    // A drop reaches only a widget that took the drag when it entered.
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    const bool taken = enter.isAccepted();
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    return taken;
}

QList<QUrl> FileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
    return urls;
}

QStringList Lines(const QListWidget& list) {
    QStringList lines;
    for (int i = 0; i < list.count(); ++i) lines.append(list.item(i)->text());
    return lines;
}

QString LineOf(pid_t pid, const QString& name) {
    return QString::asprintf("0x%04X  %-20s", static_cast<unsigned>(pid), name.toLocal8Bit().constData());
}
