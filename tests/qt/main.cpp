// The window tests, one QtTest class after the other in one application.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "search/Diagnostics.h"

QObject* NewModelTest();
QObject* NewTargetsTest();
QObject* NewWindowTest();
QObject* NewEndProcessTest();
QObject* NewLaunchTest();
QObject* NewInputTest();
QObject* NewLayoutTest();

int main(int argc, char** argv) {
    // The window keeps its size in the user's settings: here, a folder of
    // the run's own.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tolvar Fencat tests"));
    QApplication::setApplicationName(QStringLiteral("fencat_window_tests"));
    // The window's trace is fencat-window's to print, not the tests'.
    DiscardDiagnostics();
    int failed = 0;
    for (QObject* (*make)() : {NewModelTest, NewTargetsTest, NewWindowTest, NewEndProcessTest, NewLaunchTest,
                              NewInputTest, NewLayoutTest}) {
        const std::unique_ptr<QObject> test(make());
        failed += QTest::qExec(test.get(), argc, argv) != 0 ? 1 : 0;
    }
    return failed == 0 ? 0 : 1;
}
