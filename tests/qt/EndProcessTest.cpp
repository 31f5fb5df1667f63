// Ending processes: the confirmation that names them, SIGTERM, and SIGKILL
// offered only to those still there; with processes whose answers the test
// sets, so that every turn of the exchange is seen.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTimer>
#include <QTest>
#include <csignal>

#include "WindowDriver.h"
#include "app/qt/EndProcess.h"
#include "app/qt/FencatWindow.h"
#include "app/qt/ResultTable.h"
#include "search/Process.h"

namespace {

class FakeProcess : public HeldProcess {
public:
    explicit FakeProcess(bool endsOnTerm = true) : m_endsOnTerm(endsOnTerm) {}
    std::vector<int> sent;
    Outcome outcome = Outcome::Sent;

    Outcome Signal(int signal, std::string& error) override {
        sent.push_back(signal);
        if (outcome == Outcome::Failed) error = "Operation not permitted";
        if (outcome == Outcome::Sent && (signal == SIGKILL || m_endsOnTerm)) m_running = false;
        return outcome;
    }
    bool Running() const override { return m_running; }

private:
    bool m_endsOnTerm;
    bool m_running = true;
};

Finding HeldFinding(uint32_t pid, const char* name, std::shared_ptr<FakeProcess> process, int64_t descriptor = 3) {
    Finding finding;
    finding.kind = Finding::Kind::Handle;
    finding.pid = pid;
    finding.processName = name;
    finding.path = "/srv/data";
    finding.access = Finding::kOpen | Finding::kRead;
    finding.descriptor = descriptor;
    finding.process = std::move(process);
    return finding;
}

ResultRow RowOf(uint32_t pid, const char* name, std::shared_ptr<FakeProcess> process) {
    return FoldFindings({HeldFinding(pid, name, std::move(process))}).front();
}

}  // namespace

class EndProcessTest : public QObject {
    Q_OBJECT

private slots:
    void AConfirmedEndSendsTermAndTellsTheProcessEnded() {
        QWidget window;
        EndProcess ender(&window);
        QSignalSpy done(&ender, &EndProcess::Done);
        auto process = std::make_shared<FakeProcess>();
        MessageBoxAnswers answers({QStringLiteral("End Process")});
        ender.Start({RowOf(10, "python3", process)});
        QCOMPARE(process->sent, std::vector<int>{SIGTERM});
        QVERIFY(done.wait(EndProcess::kGraceMilliseconds + 3000));
        QCOMPARE(done.front().front().toString(), QStringLiteral("Ended python3 (PID 10)."));
        QCOMPARE(answers.seen.size(), 1);
        QVERIFY2(answers.seen[0].startsWith(QStringLiteral("End python3 (PID 10)?")), qPrintable(answers.seen[0]));
    }

    void CancelSendsNothing() {
        QWidget window;
        EndProcess ender(&window);
        QSignalSpy done(&ender, &EndProcess::Done);
        auto process = std::make_shared<FakeProcess>();
        MessageBoxAnswers answers({QStringLiteral("Cancel")});
        ender.Start({RowOf(10, "python3", process)});
        QVERIFY(process->sent.empty());
        QVERIFY(!done.wait(300));
    }

    void AProcessStillThereAfterAMomentIsOfferedKill() {
        QWidget window;
        EndProcess ender(&window);
        QSignalSpy done(&ender, &EndProcess::Done);
        auto stubborn = std::make_shared<FakeProcess>(false);
        MessageBoxAnswers answers({QStringLiteral("End Process"), QStringLiteral("Kill")});
        QElapsedTimer clock;
        clock.start();
        ender.Start({RowOf(20, "dd", stubborn)});
        QVERIFY(done.wait(EndProcess::kGraceMilliseconds + 3000));
        // Kill only once the grace has passed.
        QVERIFY2(clock.elapsed() >= EndProcess::GraceMilliseconds(), qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(stubborn->sent, (std::vector<int>{SIGTERM, SIGKILL}));
        QCOMPARE(answers.seen.size(), 2);
        QVERIFY2(answers.seen[1].startsWith(QStringLiteral("dd (PID 20) is still running. Kill it?")),
                 qPrintable(answers.seen[1]));
        QCOMPARE(done.front().front().toString(), QStringLiteral("Killed dd (PID 20)."));
    }

    void EachProcessIsAskedAboutAndSignalledOnce() {
        QWidget window;
        EndProcess ender(&window);
        auto process = std::make_shared<FakeProcess>();
        MessageBoxAnswers answers({QStringLiteral("End Process")});
        ender.Start({RowOf(10, "python3", process), RowOf(10, "python3", process)});
        QCOMPARE(process->sent, std::vector<int>{SIGTERM});
        QVERIFY2(answers.seen[0].startsWith(QStringLiteral("End python3 (PID 10)?")), qPrintable(answers.seen[0]));
    }

    void ARefusedOrAlreadyEndedProcessIsToldAtOnce() {
        QWidget window;
        EndProcess ender(&window);
        QSignalSpy done(&ender, &EndProcess::Done);
        auto refused = std::make_shared<FakeProcess>(), gone = std::make_shared<FakeProcess>();
        refused->outcome = HeldProcess::Outcome::Failed;
        gone->outcome = HeldProcess::Outcome::Ended;
        MessageBoxAnswers answers({QStringLiteral("End Process")});
        ender.Start({RowOf(30, "sshd", refused), RowOf(31, "cat", gone)});
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.front().front().toString(),
                 QStringLiteral("sshd (PID 30) was not asked to end: Operation not permitted. cat (PID 31) had already "
                                "ended."));
        QVERIFY2(answers.seen[0].startsWith(QStringLiteral("End 2 processes?")), qPrintable(answers.seen[0]));
    }

    // 300 processes do not make a box taller than the screen: they are listed
    // in a view of their own that scrolls, every one of them.
    void TheConfirmationForManyProcessesFitsOnTheScreen() {
        QWidget window;
        EndProcess ender(&window);
        std::vector<ResultRow> rows;
        for (uint32_t pid = 1000; pid < 1300; ++pid) rows.push_back(RowOf(pid, "python3", std::make_shared<FakeProcess>()));
        QSize size, room;
        QString listed;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            size = box->frameGeometry().size();
            room = box->screen()->availableGeometry().size();
            for (const QTextEdit* view : box->findChildren<QTextEdit*>()) {
                if (view->isVisible()) listed = view->toPlainText();
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        ender.Start(rows);
        QVERIFY(size.isValid());
        QVERIFY2(size.height() <= room.height() && size.width() <= room.width(),
                 qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
        const QStringList lines = listed.split(u'\n');
        QCOMPARE(lines.size(), 300);
        QCOMPARE(lines.front(), QStringLiteral("python3 (PID 1000)"));
        QCOMPARE(lines.back(), QStringLiteral("python3 (PID 1299)"));
    }

    void TheWindowEndsOnlyTheSelectedRowsProcess() {
        FencatWindow window;
        auto chosen = std::make_shared<FakeProcess>(), other = std::make_shared<FakeProcess>();
        window.Model().Update({HeldFinding(40, "a", chosen), HeldFinding(41, "b", other)});
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(SelectPid(window, 40));
        MessageBoxAnswers answers({QStringLiteral("End Process")});
        QTest::keyClick(&window.Table(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(chosen->sent, std::vector<int>{SIGTERM});
        QVERIFY(other->sent.empty());
    }
};

QObject* NewEndProcessTest() { return new EndProcessTest; }

#include "EndProcessTest.moc"
