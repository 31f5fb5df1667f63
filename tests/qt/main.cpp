// The window tests, one QtTest class after the other in one application.
#include <QApplication>
#include <QTest>
#include <memory>

QObject* NewWindowTest();
QObject* NewAdaptersTest();
QObject* NewLaunchTest();

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int failed = 0;
    for (QObject* (*make)() : {NewAdaptersTest, NewWindowTest, NewLaunchTest}) {
        const std::unique_ptr<QObject> test(make());
        failed += QTest::qExec(test.get(), argc, argv) != 0 ? 1 : 0;
    }
    return failed == 0 ? 0 : 1;
}
