// The ways into a search (the path field and its completion, the choice of
// a name in any folder, drops on the window and on the field), the filter
// over the table, and the order the keyboard goes through it all.
#include <pwd.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <filesystem>

#include "Processes.h"
#include "WindowDriver.h"
#include "app/qt/FencatWindow.h"
#include "app/qt/ResultTable.h"

namespace {

QString Canonical(const std::string& path) { return QString::fromStdString(std::filesystem::canonical(path).string()); }

QStringList Completions(QCompleter& completer) {
    QStringList shown;
    for (int row = 0; completer.setCurrentRow(row); ++row) shown << completer.currentCompletion();
    return shown;
}

}  // namespace

class InputTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FencatWindow> m_window;

    FencatWindow& Shown() {
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get())) qWarning("the window did not become active");
        return *m_window;
    }

private slots:
    void init() { m_window = std::make_unique<FencatWindow>(); }
    void cleanup() { m_window.reset(); }

    // Drops

    void ARefusedDropSaysWhyAndKeepsTheAnswer() {
        TempDir dir;
        const std::string path = dir.File("kept.txt");
        FencatWindow& window = Shown();
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        window.Search({TargetFromPath(path)});
        QVERIFY(shown.wait(10000));
        const QString answer = window.StateText();
        QCOMPARE(DragAndDrop(window, {QUrl(QStringLiteral("https://tolvar-fencat.invalid/file.txt"))}),
                 Qt::IgnoreAction);
        QVERIFY2(window.NoticeText().contains(QStringLiteral("https://tolvar-fencat.invalid/file.txt is not a file on "
                                                             "this computer")), qPrintable(window.NoticeText()));
        QCOMPARE(DragAndDrop(window, {}), Qt::IgnoreAction);
        QCOMPARE(DragAndDrop(window, FileUrls({QString::fromStdString(path)}), Qt::MoveAction), Qt::IgnoreAction);
        QVERIFY2(window.NoticeText().contains(QStringLiteral("never moves a file")), qPrintable(window.NoticeText()));
        QCOMPARE(window.StateText(), answer);
        QCOMPARE(shown.size(), 1);
        // A new look leaves what was said of the drop, and of anything else, behind.
        window.statusBar()->showMessage(QStringLiteral("said before"));
        window.Action("refresh").trigger();
        QVERIFY(window.NoticeText().isEmpty());
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
    }

    void ADropOnThePathFieldSearchesWhatWasDropped() {
        TempDir dir;
        const std::string path = dir.File("dropped on the field.txt");
        Holder holder({"read", path});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        QCOMPARE(DragAndDrop(window.PathField(), FileUrls({QString::fromStdString(path)})), Qt::CopyAction);
        QVERIFY(shown.wait(10000));
        QCOMPARE(Pids(window), QList<pid_t>{holder.Pid()});
        QCOMPARE(window.PathField().text(), Canonical(path));
        // Of a drop in part elsewhere, the local files are searched and the rest told of.
        QCOMPARE(DragAndDrop(window.PathField(), {QUrl(QStringLiteral("sftp://host.invalid/a")),
                                                  QUrl::fromLocalFile(QString::fromStdString(path))}),
                 Qt::CopyAction);
        QVERIFY(shown.wait(10000));
        QCOMPARE(Pids(window), QList<pid_t>{holder.Pid()});
        QVERIFY2(window.NoticeText().startsWith(QStringLiteral("1 of the drop was not searched")),
                 qPrintable(window.NoticeText()));
    }

    // The path field

    void TildeAndTildeUserAreCompletedAndSearched() {
        TempDir home;
        home.File("alpha.txt");
        home.File("alps.txt");
        home.File("beta.txt");
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.Path()));
        FencatWindow& window = Shown();
        QLineEdit& field = window.PathField();
        field.setFocus();
        QTest::keyClicks(&field, QStringLiteral("~/al"));
        QTRY_COMPARE_WITH_TIMEOUT(Completions(*field.completer()),
                                  (QStringList{QStringLiteral("~/alpha.txt"), QStringLiteral("~/alps.txt")}), 5000);
        const passwd* me = getpwuid(getuid());
        QVERIFY(me != nullptr);
        const QString user = QString::fromLocal8Bit(me->pw_name);
        field.clear();
        QTest::keyClicks(&field, u'~' + user.left(2));
        QTRY_VERIFY_WITH_TIMEOUT(Completions(*field.completer()).contains(u'~' + user + u'/'), 5000);
        qputenv("HOME", oldHome);
    }

    void ByNameFindsTheNameInAnyFolder() {
        TempDir dir;
        std::filesystem::create_directories(dir.Path() + "/deep/er");
        const std::string name = "only-here-" + std::to_string(getpid()) + ".txt";
        Holder holder({"read", dir.File("deep/er/" + name)});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();
        window.findChild<QCheckBox*>(QStringLiteral("byName"))->setChecked(true);
        window.PathField().setText(QString::fromStdString(name));
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        QTest::keyClick(&window.PathField(), Qt::Key_Return);
        QVERIFY(shown.wait(10000));
        QCOMPARE(Pids(window), QList<pid_t>{holder.Pid()});
        QVERIFY2(window.StateText().startsWith(QStringLiteral("1 process uses %1.").arg(QString::fromStdString(name))),
                 qPrintable(window.StateText()));
    }

    // The table

    void TheFilterShowsOnlyTheRowsThatContainIt() {
        TempDir dir;
        const std::string first = dir.File("first-filtered.txt"), second = dir.File("second-filtered.txt");
        Holder holdsFirst({"read", first}), holdsSecond({"read", second});
        QVERIFY(holdsFirst.Ready() && holdsSecond.Ready());
        FencatWindow& window = Shown();
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        window.Search({TargetFromPath(dir.Path())});
        QVERIFY(shown.wait(10000));
        QCOMPARE(Pids(window).size(), 2);
        auto* filter = window.findChild<QLineEdit*>(QStringLiteral("filter"));
        QTest::keyClicks(filter, QStringLiteral("SECOND-f"));
        QCOMPARE(Pids(window), QList<pid_t>{holdsSecond.Pid()});
        filter->setText(QStringLiteral("first-f"));
        QCOMPARE(Pids(window), QList<pid_t>{holdsFirst.Pid()});
        filter->clear();
        QCOMPARE(Pids(window).size(), 2);
    }

    // The keyboard

    void TabGoesInTheOrderSeenAndTheTableSelectsTheRowItLandsOn() {
        TempDir dir;
        const std::string path = dir.File("tabbed.txt");
        Holder first({"read", path}), second({"read", path});
        QVERIFY(first.Ready() && second.Ready());
        FencatWindow& window = Shown();
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        window.Search({TargetFromPath(path)});
        QVERIFY(shown.wait(10000));
        window.PathField().setFocus(Qt::TabFocusReason);
        // Check All is there where some process could not be examined.
        QStringList expected{QStringLiteral("By &name in any folder"), QStringLiteral("&Search"),
                             QStringLiteral("&Open…"), QStringLiteral("Open F&older…")};
        if (window.findChild<QWidget*>(QStringLiteral("checkAllButton"))->isVisible())
            expected << QStringLiteral("&Check All…");
        expected << QStringLiteral("filter") << QStringLiteral("results");
        QStringList order;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            const QString text = focused->property("text").toString();
            order << (text.isEmpty() ? focused->objectName() : text);
        }
        QCOMPARE(order, expected);
        const QModelIndexList selected = window.Table().selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.front().row(), 0);
        QTest::keyClick(&window.Table(), Qt::Key_Down);
        QCOMPARE(window.Table().selectionModel()->selectedRows().front().row(), 1);
    }
};

QObject* NewInputTest() { return new InputTest; }

#include "InputTest.moc"
