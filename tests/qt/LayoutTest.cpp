// The window on its screen: no text, kept size or dialog makes it larger
// than the screen, what is cut is whole in a tooltip, the columns show
// their words whole, and every action has an icon whatever the theme.
#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "Processes.h"
#include "app/qt/EndProcess.h"
#include "app/qt/FencatWindow.h"
#include "app/qt/ResultTable.h"

namespace {

QRect Room(const QWidget& widget) { return widget.screen()->availableGeometry(); }

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void LongPathsNeverMakeTheWindowLargerThanItsScreen() {
        TempDir dir;
        std::vector<Target> targets;
        for (const char* name : {"first", "second", "third"})
            targets.push_back(TargetFromPath(dir.Path() + "/" + std::string(180, name[0]) + "/" + name + "-missing.txt"));
        FencatWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        window.Search(targets);
        QVERIFY(shown.wait(10000));
        QCoreApplication::processEvents();
        const QRect room = Room(window);
        QVERIFY2(window.minimumSizeHint().width() <= room.width(), qPrintable(QString::number(window.minimumSizeHint().width())));
        QVERIFY2(window.frameGeometry().width() <= room.width(), qPrintable(QString::number(window.frameGeometry().width())));
        QVERIFY(window.frameGeometry().height() <= room.height());
        // Cut on the screen, whole where it is read.
        const auto* searched = window.findChild<QLabel*>(QStringLiteral("searched"));
        QVERIFY(searched->text().contains(u'…'));
        QCOMPARE(searched->toolTip(), window.SearchedText());
        QVERIFY(window.SearchedText().contains(targets[1].shown));
        const auto* state = window.findChild<QLabel*>(QStringLiteral("state"));
        QVERIFY(window.StateText().contains(targets[2].shown + QStringLiteral(" does not exist.")));
        QCOMPARE(state->accessibleName(), window.StateText());
    }

    void AKeptSizeLargerThanTheScreenIsCutToIt() {
        {
            FencatWindow large;
            large.show();
            QVERIFY(QTest::qWaitForWindowExposed(&large));
            large.resize(Room(large).size() * 3);
            large.close();
        }
        FencatWindow again;
        QVERIFY2(again.width() <= Room(again).width() && again.height() <= Room(again).height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(again.width()).arg(again.height())));
        again.resize(700, 400);
        again.close();
    }

    void TheUseColumnShowsItsWordsWhole() {
        FencatWindow window;
        Finding finding;
        finding.kind = Finding::Kind::Handle;
        finding.pid = 1;
        finding.processName = "init";
        finding.path = "/srv/data";
        finding.access = Finding::kOpen | Finding::kRead | Finding::kWrite | Finding::kMapped;
        window.Model().Update({finding});
        ResultTable& table = window.Table();
        const QString use = table.model()->index(0, FindingsModel::kUse).data().toString();
        QCOMPARE(use, QStringLiteral("open for reading and writing, mapped"));
        const int margins = 2 * (table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1);
        QVERIFY2(table.columnWidth(FindingsModel::kUse) >= table.fontMetrics().horizontalAdvance(use) + margins,
                 qPrintable(QString::number(table.columnWidth(FindingsModel::kUse))));
        // Longer words widen it as they come.
        finding.access |= Finding::kExecutable;
        window.Model().Update({finding});
        const QString longer = table.model()->index(0, FindingsModel::kUse).data().toString();
        QCOMPARE(longer, QStringLiteral("open for reading and writing, mapped, executable"));
        QVERIFY2(table.columnWidth(FindingsModel::kUse) >= table.fontMetrics().horizontalAdvance(longer) + margins,
                 qPrintable(QString::number(table.columnWidth(FindingsModel::kUse))));
    }

    void EveryActionHasAnIconWithOrWithoutATheme() {
        const QString theme = QIcon::themeName();
        for (const QString& tried : {theme, QStringLiteral("tolvar-fencat-no-such-theme")}) {
            QIcon::setThemeName(tried);
            FencatWindow window;
            QStringList without;
            for (QAction* action : window.findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
                if (!action->isSeparator() && action->icon().pixmap(16, 16).isNull()) without << action->objectName();
            }
            QVERIFY2(without.isEmpty(), qPrintable(tried + QStringLiteral(": ") + without.join(u' ')));
            // A right click offers to copy first; ending a process is never the nearest choice.
            QCOMPARE(window.Table().actions().front(), &window.Action("copyRows"));
        }
        QIcon::setThemeName(theme);
    }
};

QObject* NewLayoutTest() { return new LayoutTest; }

#include "LayoutTest.moc"
