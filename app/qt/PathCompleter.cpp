#include "app/qt/PathCompleter.h"

#include <pwd.h>

#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QStringListModel>

#include "app/qt/Targets.h"

namespace {

// "~name/" for each user with a home folder, each once, in order.
QStringList UserHomes() {
    QStringList homes;
    setpwent();
    while (const passwd* entry = getpwent()) {
        if (entry->pw_dir != nullptr && QFileInfo(QFile::decodeName(entry->pw_dir)).isDir())
            homes << u'~' + QFile::decodeName(entry->pw_name) + u'/';
    }
    endpwent();
    homes.removeDuplicates();
    homes.sort();
    return homes;
}

bool NamesAUser(const QString& text) { return text.startsWith(u'~') && !text.contains(u'/'); }

}  // namespace

PathCompleter::PathCompleter(QLineEdit* field)
    // The models belong to the field: a completer deletes a model of its
    // own that it is given another for.
    : QCompleter(field), m_files(new QFileSystemModel(field)), m_users(new QStringListModel(field)) {
    m_files->setRootPath(QString());
    setModel(m_files);
    // Typed after the field has asked for completion: a change of model
    // asks again.
    connect(field, &QLineEdit::textEdited, this, &PathCompleter::Typed);
}

void PathCompleter::Typed(const QString& text) {
    QAbstractItemModel* wanted = m_files;
    if (NamesAUser(text)) {
        if (m_users->rowCount() == 0) m_users->setStringList(UserHomes());
        wanted = m_users;
    }
    if (model() == wanted) return;
    setModel(wanted);
    setCompletionPrefix(text);
    if (!text.isEmpty()) complete();
}

QStringList PathCompleter::splitPath(const QString& path) const {
    if (NamesAUser(path)) return {path};
    m_tilde.clear();
    m_home.clear();
    const QString expanded = ExpandTilde(path);
    if (expanded != path) {
        m_tilde = path.left(path.indexOf(u'/'));
        m_home = ExpandTilde(m_tilde);
    }
    // The folder is read in the background; the names come once it has been.
    const qsizetype slash = expanded.lastIndexOf(u'/');
    if (slash >= 0) m_files->index(slash == 0 ? QStringLiteral("/") : expanded.left(slash));
    return QCompleter::splitPath(expanded);
}

QString PathCompleter::pathFromIndex(const QModelIndex& index) const {
    if (model() != m_files) return index.data().toString();
    const QString path = QCompleter::pathFromIndex(index);
    if (m_tilde.isEmpty() || !path.startsWith(m_home)) return path;
    return m_tilde + path.mid(m_home.size());
}
