// The window's answers: what the state line says after a look, a wait or a
// check as root, each to the question it was asked for.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <set>

#include "app/qt/FencatWindow.h"
#include "app/qt/FittedLabel.h"
#include "app/qt/RootCheck.h"
#include "search/Notices.h"
#include "search/ResultLine.h"
#include "search/Trace.h"

namespace {

constexpr int kWaitLookMilliseconds = 500;

QString Plural(qsizetype count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// Processes not examined to the end in the widest of the reports: each
// report looked at every process.
uint32_t NotExamined(const std::vector<SearchReport>& reports) {
    uint32_t most = 0;
    for (const SearchReport& report : reports)
        most =
            std::max<uint32_t>(most, report.refused + report.exhausted + static_cast<uint32_t>(report.stalled.size()));
    return most;
}

}  // namespace

// One sentence per thing to say: what is missing, what failed, who uses the
// files or that no one does, and who could not be looked at.
void FencatWindow::ShowReports(const std::vector<SearchReport>& reports) {
    QStringList said;
    size_t next = 0;
    bool searched = false, refused = false;
    uint32_t notExamined = 0;
    for (const Target& target : m_targets) {
        if (!target.problem.isEmpty()) {
            said << QStringLiteral("%1 %2.").arg(target.shown, target.problem);
            refused = refused || RootCheck::RootMayReach(target);
            continue;
        }
        if (next >= reports.size()) break;
        const SearchReport& report = reports[next++];
        if (!report.Finished()) {
            const QString failure = QString::fromLocal8Bit(LinuxTraceWords().stopped(report.stop).c_str()).trimmed();
            said << QStringLiteral("%1 could not be searched (%2).").arg(target.shown, failure);
            continue;
        }
        searched = true;
        notExamined = std::max<uint32_t>(
            notExamined, report.refused + report.exhausted + static_cast<uint32_t>(report.stalled.size()));
    }
    if (searched || m_model->rowCount() != 0) said << UsersSentence();
    if (notExamined != 0)
        said << QStringLiteral("%1 could not be examined and may use %2 too.")
                    .arg(Plural(notExamined, "process", "processes"),
                         m_targets.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    const QString root = RootRowsSentence();
    if (!root.isEmpty()) said << root;
    SetState(said.join(u' '), notExamined != 0 || refused);
}

QString FencatWindow::UsersSentence() const {
    std::set<uint32_t> pids;
    for (const ResultRow& row : m_model->Rows()) pids.insert(row.pid);
    const bool one = m_targets.size() == 1;
    if (pids.empty())
        return QStringLiteral("No process uses %1.").arg(one ? m_targets.front().shown : QStringLiteral("any of these files"));
    return QStringLiteral("%1 %2.").arg(Plural(static_cast<qsizetype>(pids.size()), "process uses", "processes use"),
                                        one ? m_targets.front().shown : QStringLiteral("these files"));
}

// Rows that only a check as root found, and that this user's looks since
// could not see: they are root's word, not this look's.
QString FencatWindow::RootRowsSentence() const {
    std::set<uint32_t> pids;
    QDateTime at;
    for (const ResultRow& row : m_model->Rows()) {
        if (!row.rootAt.isValid()) continue;
        pids.insert(row.pid);
        at = row.rootAt;
    }
    if (pids.empty()) return QString();
    return QStringLiteral("%1 found by the check as root at %2 could not be looked at again.")
        .arg(Plural(static_cast<qsizetype>(pids.size()), "process", "processes"), at.toString(QStringLiteral("HH:mm:ss")));
}

// The same looks and the same rule as fencat -w: free only once every
// process has been examined and none uses the files.
void FencatWindow::Looked(const FreeWatch* watch, WaitState state, const std::vector<SearchReport>& reports) {
    if (watch != m_wait.get()) return;  // a wait given up, or another search since
    Searched(reports);
    if (state == WaitState::InUse) {
        statusBar()->showMessage(QStringLiteral("Waiting until no process uses %1…").arg(TargetsText()));
        QTimer::singleShot(kWaitLookMilliseconds, this, &FencatWindow::LookAgain);
        return;
    }
    SetWaiting(false);
    const bool one = m_targets.size() == 1;
    const QString files = TargetsText();
    QString said;
    if (state == WaitState::Free) {
        said = QStringLiteral("%1 %2 free now.").arg(files, one ? QStringLiteral("is") : QStringLiteral("are"));
    } else {
        said = QStringLiteral("No process that could be examined uses %1 now, but %2 could not be examined and may "
                              "use %3.")
                   .arg(files, Plural(NotExamined(reports), "process", "processes"),
                        one ? QStringLiteral("it") : QStringLiteral("them"));
        const QString root = RootRowsSentence();
        if (!root.isEmpty()) said += u' ' + root;
    }
    SetState(said, state != WaitState::Free);
    statusBar()->showMessage(said);
    QApplication::alert(this);
}

void FencatWindow::CheckAll() {
    QString error;
    m_checkProblem->hide();
    if (!m_rootCheck->Start(m_targets, m_question, error)) {
        CheckFailed(error);
        return;
    }
    statusBar()->showMessage(QStringLiteral("Checking all processes as root…"));
}

void FencatWindow::RootFound(uint64_t question, const std::vector<Finding>& findings, const QString& notice) {
    if (question != m_question) return;  // checked a question no longer asked
    const QDateTime at = QDateTime::currentDateTime();
    m_model->MergeFromRoot(findings, at);
    statusBar()->clearMessage();
    m_checkProblem->hide();
    // fencat's own notice tells a terminal user to become root; here the
    // user has.
    const bool left = notice.contains(QLatin1String(kNotExaminedPhrase));
    SetState(QStringLiteral("Checked as root at %1: %2%3")
                 .arg(at.toString(QStringLiteral("HH:mm:ss")), UsersSentence(),
                      left ? QStringLiteral(" Some processes could not be examined even so.") : QString()));
}

// The answer there was stands, and so does the offer to check again.
void FencatWindow::CheckFailed(const QString& why) {
    statusBar()->clearMessage();
    m_checkProblem->SetText(why);
    m_checkProblem->show();
    m_checkAllButton->show();
    Action("checkAll").setEnabled(true);
}
