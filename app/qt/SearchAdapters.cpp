#include "app/qt/SearchAdapters.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <cstring>

UrlDrop::UrlDrop(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) m_names.push_back(ResolvedName(url.toLocalFile()));
    }
}

UrlDrop UrlDrop::FromArgument(const QString& argument) {
    UrlDrop drop;
    if (argument.isEmpty()) return drop;
    if (argument.contains(QLatin1Char('/')))
        drop.m_names.push_back(ResolvedName(argument));
    else
        drop.m_names.push_back(QFile::encodeName(argument).toStdString());
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

uint32_t UrlDrop::QueryFile(uint32_t index, char* buffer, uint32_t size) const {
    if (index >= m_names.size()) return 0;
    const std::string& name = m_names[index];
    if (buffer == nullptr) return static_cast<uint32_t>(name.size());
    if (size == 0) return 0;
    const size_t length = name.size() < size ? name.size() : size - 1;
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
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
