#include "app/qt/SearchAdapters.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>

#include "search/Diagnostics.h"
#include "search/Paths.h"
#include "search/ResultLine.h"

UrlDrop::UrlDrop(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) Add(ResolvedName(url.toLocalFile()));
    }
}

UrlDrop UrlDrop::FromArgument(const QString& argument) {
    UrlDrop drop;
    if (argument.isEmpty()) return drop;
    const QByteArray bytes = QFile::encodeName(argument);
    if (NamesAPath(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()))))
        drop.Add(ResolvedName(argument));
    else
        drop.Add(QFile::encodeName(argument).toStdString());
    return drop;
}

std::string UrlDrop::ResolvedName(const QString& localPath) {
    const QFileInfo info(localPath);
    QString name = info.canonicalFilePath();
    // Gone since it was dragged: the absolute path still names it, and the
    // search finds nobody.
    if (name.isEmpty()) name = info.absoluteFilePath();
    return QFile::encodeName(name).toStdString();
}

void ListWidgetResults::Clear() { m_list.clear(); }

// The emptied list is on screen before the search holds the thread: its
// scroll bar laid out anew, the frame and the lines' viewport painted now.
void ListWidgetResults::Repaint() {
    m_list.doItemsLayout();
    m_list.repaint();
    m_list.viewport()->repaint();
}

void ListWidgetResults::Append(const char* line, const Finding&) { m_list.addItem(QString::fromLocal8Bit(line)); }

void OverrideWaitCursor::Begin() { QApplication::setOverrideCursor(Qt::WaitCursor); }
void OverrideWaitCursor::End() { QApplication::restoreOverrideCursor(); }

void ListWidgetResults::ProcessesNotExamined(uint32_t count) { Diag("%s", NotExaminedNotice(count).c_str()); }

void ListWidgetResults::ProcessesStalled(const std::vector<uint32_t>& pids) {
    Diag("%s", NotExaminedNotice(0, pids).c_str());
}
