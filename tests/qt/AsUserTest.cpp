// The window as an ordinary user has it (as_user.sh makes that world: Xvfb,
// a user that is not root, holders of root and of nobody, the real pkexec and
// polkitd): each answer to its own question, "free" only where every process
// was examined, root's findings kept honestly, failures that keep the answer,
// the keys of a desktop's main window, and other users' processes ended with
// the administrator's rights. What the window says is read over AT-SPI.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QLineEdit>
#include <QProcess>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Processes.h"
#include "WindowDriver.h"
#include "app/qt/FencatWindow.h"
#include "app/qt/ResultTable.h"
#include "search/Diagnostics.h"

namespace {

// Holders of root and of nobody, started by as_user.sh's service.
class HolderService {
public:
    // USER is "root" or "nobody"; PATH "-" holds nothing. The holder's PID, or 0.
    pid_t Start(const char* user, const std::string& path) { return Ask(user, path).toInt(); }
    bool Kill(pid_t pid) { return Ask("kill", std::to_string(pid)) == QLatin1String("done"); }

private:
    QString Ask(const char* verb, const std::string& argument) {
        const std::string dir = qEnvironmentVariable("FENCAT_HOLDER_SERVICE").toStdString();
        const std::string id = std::to_string(getpid()) + "-" + std::to_string(++m_asked);
        std::ofstream(dir + "/requests") << id << ' ' << verb << ' ' << argument << std::endl;
        const std::string reply = dir + "/reply." + id;
        for (int i = 0; i < 200 && !std::filesystem::exists(reply); ++i) QTest::qWait(50);
        std::ifstream in(reply);
        std::string text;
        std::getline(in, text);
        return QString::fromStdString(text);
    }
    int m_asked = 0;
};

// Running and no zombie, whoever's it is.
bool Running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text) || text.rfind(')') == std::string::npos) return false;
    const char state = text[text.rfind(')') + 2];
    return state != 'Z' && state != 'X';
}

// The texts of the window's labels as a screen reader has them.
QStringList Spoken() {
    QProcess reader;
    QSignalSpy ended(&reader, &QProcess::finished);
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(FENCAT_SOURCE_DIR "/tests/qt/atspi_labels.py"),
                                                      QCoreApplication::applicationName()});
    // The event loop runs meanwhile: the window answers the reader.
    if (!ended.wait(20000)) reader.kill();
    return QString::fromUtf8(reader.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// A folder first on PATH with fencat, and a stand-in pkexec where asked.
class Programs {
public:
    Programs() : m_path(qgetenv("PATH")) {
        std::filesystem::create_symlink(FENCAT_BINARY, m_dir.Path() + "/fencat");
        qputenv("PATH", (QString::fromStdString(m_dir.Path()) + u':' + m_path).toLocal8Bit());
    }
    ~Programs() { qputenv("PATH", m_path.toLocal8Bit()); }
    void StandInPkexec(const std::string& script) const {
        std::filesystem::permissions(m_dir.File("pkexec", "#!/bin/sh\n" + script), std::filesystem::perms::owner_all);
    }
    void RealPkexec() const { std::filesystem::remove(m_dir.Path() + "/pkexec"); }
    std::string Path() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    QString m_path;
};

// One click activates a row, as KDE's style has it.
class SingleClickStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_ItemView_ActivateItemOnSingleClick) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

QList<pid_t> Sorted(QList<pid_t> pids) {
    std::sort(pids.begin(), pids.end());
    return pids;
}

// The window as drawn, for a person to look at.
void Picture(QWidget& window, const char* name) {
    const QString folder = qEnvironmentVariable("FENCAT_SHOTS");
    if (!folder.isEmpty()) window.grab().save(folder + u'/' + QLatin1String(name) + QStringLiteral(".png"));
}

bool FencatHasPidOption() { return RunProgram({FENCAT_BINARY, "--help"}).out.find("--pid") != std::string::npos; }

}  // namespace

class AsUserTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FencatWindow> m_window;
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<Programs> m_programs;
    HolderService m_service;
    std::vector<pid_t> m_started;

    // A file in a folder that root's and nobody's holders can reach.
    std::string File(const std::string& name) {
        const std::string path = m_dir->File(name);
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                               std::filesystem::perms::group_read | std::filesystem::perms::others_read);
        return path;
    }
    pid_t HeldBy(const char* user, const std::string& path) {
        const pid_t pid = m_service.Start(user, path);
        if (pid > 0) m_started.push_back(pid);
        return pid;
    }
    FencatWindow& Searched(const std::string& path) {
        m_window->show();
        QSignalSpy shown(m_window.get(), &FencatWindow::SearchDone);
        m_window->Search({TargetFromPath(path)});
        if (!shown.wait(10000)) qWarning("no answer to the search");
        return *m_window;
    }
    // Check All as the user would, and the answer.
    bool Checked(FencatWindow& window) {
        window.Action("checkAll").trigger();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000 && !window.StateText().startsWith(QStringLiteral("Checked as root at ")) &&
               window.CheckProblemText().isEmpty())
            QTest::qWait(50);
        return window.StateText().startsWith(QStringLiteral("Checked as root at "));
    }
    bool SaysAloud(const QString& text) {
        const QStringList spoken = Spoken();
        if (spoken.contains(text)) return true;
        qWarning("not read over AT-SPI: %s\nread: %s", qPrintable(text), qPrintable(spoken.join(u'|')));
        return false;
    }

private slots:
    void initTestCase() {
        QVERIFY2(geteuid() != 0, "these tests are about a user who is not root");
        QVERIFY2(!qEnvironmentVariable("FENCAT_HOLDER_SERVICE").isEmpty(), "run by as_user.sh");
    }
    void init() {
        m_dir = std::make_unique<TempDir>();
        std::filesystem::permissions(m_dir->Path(), std::filesystem::perms::owner_all |
                                                        std::filesystem::perms::group_exec | std::filesystem::perms::others_exec);
        m_programs = std::make_unique<Programs>();
        m_window = std::make_unique<FencatWindow>();
    }
    void cleanup() {
        m_window.reset();
        for (const pid_t pid : m_started) m_service.Kill(pid);
        m_started.clear();
        m_programs.reset();
        m_dir.reset();
    }

    // A check as root that answers after a new search answers nothing.
    void ALateCheckAsRootAfterANewSearchIsDropped() {
        const std::string first = File("Quarterly-report.txt"), second = File("notes.md");
        QVERIFY(HeldBy("root", first) > 0);
        Holder own({"read", second});
        QVERIFY(own.Ready());
        const std::string done = m_programs->Path() + "/done";
        m_programs->StandInPkexec("sleep 2\n/usr/bin/pkexec \"$@\"\nstatus=$?\ntouch '" + done + "'\nexit $status\n");
        FencatWindow& window = Searched(first);
        QVERIFY(window.Action("checkAll").isEnabled());
        window.Action("checkAll").trigger();
        Searched(second);
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(done), 15000);
        QTest::qWait(500);
        QCOMPARE(Pids(window), QList<pid_t>{own.Pid()});
        QVERIFY2(window.StateText().startsWith(QStringLiteral("1 process uses %1.").arg(QString::fromStdString(second))),
                 qPrintable(window.StateText()));
        QVERIFY(SaysAloud(window.StateText()));
    }

    // Free only as fencat -w has it; root's rows that no look could see
    // again are never taken for gone.
    void FreeIsSaidOnlyWhereEveryProcessWasExamined() {
        const std::string path = File("shared.txt");
        Holder own({"read", path});
        const pid_t root = HeldBy("root", path), nobody = HeldBy("nobody", path);
        QVERIFY(own.Ready() && root > 0 && nobody > 0);
        FencatWindow& window = Searched(path);
        QCOMPARE(Pids(window), QList<pid_t>{own.Pid()});
        window.Action("waitFree").trigger();
        QVERIFY(NextSearchShown(window));
        own.Wait();
        QTRY_VERIFY_WITH_TIMEOUT(!window.Action("waitFree").isChecked(), 10000);
        const QString said = window.StateText();
        QVERIFY2(said.startsWith(QStringLiteral("No process that could be examined uses %1 now, but ")
                                     .arg(QString::fromStdString(path))) && !said.contains(QStringLiteral("free")),
                 qPrintable(said));
        QCOMPARE(window.statusBar()->currentMessage(), said);
        QVERIFY(window.Action("checkAll").isEnabled());
        QVERIFY(SaysAloud(said));
        QCOMPARE(RunProgram({FENCAT_BINARY, "-w", path}).status, 3);

        QVERIFY2(Checked(window), qPrintable(window.CheckProblemText()));
        QCOMPARE(Pids(window).size(), 2);
        QVERIFY(Pids(window).contains(root) && Pids(window).contains(nobody));
        window.Action("waitFree").trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.Action("waitFree").isChecked(), 10000);
        QVERIFY2(window.StateText().contains(QStringLiteral("2 processes found by the check as root at ")) &&
                     window.StateText().endsWith(QStringLiteral("could not be looked at again.")),
                 qPrintable(window.StateText()));
        QVERIFY(!window.StateText().contains(QStringLiteral("free")));
        QCOMPARE(Pids(window).size(), 2);
        Picture(window, "root-rows-after-wait");
    }

    // Marked as root's, with when; kept across a Refresh; gone only once a
    // look that could see the process finds it gone.
    void RootsRowsStayUntilALookThatCouldSeeThemDecides() {
        const std::string path = File("kept.txt");
        Holder own({"read", path});
        const pid_t root = HeldBy("root", path);
        QVERIFY(own.Ready() && root > 0);
        FencatWindow& window = Searched(path);
        QVERIFY(Checked(window));
        QCOMPARE(Sorted(Pids(window)), Sorted({own.Pid(), root}));
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        QTest::keyClick(&window.Table(), Qt::Key_F5);
        QVERIFY(shown.wait(10000));
        QCOMPARE(Sorted(Pids(window)), Sorted({own.Pid(), root}));
        QVERIFY2(window.StateText().contains(QStringLiteral("1 process found by the check as root at ")),
                 qPrintable(window.StateText()));
        QVERIFY(m_service.Kill(root));
        QTRY_VERIFY_WITH_TIMEOUT(!Running(root), 5000);
        QTest::keyClick(&window.Table(), Qt::Key_F5);
        QVERIFY(shown.wait(10000));
        QCOMPARE(Pids(window), QList<pid_t>{own.Pid()});

        // What the same holder shows to its own user's look.
        const pid_t reader = HeldBy("root", path);
        QVERIFY(reader > 0 && Checked(window));
        QVERIFY(SelectPid(window, reader));
        const int row = window.Table().currentIndex().row();
        const QString use = window.Table().model()->index(row, FindingsModel::kUse).data().toString();
        QVERIFY2(use.startsWith(QStringLiteral("open for reading (as root, ")), qPrintable(use));
    }

    // Not authorised (the real polkit says no) or dismissed: the answer and
    // the offer stay, the reason beside them; a new look clears it.
    void AFailedCheckAsRootKeepsTheAnswer() {
        const std::string path = File("not-authorised.txt");
        Holder own({"read", path});
        QVERIFY(own.Ready());
        FencatWindow& window = Searched(path);
        const QString answer = window.StateText();
        for (const bool dismissed : {false, true}) {
            if (dismissed) m_programs->StandInPkexec("exit 126\n");
            QVERIFY(!Checked(window));
            QCOMPARE(window.CheckProblemText(), dismissed ? QStringLiteral("The check as root was dismissed.")
                                                          : QStringLiteral("The check as root was not authorised."));
            QCOMPARE(window.StateText(), answer);
            QCOMPARE(Pids(window), QList<pid_t>{own.Pid()});
            QVERIFY(window.Action("checkAll").isEnabled());
            QVERIFY(window.statusBar()->currentMessage().isEmpty());
            QVERIFY(SaysAloud(window.CheckProblemText()));
        }
        Picture(window, "check-dismissed");
        window.statusBar()->showMessage(QStringLiteral("an old message"));
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        window.Action("refresh").trigger();
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
        QVERIFY(window.CheckProblemText().isEmpty());
        QVERIFY(shown.wait(10000));
    }

    // A folder this user may not enter: Check All is offered, and root looks.
    void APermissionDeniedStateOffersCheckAll() {
        const std::string folder = m_dir->Path() + "/closed";
        std::filesystem::create_directory(folder);
        const std::string path = m_dir->File("closed/inside.txt");
        Holder own({"read", path});
        QVERIFY(own.Ready());
        std::filesystem::permissions(folder, std::filesystem::perms::none);
        FencatWindow& window = Searched(path);
        const bool offered = window.Action("checkAll").isEnabled();
        Picture(window, "permission-denied");
        const bool checked = Checked(window);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        QVERIFY2(window.StateText().contains(QStringLiteral("Permission denied")) || checked, qPrintable(window.StateText()));
        QVERIFY(offered);
        QVERIFY2(checked, qPrintable(window.CheckProblemText()));
        QCOMPARE(Pids(window), QList<pid_t>{own.Pid()});
    }

    // Esc cancels the popup, the field's edit or the wait, never the window;
    // Ctrl+Q closes it. One click never copies, whatever the style.
    void KeysAreThoseOfADesktopsMainWindow() {
        const std::string path = File("keys.txt");
        Holder own({"read", path});
        QVERIFY(own.Ready());
        FencatWindow& window = Searched(path);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QLineEdit& field = window.PathField();
        field.setFocus();
        // The folders' model reads "/" only once asked.
        QTest::keyClick(&field, Qt::Key_Slash);
        QTest::qWait(500);
        QTest::keyClicks(&field, QStringLiteral("us"));
        QTRY_VERIFY_WITH_TIMEOUT(field.completer()->popup()->isVisible(), 5000);
        QTest::keyClick(field.completer()->popup(), Qt::Key_Escape);
        QTRY_VERIFY(!field.completer()->popup()->isVisible());
        QCOMPARE(field.text(), QStringLiteral("/us"));
        QTest::keyClick(&field, Qt::Key_Escape);
        QCOMPARE(field.text(), QString());
        QTest::keyClick(&field, Qt::Key_Escape);
        window.Action("waitFree").trigger();
        QVERIFY(NextSearchShown(window));
        QTest::keyClick(&window.Table(), Qt::Key_Escape);
        QVERIFY(!window.Action("waitFree").isChecked());
        QVERIFY(window.isVisible());

        SingleClickStyle style;
        window.Table().setStyle(&style);
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        const QRect cell = window.Table().visualRect(window.Table().model()->index(0, 1));
        QTest::mouseClick(window.Table().viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QTest::qWait(200);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
        QTest::mouseDClick(window.Table().viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QTRY_VERIFY(QGuiApplication::clipboard()->text().startsWith(QString::number(own.Pid()) + u'\t'));
        window.Table().setStyle(nullptr);
        QTest::keyClick(&window.Table(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window.isVisible());
    }

    // pkexec fencat -k -TERM --pid: root's holder ends, nobody's stays; and
    // a PID that another process has taken since ends nothing.
    void EndAsAdministratorEndsOnlyWhatRootFindsUsingTheFile() {
        if (!FencatHasPidOption()) QSKIP("fencat has no --pid here yet");
        const std::string path = File("ended.txt");
        const pid_t root = HeldBy("root", path), nobody = HeldBy("nobody", path), idle = HeldBy("nobody", "-");
        QVERIFY(root > 0 && nobody > 0 && idle > 0);
        FencatWindow& window = Searched(path);
        QVERIFY(Checked(window));
        QVERIFY(SelectPid(window, root));
        const QModelIndex user = window.Table().model()->index(window.Table().currentIndex().row(), FindingsModel::kUser);
        QVERIFY2(user.data(Qt::ToolTipRole).toString().contains(QStringLiteral("needs the administrator")),
                 qPrintable(user.data(Qt::ToolTipRole).toString()));
        QCOMPARE(window.Action("endProcess").text(), QStringLiteral("&End Process as Administrator…"));
        {
            MessageBoxAnswers answers({QStringLiteral("End as Administrator")});
            window.Action("endProcess").trigger();
            QCOMPARE(answers.seen.size(), 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!Running(root), 15000);
        QVERIFY(Running(nobody));
        QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage().startsWith(QStringLiteral("Asked ")), 5000);

        // The row says root found `idle` using the file: its PID is now a
        // process that does not.
        Finding stale;
        stale.kind = Finding::Kind::Handle;
        stale.pid = static_cast<uint32_t>(idle);
        stale.processName = "fencat_test_holder";
        stale.path = path;
        stale.uid = 0;
        stale.access = Finding::kOpen;
        window.Model().MergeFromRoot({stale}, QDateTime::currentDateTime());
        QVERIFY(SelectPid(window, idle));
        MessageBoxAnswers answers({QStringLiteral("End as Administrator")});
        window.Action("endProcess").trigger();
        QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage().contains(QStringLiteral("was not ended")), 15000);
        QVERIFY2(window.statusBar()->currentMessage().contains(QStringLiteral("no longer uses the file")),
                 qPrintable(window.statusBar()->currentMessage()));
        QVERIFY(Running(idle) && Running(nobody));
        // Root's look could see it, and did not find it using the file.
        QVERIFY(!Pids(window).contains(idle));
        Picture(window, "ended-as-administrator");
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fencat_window_user_tests"));
    // The window's trace is fencat-window's to print, not the tests'.
    DiscardDiagnostics();
    AsUserTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AsUserTest.moc"
