// Completion for the path field: files and folders as the file system has
// them, also after "~/" and "~user/", and the users' names after a "~".
#pragma once

#include <QCompleter>

class QFileSystemModel;
class QLineEdit;
class QStringListModel;

class PathCompleter : public QCompleter {
    Q_OBJECT

public:
    explicit PathCompleter(QLineEdit* field);

    QStringList splitPath(const QString& path) const override;
    QString pathFromIndex(const QModelIndex& index) const override;

private:
    void Typed(const QString& text);

    QFileSystemModel* m_files;
    QStringListModel* m_users;
    // The "~" or "~user" last typed, and the folder it stands for: a chosen
    // path is written back the way it was begun.
    mutable QString m_tilde, m_home;
};
