// The main window, offscreen, against real processes that hold files: what
// it says in each state, the ways in, and what can be done with a row.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QWindow>
#include <filesystem>
#include <fstream>

#include "Processes.h"
#include "WindowDriver.h"
#include "app/qt/EndProcess.h"
#include "app/qt/FencatWindow.h"
#include "app/qt/FileManager.h"
#include "app/qt/ResultTable.h"
#include "fencat_version.h"

namespace {

const QString kHolderName = QStringLiteral("fencat_test_holder");

QString Canonical(const std::string& path) { return QString::fromStdString(std::filesystem::canonical(path).string()); }

QString CurrentUser() {
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name) : QString::number(getuid());
}

// A holder is the test's child: one that has ended stays a zombie, which
// kill(pid, 0) would still find, until it is waited for.
bool Alive(pid_t pid) {
    int status;
    return waitpid(pid, &status, WNOHANG) == 0;
}

QList<pid_t> Sorted(QList<pid_t> pids) {
    std::sort(pids.begin(), pids.end());
    return pids;
}

// Searches until the window's state says `text` or the time runs out.
bool StateSaysWithin(FencatWindow& window, const QString& text, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!window.StateText().contains(text)) {
        if (timer.elapsed() > milliseconds) return false;
        NextSearchShown(window, 1000);
    }
    return true;
}

// The file manager's interface, as a file manager serves it on the bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;
    QString startupId;

public slots:
    void ShowItems(const QStringList& uris, const QString& startup) {
        shown << uris;
        startupId = startup;
    }
};

// A folder of programs put first on PATH while it lives.
class FakePrograms {
public:
    explicit FakePrograms(bool keepPath = true) : m_path(qgetenv("PATH")) {
        qputenv("PATH", (QString::fromStdString(m_dir.Path()) + (keepPath ? ":" + m_path : QString())).toLocal8Bit());
    }
    ~FakePrograms() { qputenv("PATH", m_path.toLocal8Bit()); }
    void Add(const std::string& name, const std::string& script) const {
        std::filesystem::permissions(m_dir.File(name, script), std::filesystem::perms::owner_all);
    }
    std::string Path() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    QString m_path;
};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FencatWindow> m_window;
    std::unique_ptr<TempDir> m_dir;

    FencatWindow& Shown() {
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get())) qWarning("the window did not become active");
        return *m_window;
    }

    bool Searched(FencatWindow& window, const std::vector<std::string>& paths) {
        std::vector<Target> targets;
        for (const std::string& path : paths) targets.push_back(TargetFromText(QString::fromStdString(path)));
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        window.Search(std::move(targets));
        return shown.wait(10000);
    }

private slots:
    void init() {
        m_window = std::make_unique<FencatWindow>();
        m_dir = std::make_unique<TempDir>();
    }
    void cleanup() {
        m_window.reset();
        m_dir.reset();
    }

    // What the window says

    void BeforeAnySearchTheWindowSaysHowToBegin() {
        QVERIFY(m_window->StateText().startsWith(QStringLiteral("Drop files or folders here")));
        QVERIFY(m_window->SearchedText().isEmpty());
        QCOMPARE(m_window->Model().rowCount(), 0);
    }

    void AMissingFileIsSaidToBeMissing() {
        const std::string missing = m_dir->Path() + "/missing.txt";
        QVERIFY(Searched(*m_window, {missing}));
        const QString path = Canonical(m_dir->Path()) + QStringLiteral("/missing.txt");
        QCOMPARE(m_window->StateText(), path + QStringLiteral(" does not exist."));
        QCOMPARE(m_window->SearchedText(), QStringLiteral("Searched: ") + path);
        QCOMPARE(m_window->Model().rowCount(), 0);
    }

    void AFileNoProcessUsesIsSaidToBeUnused() {
        const std::string unused = m_dir->File("unused.txt");
        QVERIFY(Searched(*m_window, {unused}));
        // Some processes may be beyond even root's reach here (a sandbox's
        // first process): they are counted after.
        QVERIFY2(m_window->StateText().startsWith(QStringLiteral("No process uses %1.").arg(Canonical(unused))),
                 qPrintable(m_window->StateText()));
    }

    void AHeldFileShowsItsHolderWithUserUseAndPath() {
        const std::string path = m_dir->File("held.txt");
        Holder holder({"twice", path});
        QVERIFY(holder.Ready());
        QVERIFY(Searched(*m_window, {path}));
        const QStringList rows = Rows(*m_window);
        QCOMPARE(rows.size(), 1);  // two descriptors, one row
        const QStringList columns = rows.front().split(QStringLiteral(" | "));
        QCOMPARE(columns.size(), 11);
        QCOMPARE(columns[0], QString::number(holder.Pid()));
        QCOMPARE(columns[1], kHolderName);
        QCOMPARE(columns[2], CurrentUser());
        QCOMPARE(columns[3], QStringLiteral("open for reading"));
        QVERIFY2(columns[4].contains(QStringLiteral(", ")), qPrintable(columns[4]));
        QCOMPARE(columns[5], Canonical(path));
        // Who it is: as it was started, whole in the process's tooltip.
        const QString started = QStringLiteral(HOLDER_BINARY " twice ") + QString::fromStdString(path);
        QCOMPARE(columns[6], started);
        const QAbstractItemModel* model = m_window->Table().model();
        const QString who = model->index(0, 1).data(Qt::ToolTipRole).toString();
        QVERIFY2(who.contains(QStringLiteral("Command line: ") + started), qPrintable(who));
        QVERIFY2(m_window->StateText().startsWith(QStringLiteral("1 process uses %1.").arg(Canonical(path))),
                 qPrintable(m_window->StateText()));
    }

    void ProcessesLeftUnexaminedAreCountedAndCheckAllIsOffered() {
        const std::string path = m_dir->File("some.txt");
        QVERIFY(Searched(*m_window, {path}));
        SearchReport report;
        report.reached = SearchStage::OpenFilesRead;
        m_window->ShowReports({report});
        QCOMPARE(m_window->StateText(), QStringLiteral("No process uses %1.").arg(Canonical(path)));
        QVERIFY(m_window->findChild<QPushButton*>(QStringLiteral("checkAllButton"))->isHidden());
        report.refused = 2;
        report.stalled = {4242};
        m_window->ShowReports({report});
        QCOMPARE(m_window->StateText(), QStringLiteral("No process uses %1. 3 processes could not be examined and may "
                                                       "use it too.").arg(Canonical(path)));
        QVERIFY(!m_window->findChild<QPushButton*>(QStringLiteral("checkAllButton"))->isHidden());
        QVERIFY(m_window->Action("checkAll").isEnabled());
    }

    // The ways in

    void ADropOfFilesAndAFolderSearchesThemAllAsACopy() {
        const std::string first = m_dir->File("first.txt"), second = m_dir->File("second.txt");
        const std::string folder = m_dir->Path() + "/folder";
        std::filesystem::create_directory(folder);
        Holder holdsFirst({"read", first}), holdsSecond({"read", second}), inFolder({"cwd", folder});
        QVERIFY(holdsFirst.Ready() && holdsSecond.Ready() && inFolder.Ready());
        FencatWindow& window = Shown();
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        const QList<QUrl> urls = FileUrls({QString::fromStdString(first), QString::fromStdString(second),
                                           QString::fromStdString(folder)});
        QCOMPARE(DragAndDrop(window, urls), Qt::CopyAction);
        QVERIFY(shown.wait(10000));
        QCOMPARE(Sorted(Pids(window)), Sorted({holdsFirst.Pid(), holdsSecond.Pid(), inFolder.Pid()}));
        QVERIFY(window.SearchedText().contains(Canonical(folder)));
        // An inspector never takes a file away from its source.
        QCOMPARE(DragAndDrop(window, urls, Qt::MoveAction | Qt::LinkAction), Qt::LinkAction);
    }

    // Ctrl+L, the path, Enter, the arrow keys, End Process: no mouse.
    void TheWholeFlowWorksFromTheKeyboard() {
        const std::string path = m_dir->File("typed.txt");
        Holder first({"read", path}), second({"read", path});
        QVERIFY(first.Ready() && second.Ready());
        FencatWindow& window = Shown();
        QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(window.PathField().hasFocus());
        QTest::keyClicks(&window.PathField(), QString::fromStdString(path));
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        QTest::keyClick(&window.PathField(), Qt::Key_Return);
        QVERIFY(shown.wait(10000));
        QVERIFY(window.Table().hasFocus());
        QCOMPARE(window.Table().currentIndex().row(), 0);
        QTest::keyClick(&window.Table(), Qt::Key_Down);
        const pid_t chosen = Pids(window)[1];
        QCOMPARE(window.Table().selectionModel()->selectedRows().size(), 1);
        QCOMPARE(window.Table().selectionModel()->selectedRows().front().row(), 1);

        MessageBoxAnswers answers({QStringLiteral("Cancel")});
        QTest::keyClick(&window.Table(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(answers.seen.size(), 1);
        QVERIFY2(answers.seen[0].startsWith(QStringLiteral("End %1 (PID %2)?").arg(kHolderName).arg(chosen)),
                 qPrintable(answers.seen[0]));
        QVERIFY(Alive(first.Pid()) && Alive(second.Pid()));
    }

    // A search asked for while another runs answers the newer question
    // only: the older one's findings never reach the table.
    void OnlyTheLatestOfTwoQuickSearchesIsShown() {
        const std::string older = m_dir->File("older.txt"), newer = m_dir->File("newer.txt");
        Holder holdsOlder({"read", older}), holdsNewer({"read", newer});
        QVERIFY(holdsOlder.Ready() && holdsNewer.Ready());
        QSignalSpy shown(m_window.get(), &FencatWindow::SearchDone);
        m_window->Search({TargetFromPath(older)});
        m_window->Search({TargetFromPath(newer)});
        QVERIFY(shown.wait(10000));
        QCOMPARE(Pids(*m_window), QList<pid_t>{holdsNewer.Pid()});
        QVERIFY(!shown.wait(500));
        QCOMPARE(shown.size(), 1);
    }

    // Looking again

    void RefreshDropsAKilledHolder() {
        const std::string path = m_dir->File("refreshed.txt");
        Holder stays({"read", path}), killed({"read", path});
        QVERIFY(stays.Ready() && killed.Ready());
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        QCOMPARE(Sorted(Pids(window)), Sorted({stays.Pid(), killed.Pid()}));
        QVERIFY(kill(killed.Pid(), SIGKILL) == 0);
        killed.Wait(false);
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        QTest::keyClick(&window.Table(), Qt::Key_F5);
        QVERIFY(shown.wait(10000));
        QCOMPARE(Pids(window), QList<pid_t>{stays.Pid()});
    }

    void WatchLooksAgainOnItsOwn() {
        const std::string path = m_dir->File("watched.txt");
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        window.Action("watch").trigger();
        Holder late({"read", path});
        QVERIFY(late.Ready());
        QVERIFY(StateSaysWithin(window, QStringLiteral("1 process uses"), 8000));
        QCOMPARE(Pids(window), QList<pid_t>{late.Pid()});
        window.Action("watch").trigger();
    }

    void WaitUntilFreeTellsWhenTheLastHolderHasEnded() {
        const std::string path = m_dir->File("awaited.txt");
        Holder holder({"read", path});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        window.Action("waitFree").trigger();
        QVERIFY(window.Action("waitFree").isChecked());
        QVERIFY(NextSearchShown(window));
        QCOMPARE(Pids(window), QList<pid_t>{holder.Pid()});
        QVERIFY(!window.StateText().contains(QStringLiteral("free now")));
        holder.Wait();
        QTRY_VERIFY_WITH_TIMEOUT(!window.Action("waitFree").isChecked(), 8000);
        QCOMPARE(window.Model().rowCount(), 0);
        // One rule with fencat -w: free (0) only where every process was
        // examined; otherwise (3) free among those examined, and not called free.
        const RunResult wait = RunProgram({FENCAT_BINARY, "-w", path});
        QVERIFY2(wait.status == 0 || wait.status == 3, wait.err.c_str());
        const QString free = Canonical(path) + QStringLiteral(" is free now.");
        if (wait.status == 0) {
            QCOMPARE(window.StateText(), free);
        } else {
            QVERIFY2(window.StateText().startsWith(QStringLiteral("No process that could be examined uses %1 now, but ")
                                                       .arg(Canonical(path))), qPrintable(window.StateText()));
            QVERIFY(!window.StateText().contains(QStringLiteral("free")));
            QVERIFY(window.Action("checkAll").isEnabled());
        }
        QCOMPARE(window.statusBar()->currentMessage(), window.StateText());
    }

    // What can be done with a row

    // A row whose process could not be held (one that a check as root
    // found, say) has nothing safe to signal: its process ID alone may be
    // another's by now.
    void EndProcessNeverSignalsAProcessItCouldNotHold() {
        const std::string path = m_dir->File("unheld.txt");
        Holder holder({"read", path});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();
        Finding unheld;
        unheld.kind = Finding::Kind::Handle;
        unheld.pid = static_cast<uint32_t>(holder.Pid());
        unheld.processName = "fencat_test_holder";
        unheld.path = path;
        unheld.access = Finding::kOpen;
        window.Model().Update({unheld});
        QVERIFY(SelectPid(window, holder.Pid()));
        MessageBoxAnswers answers({QStringLiteral("End Process")});
        window.Action("endProcess").trigger();
        QCOMPARE(answers.seen.size(), 1);
        QVERIFY2(window.statusBar()->currentMessage().contains(QStringLiteral("could not be held")),
                 qPrintable(window.statusBar()->currentMessage()));
        QTest::qWait(200);
        QVERIFY(Alive(holder.Pid()));
    }

    void EndProcessEndsItsHolderAndNoOther() {
        const std::string path = m_dir->File("ended.txt");
        Holder target({"read", path}), bystander({"read", path});
        QVERIFY(target.Ready() && bystander.Ready());
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        if (!window.Model().Row(0).process) QSKIP("the search does not hold the processes it finds here");
        QVERIFY(SelectPid(window, target.Pid()));
        MessageBoxAnswers answers({QStringLiteral("End Process")});
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        window.Action("endProcess").trigger();
        const int status = target.Wait(false);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        QVERIFY(shown.wait(EndProcess::kGraceMilliseconds + 10000));
        QCOMPARE(answers.seen.size(), 1);  // it ended: no offer to kill it
        QVERIFY(Alive(bystander.Pid()));
        QCOMPARE(Pids(window), QList<pid_t>{bystander.Pid()});
    }

    void AHolderThatIgnoresTermIsKilledWhenTheUserSaysSo() {
        const std::string path = m_dir->File("stubborn.txt");
        // An ignored signal stays ignored across exec.
        Holder stubborn({"-c", "trap '' TERM; exec \"$0\" read \"$1\"", HOLDER_BINARY, path}, "/bin/sh");
        QVERIFY(stubborn.Ready());
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        if (!window.Model().Row(0).process) QSKIP("the search does not hold the processes it finds here");
        QVERIFY(SelectPid(window, stubborn.Pid()));
        MessageBoxAnswers answers({QStringLiteral("End Process"), QStringLiteral("Kill")});
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        window.Action("endProcess").trigger();
        QVERIFY(shown.wait(EndProcess::kGraceMilliseconds + 10000));
        QCOMPARE(answers.seen.size(), 2);
        QVERIFY2(answers.seen[1].contains(QStringLiteral("is still running. Kill it?")), qPrintable(answers.seen[1]));
        const int status = stubborn.Wait(false);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }

    void CopyGivesDecimalPidsTheRowsOrAll() {
        const std::string path = m_dir->File("copied.txt");
        Holder first({"read", path}), second({"read", path});
        QVERIFY(first.Ready() && second.Ready());
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        window.Table().selectAll();
        QTest::keyClick(&window.Table(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("%1 %2").arg(Pids(window)[0]).arg(Pids(window)[1]));
        QTest::keyClick(&window.Table(), Qt::Key_C, Qt::ControlModifier);
        const QStringList rows = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows[0].startsWith(QStringLiteral("%1\t%2\t").arg(Pids(window)[0]).arg(kHolderName)));
        QVERIFY(rows[0].endsWith(u'\t' + Canonical(path)));
        window.Action("copyAll").trigger();
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("PID\tProcess\tUser\tUse\tDescriptor\tPath\n")));
        QCOMPARE(QGuiApplication::clipboard()->text().count(u'\n'), 3);
        // Enter copies the row it is on.
        QVERIFY(SelectPid(window, second.Pid()));
        QTest::keyClick(&window.Table(), Qt::Key_Return);
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(QString::number(second.Pid()) + u'\t'));
        QVERIFY(window.isVisible());
    }

    void OpenContainingFolderAsksTheFileManagerToShowTheFile() {
        if (!QDBusConnection::sessionBus().isConnected()) QSKIP("no session bus (run the tests under dbus-run-session)");
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("file-manager"));
        FakeFileManager fileManager;
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        // The token the window was started with goes on, so that the file
        // manager may come to the front.
        qputenv("XDG_ACTIVATION_TOKEN", "tolvar-fencat-token");
        KeepActivationToken();
        qunsetenv("XDG_ACTIVATION_TOKEN");
        const std::string path = m_dir->File("shown in its folder.txt");
        Holder holder({"read", path});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        QVERIFY(SelectPid(window, holder.Pid()));
        QTest::keyClick(&window.Table(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(fileManager.shown, QStringList{QUrl::fromLocalFile(Canonical(path)).toString(QUrl::FullyEncoded)}, 5000);
        QCOMPARE(fileManager.startupId, QStringLiteral("tolvar-fencat-token"));
        bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("file-manager"));
        // With none on the bus and no other way to open the folder, the
        // user is told so in plain words, not in the bus's.
        const FakePrograms nothing(false);
        window.statusBar()->clearMessage();
        window.Action("openFolder").trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.statusBar()->currentMessage().isEmpty(), 10000);
        QVERIFY2(window.statusBar()->currentMessage().startsWith(QStringLiteral("No file manager answered")) &&
                     !window.statusBar()->currentMessage().contains(QStringLiteral("freedesktop")),
                 qPrintable(window.statusBar()->currentMessage()));
    }

    void CheckAllMergesWhatFencatFindsAsRoot() {
        const std::string path = m_dir->File("checked.txt");
        Holder holder({"write", path});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        window.Model().Clear();  // as if the holder had been another user's
        FakePrograms programs;
        const std::string arguments = programs.Path() + "/arguments";
        programs.Add("pkexec", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + arguments + "'\nexec \"$@\"\n");
        std::filesystem::create_symlink(FENCAT_BINARY, programs.Path() + "/fencat");
        window.Action("checkAll").setEnabled(true);
        window.Action("checkAll").trigger();
        QTRY_VERIFY_WITH_TIMEOUT(window.StateText().startsWith(QStringLiteral("Checked as root")), 10000);
        QVERIFY2(QRegularExpression(QStringLiteral("^Checked as root at \\d\\d:\\d\\d:\\d\\d: 1 process uses %1\\.")
                                        .arg(QRegularExpression::escape(Canonical(path))))
                     .match(window.StateText()).hasMatch(),
                 qPrintable(window.StateText()));
        QCOMPARE(Pids(window), QList<pid_t>{holder.Pid()});
        // Marked as root's finding, with when.
        QVERIFY2(window.Model().index(0, FindingsModel::kUse).data().toString().startsWith(
                     QStringLiteral("open for writing (as root, ")),
                 qPrintable(window.Model().index(0, FindingsModel::kUse).data().toString()));
        std::ifstream given(arguments);
        std::string line, all;
        while (std::getline(given, line)) all += line + "|";
        QCOMPARE(QString::fromStdString(all), QStringLiteral("%1|--json|--|%2|").arg(
                                                  QString::fromStdString((programs.Path() + "/fencat")), Canonical(path)));
    }

    void WithoutPkexecCheckAllSaysHowToRunAsRoot() {
        const std::string path = m_dir->File("unchecked.txt");
        FencatWindow& window = Shown();
        QVERIFY(Searched(window, {path}));
        const QString answer = window.StateText();
        const FakePrograms onlyThese(false);
        window.Action("checkAll").setEnabled(true);
        window.Action("checkAll").trigger();
        QCOMPARE(window.CheckProblemText(), QStringLiteral("pkexec is not installed. To see every process, run in a "
                                                           "terminal: sudo fencat -v -- '%1'").arg(Canonical(path)));
        // The answer and the offer stay.
        QCOMPARE(window.StateText(), answer);
        QVERIFY(window.Action("checkAll").isEnabled());
    }

    // The window itself

    void KeepOnTopTogglesTheHintOnTheSameWindow() {
        FencatWindow& window = Shown();
        const WId native = window.winId();
        for (const bool expected : {true, false}) {
            QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
            QCOMPARE(window.Action("keepOnTop").isChecked(), expected);
            QCOMPARE(window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), expected);
            QCOMPARE(window.winId(), native);
            QVERIFY(window.isVisible());
        }
    }

    void AboutShowsTheVersionAndTheLicence() {
        FencatWindow& window = Shown();
        MessageBoxAnswers answers({QStringLiteral("&Close"), QStringLiteral("Close")});
        QTest::keyClick(&window, Qt::Key_F1);
        QCOMPARE(answers.seen.size(), 1);
        QVERIFY2(answers.seen[0].contains(QStringLiteral(FENCAT_VERSION)), qPrintable(answers.seen[0]));
        QVERIFY(answers.seen[0].contains(QStringLiteral("Licence")));
        QVERIFY(window.isVisible());
    }

    void CtrlWClosesTheWindowAndItsSizeIsKept() {
        FencatWindow& window = Shown();
        window.resize(700, 400);
        QTest::keyClick(&window.Table(), Qt::Key_W, Qt::ControlModifier);
        QVERIFY(!window.isVisible());
        FencatWindow again;
        QCOMPARE(again.size(), QSize(700, 400));
    }

    void EveryControlHasAnAccessibleName() {
        FencatWindow& window = Shown();
        QStringList unnamed;
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            if (!widget->isVisible() || widget->focusPolicy() == Qt::NoFocus) continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            if (accessible == nullptr || accessible->text(QAccessible::Name).isEmpty())
                unnamed << widget->metaObject()->className() + (u' ' + widget->objectName());
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        QCOMPARE(QAccessible::queryAccessibleInterface(&window.Table())->text(QAccessible::Name),
                 QStringLiteral("Processes that use the files"));
    }
};

QObject* NewWindowTest() { return new WindowTest; }

#include "WindowTest.moc"
