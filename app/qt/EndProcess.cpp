#include "app/qt/EndProcess.h"

#include <atomic>
#include <csignal>
#include <set>
#include <string>

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/qt/AdminEnd.h"
#include "search/Process.h"
#include "search/ResultLine.h"

QString ProcessLabel(const ResultRow& row) {
    return QStringLiteral("%1 (PID %2)").arg(QString::fromUtf8(VisibleText(row.processName).c_str())).arg(row.pid);
}

namespace {

std::atomic<int> g_graceMilliseconds{EndProcess::kGraceMilliseconds};

// More than this many processes are listed in a scrolling view of their
// own rather than in the sentence, so that the box fits on any screen.
constexpr qsizetype kNamedInSentence = 5;

// `listed`: names shown in that view, where there are too many to say.
bool Ask(QWidget* parent, const QString& title, const QString& text, const QString& informative, const QString& yes,
         const QStringList& listed = {}) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Cancel, parent);
    box.setInformativeText(informative);
    QPushButton* confirm = box.addButton(yes, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    if (!listed.isEmpty()) {
        box.setDetailedText(listed.join(u'\n'));
        // Shown at once: the names are what is being confirmed.
        for (QAbstractButton* button : box.buttons()) {
            if (box.buttonRole(button) == QMessageBox::ActionRole) button->click();
        }
    }
    box.exec();
    return box.clickedButton() == static_cast<QAbstractButton*>(confirm);
}

QStringList Labels(const std::vector<ResultRow>& rows) {
    QStringList names;
    for (const ResultRow& row : rows) names << ProcessLabel(row);
    return names;
}

QString Names(const std::vector<ResultRow>& rows) { return Labels(rows).join(QStringLiteral(", ")); }

bool Many(const std::vector<ResultRow>& rows) { return static_cast<qsizetype>(rows.size()) > kNamedInSentence; }

// The processes in a line of the status bar: named where few.
QString Summary(const std::vector<ResultRow>& rows) {
    return Many(rows) ? QStringLiteral("%1 processes").arg(rows.size()) : Names(rows);
}

}  // namespace

EndProcess::EndProcess(QWidget* window) : QObject(window), m_window(window), m_admin(new AdminEnd(this)) {
    connect(m_admin, &AdminEnd::Done, this, &EndProcess::Done);
    connect(m_admin, &AdminEnd::NotUsing, this, &EndProcess::NotUsing);
}

int EndProcess::GraceMilliseconds() { return g_graceMilliseconds; }

void EndProcess::SetGraceMilliseconds(int milliseconds) { g_graceMilliseconds = milliseconds; }

void EndProcess::Start(const std::vector<ResultRow>& rows) {
    std::vector<ResultRow> distinct, others;
    std::set<uint32_t> seen;
    for (const ResultRow& row : rows) {
        if (seen.insert(row.pid).second) (NeedsAdministrator(row) ? others : distinct).push_back(row);
    }
    const size_t count = distinct.size() + others.size();
    if (count == 0 || !m_sent.empty()) return;
    const ResultRow& first = distinct.empty() ? others.front() : distinct.front();
    const QString text = count == 1 ? QStringLiteral("End %1?").arg(ProcessLabel(first))
                                    : QStringLiteral("End %1 processes?").arg(count);
    std::vector<ResultRow> all = distinct;
    all.insert(all.end(), others.begin(), others.end());
    QString informative;
    QStringList listed;
    if (Many(all)) {
        informative = QStringLiteral("These %1 processes will be asked to end (SIGTERM). Unsaved work in them may be "
                                     "lost.").arg(all.size());
        if (!others.empty())
            informative += QStringLiteral(" %1 of them belong to other users: ending those needs the administrator's "
                                          "rights, which you will be asked for once.").arg(others.size());
        listed = Labels(distinct);
        for (const QString& other : Labels(others)) listed << QStringLiteral("%1, another user's").arg(other);
    } else {
        informative = QStringLiteral("%1 will be asked to end (SIGTERM). Unsaved work in it may be lost.").arg(Names(all));
        if (!others.empty())
            informative += QStringLiteral(" %1 belongs to another user: ending it needs the administrator's rights, "
                                          "which you will be asked for once.").arg(Names(others));
    }
    if (!Ask(m_window, QStringLiteral("End Process"), text, informative,
             distinct.empty() ? QStringLiteral("&End as Administrator") : QStringLiteral("&End Process"), listed))
        return;
    if (!others.empty()) {
        QString error;
        if (!m_admin->Start(others, error)) emit Done(error);
    }
    if (distinct.empty()) return;
    QStringList outcomes;
    for (const ResultRow& row : distinct) {
        const QString outcome = Send(row, SIGTERM, "asked to end");
        outcomes << outcome;
        if (outcome.isEmpty()) m_sent.push_back(row);
    }
    outcomes.removeAll(QString());
    if (m_sent.empty()) {
        emit Done(outcomes.join(QStringLiteral(" ")));
        return;
    }
    if (!outcomes.isEmpty()) emit Done(outcomes.join(QStringLiteral(" ")));
    QTimer::singleShot(GraceMilliseconds(), this, &EndProcess::OfferKill);
}

// Empty when the signal went out; otherwise what the user is told.
QString EndProcess::Send(const ResultRow& row, int signal, const char* verb) {
    if (!row.process)
        return QStringLiteral("%1 was not %2: the process could not be held when it was found, so it is not "
                              "signalled by its ID alone.")
            .arg(ProcessLabel(row), QString::fromLatin1(verb));
    std::string error;
    switch (row.process->Signal(signal, error)) {
    case HeldProcess::Outcome::Sent: return QString();
    case HeldProcess::Outcome::Ended: return QStringLiteral("%1 had already ended.").arg(ProcessLabel(row));
    case HeldProcess::Outcome::Failed: break;
    }
    return QStringLiteral("%1 was not %2: %3.")
        .arg(ProcessLabel(row), QString::fromLatin1(verb), QString::fromLocal8Bit(error.c_str()));
}

void EndProcess::OfferKill() {
    const std::vector<ResultRow> sent = std::move(m_sent);
    m_sent.clear();
    std::vector<ResultRow> running;
    for (const ResultRow& row : sent) {
        if (row.process->Running()) running.push_back(row);
    }
    if (running.empty()) {
        emit Done(QStringLiteral("Ended %1.").arg(Summary(sent)));
        return;
    }
    const QString names = Summary(running);
    const QString question = running.size() == 1 ? QStringLiteral("%1 is still running. Kill it?")
                                                  : QStringLiteral("%1 are still running. Kill them?");
    if (!Ask(m_window, QStringLiteral("Kill Process"), question.arg(names),
             QStringLiteral("Asked to end, it has not. Killed (SIGKILL), a process ends at once and saves nothing."),
             QStringLiteral("&Kill"), Many(running) ? Labels(running) : QStringList())) {
        emit Done(QStringLiteral("%1 did not end.").arg(names));
        return;
    }
    QStringList outcomes;
    for (const ResultRow& row : running) outcomes << Send(row, SIGKILL, "killed");
    outcomes.removeAll(QString());
    emit Done(outcomes.isEmpty() ? QStringLiteral("Killed %1.").arg(names) : outcomes.join(QStringLiteral(" ")));
}
