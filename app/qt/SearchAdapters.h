// The usage search's view of the Qt window: the local files of a drop (or a
// name from the command line), the list widget, the application's wait
// cursor.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <string>
#include <vector>

#include "app/core/Drop.h"

class QListWidget;

// The names the search gets, in the order of the drop: the local files only,
// each in its absolute, symlink-resolved form, as the kernel names files.
class UrlDrop : public NameListDrop {
public:
    explicit UrlDrop(const QList<QUrl>& urls);
    // One name from the command line: a path is resolved like a dropped
    // file, a bare name is kept for name matching.
    static UrlDrop FromArgument(const QString& argument);

    static std::string ResolvedName(const QString& localPath);

private:
    UrlDrop() = default;
};

class ListWidgetResults : public ResultList {
public:
    explicit ListWidgetResults(QListWidget& list) : m_list(list) {}
    void Clear() override;
    void Repaint() override;
    void Append(const char* line, const Finding& finding) override;
    // Said on the window's output, where its diagnostics go.
    void ProcessesNotExamined(uint32_t count) override;
    void ProcessesStalled(const std::vector<uint32_t>& pids) override;

private:
    QListWidget& m_list;
};

class OverrideWaitCursor : public WaitCursor {
public:
    void Begin() override;
    void End() override;
};
