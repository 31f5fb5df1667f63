#include "app/qt/AdminEnd.h"

#include <unistd.h>

#include <QFile>
#include <set>

#include "app/qt/EndProcess.h"
#include "app/qt/RootCheck.h"

bool NeedsAdministrator(const ResultRow& row) {
    return geteuid() != 0 && row.uid != Finding::kUnknown && row.uid != static_cast<int64_t>(geteuid());
}

namespace {

QString Labels(const std::vector<ResultRow>& rows) {
    QStringList labels;
    for (const ResultRow& row : rows) labels << ProcessLabel(row);
    return labels.join(QStringLiteral(", "));
}

// The PIDs in fencat's result lines ("0x%04X  name").
std::set<uint32_t> ListedPids(const QByteArray& out) {
    std::set<uint32_t> pids;
    for (const QByteArray& line : out.split('\n')) {
        if (!line.startsWith("0x")) continue;
        bool ok = false;
        const uint32_t pid = line.mid(2).split(' ').front().toUInt(&ok, 16);
        if (ok) pids.insert(pid);
    }
    return pids;
}

}  // namespace

AdminEnd::AdminEnd(QObject* parent) : QObject(parent) {
    connect(&m_process, &QProcess::finished, this, &AdminEnd::Ended);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit Done(QStringLiteral("%1 was not ended: pkexec could not be started.").arg(Labels(m_rows)));
    });
}

QStringList AdminEnd::Arguments(const std::vector<ResultRow>& rows, const QString& signal) {
    QStringList arguments{QStringLiteral("-k"), QLatin1Char('-') + signal}, files;
    for (const ResultRow& row : rows) {
        arguments << QStringLiteral("--pid") << QString::number(row.pid);
        const QString file = QFile::decodeName(row.path.c_str());
        if (!files.contains(file)) files << file;
    }
    return arguments << QStringLiteral("--") << files;
}

bool AdminEnd::Start(const std::vector<ResultRow>& rows, QString& error) {
    const QString pkexec = RootCheck::Pkexec(), fencat = RootCheck::Fencat();
    if (pkexec.isEmpty() || fencat.isEmpty()) {
        error = QStringLiteral("%1 was not ended: ending another user's process needs %2, which is not installed.")
                    .arg(Labels(rows), pkexec.isEmpty() ? QStringLiteral("pkexec") : QStringLiteral("fencat"));
        return false;
    }
    if (Running()) {
        error = QStringLiteral("Processes are still being ended with the administrator's rights.");
        return false;
    }
    m_rows = rows;
    m_process.setProgram(pkexec);
    m_process.setArguments(QStringList{fencat} + Arguments(rows, QStringLiteral("TERM")));
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.start();
    return true;
}

void AdminEnd::Ended(int status, QProcess::ExitStatus how) {
    const std::set<uint32_t> listed = ListedPids(m_process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed();
    const std::vector<ResultRow> rows = std::move(m_rows);
    m_rows.clear();
    // fencat: 0 found (and signalled), 1 none found; pkexec: 126 dismissed, 127 not authorised.
    if (how == QProcess::NormalExit && (status == 126 || status == 127)) {
        emit Done(QStringLiteral("%1 was not ended: the administrator's rights were not given.").arg(Labels(rows)));
        return;
    }
    if (how != QProcess::NormalExit || (status != 0 && status != 1)) {
        emit Done(QStringLiteral("%1 was not ended: %2").arg(Labels(rows), err.isEmpty() ? QStringLiteral("fencat failed.") : err));
        return;
    }
    std::vector<ResultRow> asked, notFound;
    std::vector<uint32_t> notUsing;
    for (const ResultRow& row : rows) (listed.count(row.pid) != 0 ? asked : notFound).push_back(row);
    for (const ResultRow& row : notFound) notUsing.push_back(row.pid);
    if (!notUsing.empty()) emit NotUsing(notUsing);
    QStringList said;
    if (!asked.empty()) said << QStringLiteral("Asked %1 to end, as the administrator.").arg(Labels(asked));
    if (!notFound.empty())
        said << QStringLiteral("%1 was not ended: it no longer uses the file, and its ID may now be another "
                               "process's.").arg(Labels(notFound));
    if (!err.isEmpty() && status == 0) said << err;
    emit Done(said.join(u' '));
}
