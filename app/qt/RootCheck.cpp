#include "app/qt/RootCheck.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <cerrno>

#include "app/qt/WireBytes.h"
#include "search/Exits.h"
#include "search/Uses.h"

namespace {

Text Bytes(const QString& text) {
    return BytesOfUtf16(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

Text Member(const QJsonObject& object, const char* name) {
    return Bytes(object.value(QLatin1String(name)).toString());
}

// Who the process is, as fencat --json tells it.
std::shared_ptr<const ProcessIdentity> IdentityOf(const QJsonObject& object) {
    auto identity = std::make_shared<ProcessIdentity>();
    identity->exe = Member(object, "exe");
    const QJsonValue arguments = object.value(QLatin1String("cmdline"));
    identity->commandLineRead = arguments.isArray();
    for (const QJsonValue argument : arguments.toArray()) identity->commandLine.push_back(Bytes(argument.toString()));
    const QDateTime started = QDateTime::fromString(object.value(QLatin1String("started")).toString(), Qt::ISODateWithMs);
    if (started.isValid()) identity->startedMs = started.toMSecsSinceEpoch();
    const QJsonValue parent = object.value(QLatin1String("ppid"));
    if (parent.isDouble()) identity->parentPid = static_cast<int64_t>(parent.toDouble());
    identity->parentName = Member(object, "parent");
    identity->unit = Member(object, "unit");
    identity->userUnit = object.value(QLatin1String("user_unit")).toBool();
    // An older fencat says nothing of units: not read, rather than none.
    identity->placeRead = object.contains(QLatin1String("unit"));
    const QJsonObject container = object.value(QLatin1String("container")).toObject();
    identity->container = Container{Member(container, "runtime"), Member(container, "id"), Member(container, "pod")};
    return identity;
}

// pkexec's own statuses, beside fencat's.
constexpr int kPkexecDismissed = 126, kPkexecNotAuthorised = 127;

}  // namespace

std::vector<Finding> ParseFencatJson(const QByteArray& lines) {
    std::vector<Finding> findings;
    for (const QByteArray& line : lines.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.value(QLatin1String("pid")).isDouble()) continue;
        Finding finding;
        // A kind this window does not know is still a use.
        if (!KindOfWord(object.value(QLatin1String("kind")).toString().toStdString(), finding.kind))
            finding.kind = Finding::Kind::Handle;
        finding.pid = static_cast<uint32_t>(object.value(QLatin1String("pid")).toDouble());
        finding.processName = Bytes(object.value(QLatin1String("name")).toString());
        finding.path = Bytes(object.value(QLatin1String("path")).toString());
        finding.access = AccessOfLetters(object.value(QLatin1String("access")).toString().toStdString());
        const QJsonValue uid = object.value(QLatin1String("uid")), fd = object.value(QLatin1String("fd"));
        if (uid.isDouble()) finding.uid = static_cast<int64_t>(uid.toDouble());
        if (fd.isDouble()) finding.descriptor = static_cast<int64_t>(fd.toDouble());
        finding.identity = IdentityOf(object);
        // fuser's letters cannot tell reading from writing; the words can.
        finding.access |= AccessOfWords(object.value(QLatin1String("use")).toString().toStdString());
        findings.push_back(std::move(finding));
    }
    return findings;
}

RootCheck::RootCheck(QObject* parent) : QObject(parent) {
    connect(&m_process, &QProcess::finished, this, &RootCheck::Ended);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) emit Failed(m_question, QStringLiteral("pkexec could not be started."));
    });
}

QString RootCheck::Pkexec() { return QStandardPaths::findExecutable(QStringLiteral("pkexec")); }

QString RootCheck::Fencat() {
    const QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/fencat"));
    if (beside.isExecutable()) return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(QStringLiteral("fencat"));
}

QStringList RootCheck::Arguments(const std::vector<Target>& targets) {
    QStringList options{QStringLiteral("--json")}, files;
    for (const Target& target : targets) {
        if (!target.problem.isEmpty() && !RootMayReach(target)) continue;
        const QString name = QFile::decodeName(target.name.c_str());
        if (target.scope == SearchScope::Tree)
            options << QStringLiteral("--under") << name;
        else if (target.scope == SearchScope::Name)
            options << QStringLiteral("--name") << name;
        else
            files << name;
    }
    if (!files.isEmpty()) options << QStringLiteral("--") << files;
    return options;
}

QString RootCheck::TerminalCommand(const std::vector<Target>& targets) {
    QStringList words{QStringLiteral("sudo fencat -v")};
    for (const QString& argument : Arguments(targets).mid(1)) {
        if (argument == QLatin1String("--under") || argument == QLatin1String("--name") || argument == QLatin1String("--")) {
            words << argument;
            continue;
        }
        QString quoted = argument;
        quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
        words << QLatin1Char('\'') + quoted + QLatin1Char('\'');
    }
    return words.join(QLatin1Char(' '));
}

bool RootCheck::RootMayReach(const Target& target) { return target.error == EACCES || target.error == EPERM; }

bool RootCheck::Start(const std::vector<Target>& targets, uint64_t question, QString& error) {
    const QString pkexec = Pkexec(), fencat = Fencat();
    if (pkexec.isEmpty()) {
        error = QStringLiteral("pkexec is not installed. To see every process, run in a terminal: %1")
                    .arg(TerminalCommand(targets));
        return false;
    }
    if (fencat.isEmpty()) {
        error = QStringLiteral("fencat is not installed, so nothing can check as root.");
        return false;
    }
    if (Running() && m_question == question) return true;
    if (Running()) {
        m_process.blockSignals(true);
        m_process.kill();
        m_process.waitForFinished();
        m_process.blockSignals(false);
    }
    m_question = question;
    m_process.setProgram(pkexec);
    m_process.setArguments(QStringList{fencat} + Arguments(targets));
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.start();
    return true;
}

void RootCheck::Ended(int status, QProcess::ExitStatus how) {
    const QByteArray out = m_process.readAllStandardOutput();
    const QString err = QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed();
    if (how == QProcess::NormalExit && (status == kFound || status == kNotFound)) {
        emit Found(m_question, ParseFencatJson(out), err);
    } else if (how == QProcess::NormalExit && status == kPkexecDismissed) {
        emit Failed(m_question, QStringLiteral("The check as root was dismissed."));
    } else if (how == QProcess::NormalExit && status == kPkexecNotAuthorised) {
        emit Failed(m_question, QStringLiteral("The check as root was not authorised."));
    } else {
        emit Failed(m_question, QStringLiteral("The check as root failed%1").arg(err.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + err));
    }
}
