// fencat with no FILE: the window where there is a display, a short usage
// text where there is none, a clear message where the window program is
// missing.
#include <QFile>
#include <QProcess>
#include <QTest>
#include <filesystem>

#include "Processes.h"

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// fencat (or a copy of it) with the display variables as given; nothing
// else of the caller's display leaks in.
Run RunFencat(const QString& program, const QStringList& arguments, const QString& display,
              const QString& waylandDisplay = QString()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!display.isNull()) environment.insert(QStringLiteral("DISPLAY"), display);
    if (!waylandDisplay.isNull()) environment.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit) run.status = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// A copy of fencat in a folder of its own, with whatever stands beside it.
QString CopyOfFencat(const TempDir& dir) {
    const std::string copy = dir.Path() + "/fencat";
    std::filesystem::copy_file(FENCAT_BINARY, copy);
    return QString::fromStdString(copy);
}

}  // namespace

class LaunchTest : public QObject {
    Q_OBJECT

private slots:
    void WithoutADisplayFencatPrintsAShortUsageText() {
        for (const QString& empty : {QString(), QStringLiteral("")}) {
            const Run run = RunFencat(QStringLiteral(FENCAT_BINARY), {}, empty, empty);
            QCOMPARE(run.status, 2);
            QVERIFY(run.out.isEmpty());
            QVERIFY2(run.err.startsWith(QStringLiteral("Usage: fencat [OPTION]... FILE...\n")), qPrintable(run.err));
            QVERIFY2(run.err.count(QLatin1Char('\n')) <= 5, "short, not the whole help");
        }
        // Options alone are no FILE either.
        QCOMPARE(RunFencat(QStringLiteral(FENCAT_BINARY), {QStringLiteral("--")}, QString()).status, 2);
    }

    void WithADisplayFencatBecomesTheWindowProgramBesideIt() {
        TempDir dir;
        const QString fencat = CopyOfFencat(dir);
        // A stand-in that tells how it was started; its status is fencat's
        // only if fencat became it.
        const std::string standIn = dir.File("fencat-window", "#!/bin/sh\necho \"window $# $DISPLAY\"\nexit 7\n");
        std::filesystem::permissions(standIn, std::filesystem::perms::owner_all);

        Run run = RunFencat(fencat, {}, QStringLiteral(":4242"));
        QCOMPARE(run.status, 7);
        QCOMPARE(run.out, QStringLiteral("window 0 :4242\n"));

        run = RunFencat(fencat, {}, QString(), QStringLiteral("wayland-4"));
        QCOMPARE(run.status, 7);
    }

    void AMissingWindowProgramIsSaidPlainly() {
        TempDir dir;
        const QString fencat = CopyOfFencat(dir);
        const Run run = RunFencat(fencat, {}, QStringLiteral(":4242"));
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(QString::fromStdString(dir.Path() + "/fencat-window is missing")),
                 qPrintable(run.err));
    }

    void AWindowProgramThatCannotRunIsSaidPlainly() {
        TempDir dir;
        const QString fencat = CopyOfFencat(dir);
        dir.File("fencat-window", "not a program");
        const Run run = RunFencat(fencat, {}, QStringLiteral(":4242"));
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(QStringLiteral("cannot start the window program")), qPrintable(run.err));
    }

    void WithAFileFencatSearchesWhateverTheDisplay() {
        const Run run = RunFencat(QStringLiteral(FENCAT_BINARY), {QStringLiteral("no-process-uses-this.name")},
                                  QStringLiteral(":4242"));
        QCOMPARE(run.status, 1);
    }
};

QObject* NewLaunchTest() { return new LaunchTest; }

#include "LaunchTest.moc"
