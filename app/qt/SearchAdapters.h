// The usage search's view of the Qt window: the local files of a drop (or a
// name from the command line), the list widget, the application's wait
// cursor.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <string>
#include <vector>

#include "search/ResultList.h"

class QListWidget;

// The names the search gets, in the order of the drop: the local files only,
// each in its absolute, symlink-resolved form, as the kernel names files.
class UrlDrop : public DroppedFiles {
public:
    explicit UrlDrop(const QList<QUrl>& urls);
    // One name from the command line: a path is resolved like a dropped
    // file, a bare name is kept for name matching.
    static UrlDrop FromArgument(const QString& argument);

    bool Empty() const { return m_names.empty(); }
    const std::vector<std::string>& Names() const { return m_names; }
    uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override;

    static std::string ResolvedName(const QString& localPath);

private:
    UrlDrop() = default;
    std::vector<std::string> m_names;
};

class ListWidgetResults : public ResultList {
public:
    explicit ListWidgetResults(QListWidget& list) : m_list(list) {}
    void Clear() override;
    void Repaint() override;
    void Append(const char* line, const Finding& finding) override;

private:
    QListWidget& m_list;
};

class OverrideWaitCursor : public WaitCursor {
public:
    void Begin() override;
    void End() override;
};
