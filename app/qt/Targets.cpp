#include "app/qt/Targets.h"

#include <pwd.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "search/Request.h"

namespace {

// A refusal of the core's, as the window's sentences go on after the name.
QString Refused(const std::string& why) {
    return QStringLiteral("cannot be searched: %1").arg(QFile::decodeName(why.c_str()));
}

QString Problem(int error) {
    if (error == ENOENT || error == ENOTDIR) return QStringLiteral("does not exist");
    return QStringLiteral("cannot be searched: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
}

// A URL's path as the bytes it encodes, which QUrl's text would not keep.
std::string LocalBytes(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

}  // namespace

Target TargetFromPath(const std::string& path) {
    // The kernel names open files by their real path. A name gone since it
    // was given keeps its absolute form, and is told as missing.
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    if (error) resolved = std::filesystem::absolute(path, error).lexically_normal();
    Target target{QString(), resolved.string(), SearchScope::File, QString()};
    target.shown = QFile::decodeName(target.name.c_str());
    struct stat status;
    if (const std::string why = Refusal(path, Asked::File); !why.empty())
        target.problem = Refused(why);
    else if (stat(target.name.c_str(), &status) != 0)
        target.problem = Problem(target.error = errno);
    else if (S_ISDIR(status.st_mode))
        target.scope = SearchScope::Tree;
    return target;
}

Target TargetFromName(const std::string& name) {
    Target target{QFile::decodeName(name.c_str()), name, SearchScope::Name, QString()};
    if (const std::string why = Refusal(name, Asked::Name); !why.empty()) target.problem = Refused(why);
    return target;
}

Target TargetFromText(const QString& text) {
    if (text.startsWith(QLatin1String("file://"))) return TargetFromPath(LocalBytes(QUrl(text)));
    return TargetFromPath(QFile::encodeName(ExpandTilde(text)).toStdString());
}

QString ExpandTilde(const QString& text) {
    if (!text.startsWith(u'~')) return text;
    const qsizetype slash = text.indexOf(u'/');
    const QString user = text.mid(1, slash < 0 ? -1 : slash - 1);
    QString home;
    if (user.isEmpty()) {
        home = QDir::homePath();
    } else {
        const passwd* entry = getpwnam(QFile::encodeName(user).constData());
        if (entry == nullptr || entry->pw_dir == nullptr) return text;
        home = QFile::decodeName(entry->pw_dir);
    }
    return slash < 0 ? home : home + text.mid(slash);
}

std::vector<Target> TargetsFromUrls(const QList<QUrl>& urls) {
    std::vector<Target> targets;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) targets.push_back(TargetFromPath(LocalBytes(url)));
    }
    return targets;
}

std::vector<SearchRequest> RequestsFor(const std::vector<Target>& targets) {
    std::vector<SearchRequest> requests;
    for (const Target& target : targets) {
        if (target.problem.isEmpty()) requests.emplace_back(target.name, target.scope);
    }
    return requests;
}
