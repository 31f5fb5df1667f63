// The window on a real X server with a window manager (screenshot.sh starts
// both): the findings of a drop, then a missing file, each on screen and
// kept as a screenshot in the folder that FENCAT_SCREENSHOT_DIR names.
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "Processes.h"
#include "WindowDriver.h"
#include "app/qt/FencatWindow.h"
#include "app/qt/ResultTable.h"
#include "search/Diagnostics.h"

namespace {

// Pixels of the widget, as the X server has them, dark enough to be text.
int DarkPixels(const QImage& screen, const QWidget& widget) {
    const QRect area(widget.mapToGlobal(QPoint(0, 0)), widget.size());
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (screen.valid(x, y) && qGray(screen.pixel(x, y)) < 96) ++dark;
        }
    }
    return dark;
}

QImage Screen() {
    QTest::qWait(300);  // the window manager and the X server draw
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

}  // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { DiscardDiagnostics(); }

    void TheWindowShowsFindingsThenAMissingFile() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        const QString folder = qEnvironmentVariable("FENCAT_SCREENSHOT_DIR");
        QVERIFY(!folder.isEmpty() && QDir().mkpath(folder));

        TempDir dir;
        const std::string path = dir.File("shown.txt");
        Holder first({"read", path}), second({"twice", path}), third({"map", path});
        QVERIFY(first.Ready() && second.Ready() && third.Ready());

        FencatWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget& rows = *window.Table().viewport();
        QCOMPARE(DarkPixels(Screen(), rows), 0);

        QSignalSpy shown(&window, &FencatWindow::SearchDone);
        QCOMPARE(DragAndDrop(window, FileUrls({QString::fromStdString(path)})), Qt::CopyAction);
        QVERIFY(shown.wait(10000));
        QCOMPARE(window.Model().rowCount(), 3);
        const QImage withFindings = Screen();
        QVERIFY(withFindings.save(folder + QStringLiteral("/window-with-findings.png")));
        const int darkRows = DarkPixels(withFindings, rows);
        qInfo("dark pixels in the table: %d", darkRows);
        QVERIFY2(darkRows > 300, "the rows are on the screen");

        const std::string missing = dir.Path() + "/missing.txt";
        window.Search({TargetFromPath(missing)});
        QVERIFY(shown.wait(10000));
        QVERIFY(window.StateText().endsWith(QStringLiteral("/missing.txt does not exist.")));
        const QImage missingFile = Screen();
        QVERIFY(missingFile.save(folder + QStringLiteral("/window-missing-file.png")));
        QCOMPARE(DarkPixels(missingFile, rows), 0);
        QVERIFY2(DarkPixels(missingFile, *window.findChild<QLabel*>(QStringLiteral("state"))) > 100,
                 "the state line is on the screen");
    }
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
