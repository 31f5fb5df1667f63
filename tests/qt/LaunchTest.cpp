// fencat with no FILE: a short usage, display or not, never the window.
// fencat-window: help and version without a display, and a plain exit where
// there is no display to open.
#include <QFile>
#include <QProcess>
#include <QTest>
#include <filesystem>

#include "Processes.h"
#include "fencat_version.h"

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// fencat (or a copy of it, or fencat-window) with the display variables as
// given; nothing else of the caller's display leaks in, not even the
// offscreen platform the tests run on.
Run RunFencat(const QString& program, const QStringList& arguments, const QString& display,
              const QString& waylandDisplay = QString()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        environment.remove(QString::fromLatin1(name));
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
    // Unset, empty, X11 or Wayland: the same short usage, never the window.
    void WithoutAFileFencatPrintsAShortUsageTextWhateverTheDisplay() {
        TempDir dir;
        const QString fencat = CopyOfFencat(dir);
        // A fake window program that would tell if fencat became it.
        const std::string fakeWindow = dir.File("fencat-window", "#!/bin/sh\necho window\nexit 7\n");
        std::filesystem::permissions(fakeWindow, std::filesystem::perms::owner_all);
        for (const auto& [x11, wayland] :
             {std::make_pair(QString(), QString()), std::make_pair(QStringLiteral(""), QStringLiteral("")),
              std::make_pair(QStringLiteral(":4242"), QString()), std::make_pair(QString(), QStringLiteral("wayland-4"))}) {
            const Run run = RunFencat(fencat, {}, x11, wayland);
            QCOMPARE(run.status, 2);
            QVERIFY(run.out.isEmpty());
            QVERIFY2(run.err.startsWith(QStringLiteral("Usage: fencat [OPTION]... FILE...\n")), qPrintable(run.err));
            QVERIFY2(run.err.count(QLatin1Char('\n')) <= 5, "short, not the whole help");
        }
        // Options alone are no FILE either.
        QCOMPARE(RunFencat(fencat, {QStringLiteral("--")}, QString()).status, 2);
    }

    void TheWindowProgramAnswersHelpAndVersionWithoutADisplay() {
        const QString window = QStringLiteral(FENCAT_WINDOW_BINARY);
        for (const QString& option : {QStringLiteral("--version"), QStringLiteral("-V")}) {
            const Run run = RunFencat(window, {option}, QString());
            QCOMPARE(run.status, 0);
            QCOMPARE(run.out, QStringLiteral("fencat-window " FENCAT_VERSION "\n"));
            QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        }
        for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const Run run = RunFencat(window, {QStringLiteral("some-file"), option}, QString());
            QCOMPARE(run.status, 0);
            QVERIFY2(run.out.startsWith(QStringLiteral("Usage: fencat-window [--trace] [--name NAME]... [FILE]...\n")), qPrintable(run.out));
            QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        }
    }

    void TheWindowProgramWithoutADisplaySaysSoInOneLine() {
        const QString window = QStringLiteral(FENCAT_WINDOW_BINARY);
        // Set to nothing counts as unset.
        for (const QString& empty : {QString(), QStringLiteral("")}) {
            const Run run = RunFencat(window, {}, empty, empty);
            QCOMPARE(run.status, 2);
            QVERIFY(run.out.isEmpty());
            QVERIFY2(run.err.startsWith(QStringLiteral("fencat-window: no display")), qPrintable(run.err));
            QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        }
        // After "--", -h is a FILE, not a request for help.
        QCOMPARE(RunFencat(window, {QStringLiteral("--"), QStringLiteral("-h")}, QString()).status, 2);
    }

    void TheWindowProgramOnAnUnreachableDisplayExitsInsteadOfAborting() {
        // No X server answers on display 4242 here (none of the tests starts
        // one there); Qt's platform plugin fails to connect.
        const Run run = RunFencat(QStringLiteral(FENCAT_WINDOW_BINARY), {}, QStringLiteral(":4242"));
        QCOMPARE(run.status, 2);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err, QStringLiteral("fencat-window: cannot open the display :4242: no Qt platform plugin "
                                         "could start\n"));
    }

    // A desktop sends the window's standard output to the journal: it says
    // nothing there unless asked to trace.
    void TheWindowsOutputCarriesATraceOnlyWhenAsked() {
        TempDir dir;
        const std::string missing = dir.Path() + "/missing.txt";
        for (const bool trace : {false, true}) {
            QProcess window;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            window.setProcessEnvironment(environment);
            QStringList arguments{QString::fromStdString(missing), QStringLiteral("--name"), QStringLiteral("libc.so.6")};
            if (trace) arguments.prepend(QStringLiteral("--trace"));
            window.start(QStringLiteral(FENCAT_WINDOW_BINARY), arguments);
            QVERIFY(window.waitForStarted(10000));
            // Without a trace, long enough for the search (milliseconds) to be done.
            if (trace)
                QTRY_VERIFY_WITH_TIMEOUT(window.bytesAvailable() > 0, 10000);
            else
                QTest::qWait(1500);
            window.terminate();
            QVERIFY(window.waitForFinished(10000));
            const QString out = QString::fromLocal8Bit(window.readAllStandardOutput());
            if (trace)
                QVERIFY2(out.startsWith(QStringLiteral("Search\nPID ")), qPrintable(out));
            else
                QVERIFY2(out.isEmpty(), qPrintable(out));
        }
    }

    void WithAFileFencatSearchesWhateverTheDisplay() {
        const Run run = RunFencat(QStringLiteral(FENCAT_BINARY),
                                  {QStringLiteral("--name"), QStringLiteral("no-process-uses-this.name")},
                                  QStringLiteral(":4242"));
        QCOMPARE(run.status, 1);
    }
};

QObject* NewLaunchTest() { return new LaunchTest; }

#include "LaunchTest.moc"
