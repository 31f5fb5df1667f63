// fencat-window [--trace] [--name NAME]... [FILE]...: the window. Each FILE
// and NAME is searched at once, as fencat takes them.
#include <QApplication>
#include <cstdio>

#include "app/qt/FencatWindow.h"
#include "app/qt/FileManager.h"
#include "app/qt/StartUp.h"
#include "search/Diagnostics.h"

int main(int argc, char** argv) {
    const std::vector<std::string> given(argv + 1, argv + argc);
    switch (startup::Request(given)) {
        case startup::Wanted::kHelp:
            std::fputs(startup::kHelp, stdout);
            return 0;
        case startup::Wanted::kVersion:
            std::printf("fencat-window %s\n", startup::kVersionText);
            return 0;
        case startup::Wanted::kWindow:
            break;
    }
    if (!startup::DisplayMayExist(given)) {
        std::fprintf(stderr, "fencat-window: %s\n", startup::kNoDisplay);
        return startup::kNoDisplayStatus;
    }

    // Qt ends the program through qFatal when no platform plugin can start
    // (an unreachable display); that must be an exit, not an abort.
    KeepActivationToken();
    startup::GuardPlatformStart();
    QApplication application(argc, argv);
    startup::EndPlatformGuard();
    QApplication::setOrganizationName(QStringLiteral("Tolvar Fencat"));
    QApplication::setApplicationName(QStringLiteral("fencat-window"));
    QApplication::setDesktopFileName(QStringLiteral("fencat-window"));
    // Qt has taken its own options out of argv.
    const startup::Arguments arguments = startup::Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (arguments.trace)
        SetDiagnosticStream(stdout);
    else
        DiscardDiagnostics();

    FencatWindow window;
    window.show();
    std::vector<Target> targets;
    for (const std::string& file : arguments.files) targets.push_back(TargetFromPath(file));
    for (const std::string& name : arguments.names) targets.push_back(TargetFromName(name));
    window.Search(std::move(targets));
    return application.exec();
}
