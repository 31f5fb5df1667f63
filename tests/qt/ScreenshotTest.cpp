// The window on a real X server (screenshot.sh starts Xvfb): a drop of a
// held file fills the list, and the screen shows it. The screenshot is kept
// in the folder that FENCAT_SCREENSHOT_DIR names.
#include <QDir>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QTest>

#include "Processes.h"
#include "WindowDriver.h"
#include "app/qt/FencatWindow.h"

namespace {

// Pixels of the list's viewport, as the X server has them, that are dark
// enough to be text.
int DarkPixels(const QImage& screen, const QListWidget& list) {
    const QRect area(list.viewport()->mapToGlobal(QPoint(0, 0)), list.viewport()->size());
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (screen.valid(x, y) && qGray(screen.pixel(x, y)) < 96) ++dark;
        }
    }
    return dark;
}

QImage GrabScreen() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

}  // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void TheWindowShowsTheFindingsOfADrop() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        const QString folder = qEnvironmentVariable("FENCAT_SCREENSHOT_DIR");
        QVERIFY(!folder.isEmpty() && QDir().mkpath(folder));

        TempDir dir;
        const std::string path = dir.File("shown.txt");
        Holder first({"read", path});
        Holder second({"twice", path});
        QVERIFY(first.Ready() && second.Ready());

        FencatWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(200);
        const int darkBefore = DarkPixels(GrabScreen(), window.ResultList());

        QVERIFY(DragAndDrop(window, FileUrls({QString::fromStdString(path)})));
        QStringList lines = Lines(window.ResultList());
        lines.sort();
        const QString name = QStringLiteral("fencat_test_holder");
        QStringList expected{LineOf(first.Pid(), name), LineOf(second.Pid(), name), LineOf(second.Pid(), name)};
        expected.sort();
        QCOMPARE(lines, expected);

        QTest::qWait(300);
        const QImage screen = GrabScreen();
        QVERIFY(screen.save(folder + QStringLiteral("/window-with-findings.png")));
        const QRect frame = window.frameGeometry().intersected(screen.rect());
        QVERIFY(screen.copy(frame).save(folder + QStringLiteral("/window-with-findings-cropped.png")));
        const int darkAfter = DarkPixels(screen, window.ResultList());
        qInfo("dark pixels in the list: %d before the drop, %d after", darkBefore, darkAfter);
        QCOMPARE(darkBefore, 0);
        QVERIFY2(darkAfter > 100, "the lines are on the screen");
    }
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
