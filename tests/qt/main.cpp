// The window tests, one QtTest class after the other in one application.
// ctest runs them a function at a time:
//   fencat_window_tests --list             every Class.function, one a line
//   fencat_window_tests Class [QtTest arguments]   that class alone
#include <QApplication>
#include <QMetaMethod>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/qt/EndProcess.h"
#include "app/qt/FencatWindow.h"
#include "search/Diagnostics.h"

QObject* NewModelTest();
QObject* NewTargetsTest();
QObject* NewWindowTest();
QObject* NewEndProcessTest();
QObject* NewLaunchTest();
QObject* NewInputTest();
QObject* NewLayoutTest();

namespace {

// QtTest's own rule: a private slot is a test function, but for these.
bool IsTestFunction(const QMetaMethod& method) {
    if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private) return false;
    const QByteArray name = method.name();
    return name != "initTestCase" && name != "cleanupTestCase" && name != "init" && name != "cleanup" &&
           !name.endsWith("_data");
}

void List(const QObject& test) {
    const QMetaObject* meta = test.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (IsTestFunction(method)) std::printf("%s.%s\n", meta->className(), method.name().constData());
    }
}

}  // namespace

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
    // The product's waits, short: a test waits on them, not for them.
    EndProcess::SetGraceMilliseconds(400);
    FencatWindow::SetWatchMilliseconds(400);
    const bool list = argc > 1 && std::strcmp(argv[1], "--list") == 0;
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    // QtTest reads the arguments after the class's name as its own.
    std::vector<char*> arguments(argv, argv + argc);
    if (only != nullptr) arguments.erase(arguments.begin() + 1);
    int failed = 0, ran = 0;
    for (QObject* (*make)() : {NewModelTest, NewTargetsTest, NewWindowTest, NewEndProcessTest, NewLaunchTest,
                              NewInputTest, NewLayoutTest}) {
        const std::unique_ptr<QObject> test(make());
        if (list) {
            List(*test);
            continue;
        }
        if (only != nullptr && std::strcmp(test->metaObject()->className(), only) != 0) continue;
        ++ran;
        failed += QTest::qExec(test.get(), static_cast<int>(arguments.size()), arguments.data()) != 0 ? 1 : 0;
    }
    if (only != nullptr && ran == 0) {
        std::fprintf(stderr, "no test class %s\n", only);
        return 1;
    }
    return failed == 0 ? 0 : 1;
}
