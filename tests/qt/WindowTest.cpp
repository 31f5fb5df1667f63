// The main window, offscreen: its layout and texts, drops from a file
// manager, the pin, the About box, closing and moving.
#include <QAbstractItemModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <filesystem>

#include "Processes.h"
#include "WindowDriver.h"
#include "app/qt/AboutBox.h"
#include "app/qt/DialogUnits.h"
#include "app/qt/FencatWindow.h"
#include "app/qt/Icons.h"

namespace {

const QString kHolderName = QStringLiteral("fencat_test_holder");

// The CONTROL texts and the caption of one dialog of the Windows program's
// resource script, in template order.
struct RcDialog {
    QString caption;
    QStringList controls;
};

RcDialog ReadRcDialog(const QString& name) {
    QFile file(QStringLiteral(FENCAT_SOURCE_DIR "/res/TolvarFencat.rc"));
    RcDialog dialog;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return dialog;
    const QString script = QString::fromLatin1(file.readAll());
    const qsizetype start = script.indexOf(name + QStringLiteral(" DIALOGEX"));
    const qsizetype end = script.indexOf(QRegularExpression(QStringLiteral("^END"), QRegularExpression::MultilineOption),
                                         start);
    if (start < 0 || end < 0) return dialog;
    const QString block = script.mid(start, end - start);
    const QRegularExpression caption(QStringLiteral("CAPTION \"([^\"]*)\""));
    dialog.caption = caption.match(block).captured(1);
    const QRegularExpression control(QStringLiteral("CONTROL\\s+(\"([^\"]*)\"|\\w+)"));
    for (auto it = control.globalMatch(block); it.hasNext();) dialog.controls.append(it.next().captured(2));
    return dialog;
}

QString RcString(const QString& id) {
    QFile file(QStringLiteral(FENCAT_SOURCE_DIR "/res/TolvarFencat.rc"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
    const QRegularExpression entry(id + QStringLiteral("\\s+\"([^\"]*)\""));
    return entry.match(QString::fromLatin1(file.readAll())).captured(1);
}

QImage IconImage(const QIcon& icon) { return icon.pixmap(16, 16).toImage(); }

// The About box that a modal run has open, read and closed from inside the
// run.
struct AboutSeen {
    bool opened = false;
    QString title;
    QStringList texts;
    bool hasIcon = false;
    QString button;
};

void CloseAboutWhenOpen(AboutSeen& seen) {
    QTimer::singleShot(0, [&seen] {
        auto* about = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
        if (about == nullptr) return;
        seen.opened = true;
        seen.title = about->windowTitle();
        for (QLabel* label : about->findChildren<QLabel*>()) {
            if (!label->pixmap().isNull()) seen.hasIcon = true;
            if (!label->text().isEmpty()) seen.texts.append(label->text());
        }
        auto* ok = about->findChild<QPushButton*>();
        if (ok == nullptr) return;
        seen.button = ok->text();
        QTest::mouseClick(ok, Qt::LeftButton);
    });
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FencatWindow> m_window;
    std::unique_ptr<TempDir> m_dir;

    FencatWindow& Shown() {
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowExposed(m_window.get())) qWarning("the window was not exposed");
        return *m_window;
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

    // Layout and texts

    void TheTextsAreThoseOfTheWindowsProgram() {
        const RcDialog main = ReadRcDialog(QStringLiteral("IDD_MAIN_WINDOW"));
        QCOMPARE(main.controls.size(), 4);
        QCOMPARE(m_window->windowTitle(), main.caption);
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Tolvar Fencat - Kitbench"));
        QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("webLine"))->text(), main.controls[1]);
        QCOMPARE(m_window->findChild<QGroupBox*>(QStringLiteral("usageGroup"))->title(), main.controls[2]);
        QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("usageText"))->text(), main.controls[3]);
        QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("usageText"))->text(),
                 QStringLiteral("Simply draq a file on this window to see, from which process(s) it is used."));

        const RcDialog about = ReadRcDialog(QStringLiteral("IDD_ABOUT_BOX"));
        QCOMPARE(about.controls.size(), 5);
        AboutBox box;
        QCOMPARE(box.windowTitle(), about.caption);
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("notice"))->text(), about.controls[1]);
        QCOMPARE(box.findChild<QPushButton*>(QStringLiteral("ok"))->text(), about.controls[2]);
        QCOMPARE(box.findChild<QLabel*>(QStringLiteral("web"))->text(), about.controls[3]);
        QVERIFY(m_window->AboutAction() != nullptr);
        QCOMPARE(m_window->AboutAction()->text(), RcString(QStringLiteral("IDS_ABOUT_ITEM")));
    }

    void TheWindowKeepsTheTemplatesProportions() {
        const DialogUnits units = DialogUnits::ForFont(m_window->font());
        QVERIFY(units.BaseX() > 0 && units.BaseY() > 0);
        FencatWindow& window = Shown();
        QCOMPARE(window.size(), units.Size(180, 161));
        QCOMPARE(window.minimumSize(), window.maximumSize());  // no sizing

        const QListWidget& list = window.ResultList();
        QCOMPARE(list.x(), 0);
        QCOMPARE(list.width(), window.width());
        QCOMPARE(list.y(), units.Y(54));
        QCOMPARE(list.geometry().bottom(), window.height() - 1);
        const QRect group = window.findChild<QGroupBox*>(QStringLiteral("usageGroup"))->geometry();
        QCOMPARE(group, units.Rect(6, 2, 168, 34));
        QVERIFY(group.bottom() < list.y());
        const QRect web = window.findChild<QLabel*>(QStringLiteral("webLine"))->geometry();
        QVERIFY(web.top() > group.bottom() && web.bottom() < list.y());
    }

    // Drops

    void ADroppedFileListsTheProcessThatHoldsIt() {
        const std::string path = m_dir->File("held.txt");
        Holder holder({"read", path});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();
        window.ResultList().addItem(QStringLiteral("a line of the last search"));

        // What the user sees while the search holds the thread.
        QList<int> rowsWhenPainted;
        QList<Qt::CursorShape> cursorWhenAppended;
        struct PaintSpy : QObject {
            QList<int>& rows;
            QListWidget& list;
            PaintSpy(QList<int>& r, QListWidget& l) : rows(r), list(l) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint) rows.append(list.count());
                return false;
            }
        } spy(rowsWhenPainted, window.ResultList());
        window.ResultList().viewport()->installEventFilter(&spy);
        connect(window.ResultList().model(), &QAbstractItemModel::rowsInserted, this, [&] {
            const QCursor* cursor = QApplication::overrideCursor();
            cursorWhenAppended.append(cursor != nullptr ? cursor->shape() : Qt::ArrowCursor);
        });

        QVERIFY(DragAndDrop(window, FileUrls({QString::fromStdString(path)})));

        QCOMPARE(Lines(window.ResultList()), QStringList{LineOf(holder.Pid(), kHolderName)});
        QVERIFY2(!rowsWhenPainted.isEmpty() && rowsWhenPainted.first() == 0,
                 "the emptied list is painted before the search writes to it");
        QCOMPARE(cursorWhenAppended, QList<Qt::CursorShape>{Qt::WaitCursor});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void OfSeveralDroppedFilesOnlyTheFirstIsSearched() {
        const std::string first = m_dir->File("first.txt"), second = m_dir->File("second.txt");
        Holder holdsFirst({"read", first});
        Holder holdsSecond({"read", second});
        Holder holdsBoth({"read", first, "read", second});
        QVERIFY(holdsFirst.Ready() && holdsSecond.Ready() && holdsBoth.Ready());
        FencatWindow& window = Shown();

        QVERIFY(DragAndDrop(window, FileUrls({QString::fromStdString(first), QString::fromStdString(second)})));

        QStringList lines = Lines(window.ResultList());
        lines.sort();
        QStringList expected{LineOf(holdsFirst.Pid(), kHolderName), LineOf(holdsBoth.Pid(), kHolderName)};
        expected.sort();
        QCOMPARE(lines, expected);
    }

    void ADropWithoutALocalFileChangesNothing() {
        FencatWindow& window = Shown();
        window.ResultList().addItem(QStringLiteral("a line of the last search"));
        const QStringList before = Lines(window.ResultList());

        QVERIFY(!DragAndDrop(window, {QUrl(QStringLiteral("https://tolvar-fencat.invalid/file.txt"))}));
        QVERIFY(!DragAndDrop(window, {}));
        QCOMPARE(Lines(window.ResultList()), before);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void TheFirstLocalFileOfAMixedDropIsSearched() {
        const std::string path = m_dir->File("mixed.txt");
        Holder holder({"read", path});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();

        QList<QUrl> urls{QUrl(QStringLiteral("https://tolvar-fencat.invalid/a.txt"))};
        urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        QVERIFY(DragAndDrop(window, urls));
        QCOMPARE(Lines(window.ResultList()), QStringList{LineOf(holder.Pid(), kHolderName)});
    }

    // The kernel names an open file by its real path; a file dropped through
    // a link is found all the same.
    void AFileDroppedThroughASymbolicLinkIsFound() {
        const std::string path = m_dir->File("target.txt");
        const std::string link = m_dir->Path() + "/link.txt";
        std::filesystem::create_symlink(path, link);
        Holder holder({"read", path});
        QVERIFY(holder.Ready());
        FencatWindow& window = Shown();

        QVERIFY(DragAndDrop(window, FileUrls({QString::fromStdString(link)})));
        QCOMPARE(Lines(window.ResultList()), QStringList{LineOf(holder.Pid(), kHolderName)});
    }

    void ADroppedFileThatNobodyUsesEmptiesTheList() {
        const std::string path = m_dir->File("unused.txt");
        FencatWindow& window = Shown();
        window.ResultList().addItem(QStringLiteral("a line of the last search"));
        QVERIFY(DragAndDrop(window, FileUrls({QString::fromStdString(path)})));
        QCOMPARE(window.ResultList().count(), 0);
    }

    void AFileNamedAtStartIsSearchedOnceTheWindowIsUp() {
        const std::string path = m_dir->File("at-start.txt");
        Holder holder({"read", path});
        QVERIFY(holder.Ready());
        QSignalSpy done(m_window.get(), &FencatWindow::SearchDone);
        m_window->SetStartupFile(QString::fromStdString(path));
        QCOMPARE(done.count(), 0);
        Shown();
        QVERIFY(done.wait(5000) || done.count() == 1);
        QCOMPARE(Lines(m_window->ResultList()), QStringList{LineOf(holder.Pid(), kHolderName)});
        QTest::qWait(50);
        QCOMPARE(done.count(), 1);
    }

    // The pin

    void ThePinTogglesKeepAboveAndTheIconTwiceBackToTheStart() {
        const QImage pinned = IconImage(icons::Pinned()), unpinned = IconImage(icons::Unpinned());
        QVERIFY(!pinned.isNull() && !unpinned.isNull());
        QVERIFY(pinned != unpinned);
        FencatWindow& window = Shown();
        const WId native = window.winId();
        auto onTop = [&window] {
            const bool widget = window.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            const bool system = window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
            return widget && system ? 1 : !widget && !system ? 0 : -1;
        };

        QVERIFY(!window.Pinned());
        QCOMPARE(onTop(), 0);
        QCOMPARE(IconImage(window.windowIcon()), unpinned);
        QVERIFY(!window.PinAction().isChecked());

        for (bool expected : {true, false, true, false}) {
            window.PinAction().trigger();
            QCOMPARE(window.Pinned(), expected);
            QCOMPARE(onTop(), expected ? 1 : 0);
            QCOMPARE(IconImage(window.windowIcon()), expected ? pinned : unpinned);
            QCOMPARE(window.PinAction().isChecked(), expected);
            // The same window, still on screen: the flag changed in place.
            QVERIFY(window.isVisible());
            QCOMPARE(window.winId(), native);
        }
    }

    void ThePinHasAKeyboardShortcut() {
        FencatWindow& window = Shown();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
        QVERIFY(window.Pinned());
        QTest::keyClick(&window.ResultList(), Qt::Key_T, Qt::ControlModifier);
        QVERIFY(!window.Pinned());
    }

    void TheWindowMenuHasThePinCloseAndAboutAfterASeparator() {
        const QList<QAction*> items = m_window->WindowMenu().actions();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items[0], &m_window->PinAction());
        QVERIFY(!items[1]->isSeparator());
        QVERIFY(items[2]->isSeparator());
        QCOMPARE(items[3], m_window->AboutAction());
    }

    void TheWindowMenuOpensOnARightClick() {
        FencatWindow& window = Shown();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* seenOnClick = nullptr;
        // The right click's menu runs until it is closed.
        QTimer::singleShot(0, [&] {
            seenOnClick = QApplication::activePopupWidget();
            if (seenOnClick != nullptr) seenOnClick->close();
        });
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), window.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&window, &click);
        QCOMPARE(seenOnClick, &window.WindowMenu());
    }

    void TheWindowMenuOpensOnShiftF10() {
        FencatWindow& window = Shown();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window.ResultList(), Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(window.WindowMenu().isVisible());
        window.WindowMenu().close();
    }

    // The About box

    void TheAboutBoxOpensFromTheMenuAndClosesWithOk() {
        FencatWindow& window = Shown();
        AboutSeen seen;
        CloseAboutWhenOpen(seen);
        window.AboutAction()->trigger();  // returns when the box has closed

        QVERIFY(seen.opened);
        QCOMPARE(seen.title, QStringLiteral("About Tolvar Fencat"));
        QVERIFY(seen.hasIcon);
        QVERIFY(seen.texts.contains(QStringLiteral("Copyright (C) 2026 The Tolvar Fencat developers")));
        QVERIFY(seen.texts.contains(QStringLiteral("On the web: tolvar-fencat.invalid")));
        QCOMPARE(seen.button, QStringLiteral("OK"));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(window.isVisible());
        QVERIFY(!window.Pinned());
    }

    void TheAboutBoxOpensWithF1() {
        FencatWindow& window = Shown();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        AboutSeen seen;
        CloseAboutWhenOpen(seen);
        QTest::keyClick(&window.ResultList(), Qt::Key_F1);
        QVERIFY(seen.opened);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void TheAboutBoxShowsTheProgramIconAtTheStandardSize() {
        AboutBox box;
        QLabel* icon = box.findChild<QLabel*>(QStringLiteral("icon"));
        QVERIFY(icon != nullptr);
        const int size = box.style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, &box);
        QCOMPARE(icon->pixmap().size(), QSize(size, size));
        QCOMPARE(icon->pixmap().toImage(), icons::Main().pixmap(size, size).toImage());
    }

    // Closing

    void EnterClosesTheWindow() {
        FencatWindow& window = Shown();
        QTest::keyClick(&window.ResultList(), Qt::Key_Return);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Accepted));
    }

    void EscClosesTheWindow() {
        FencatWindow& window = Shown();
        QTest::keyClick(&window.ResultList(), Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
    }

    void TheCloseButtonAndTheMenusCloseItemCloseTheWindow() {
        FencatWindow& window = Shown();
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        Shown();
        m_window->WindowMenu().actions()[1]->trigger();
        QVERIFY(!m_window->isVisible());
    }

    // Moving by the client area

    void APressOutsideTheListMovesTheWindow() {
        FencatWindow& window = Shown();
        QWindow* native = window.windowHandle();
        const QPoint start = window.pos();
        const QPoint onUsage = window.findChild<QLabel*>(QStringLiteral("usageText"))->geometry().center();
        QTest::mousePress(native, Qt::LeftButton, {}, onUsage);
        QTest::mouseMove(native, onUsage + QPoint(30, 20));
        // The window has followed: the mouse is over the usage text again.
        QTest::mouseRelease(native, Qt::LeftButton, {}, onUsage);
        QCOMPARE(window.pos(), start + QPoint(30, 20));
    }

    void APressOnTheListSelectsALineAndDoesNotMoveTheWindow() {
        FencatWindow& window = Shown();
        window.ResultList().addItem(QStringLiteral("first"));
        window.ResultList().addItem(QStringLiteral("second"));
        QWindow* native = window.windowHandle();
        const QPoint start = window.pos();
        const QRect second = window.ResultList().visualItemRect(window.ResultList().item(1));
        const QPoint at = window.ResultList().viewport()->mapTo(&window, second.center());
        QTest::mousePress(native, Qt::LeftButton, {}, at);
        QTest::mouseMove(native, at + QPoint(30, 20));
        QTest::mouseRelease(native, Qt::LeftButton, {}, at + QPoint(30, 20));
        QCOMPARE(window.pos(), start);
        QCOMPARE(window.ResultList().currentRow(), 1);
    }
};

QObject* NewWindowTest() { return new WindowTest; }

#include "WindowTest.moc"
