// fencat-window [FILE]: the window. fencat with no FILE starts it; a FILE
// (a path, or a bare name for name matching) is searched once the window is
// on screen, as a drop of it would be.
#include <QApplication>
#include <QFile>
#include <cstdio>

#include "app/core/MainWindowCore.h"
#include "app/qt/FencatWindow.h"
#include "app/qt/StartUp.h"

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
    startup::GuardPlatformStart();
    QApplication application(argc, argv);
    startup::EndPlatformGuard();
    // Qt has taken its own options out of argv.
    const std::vector<std::string> arguments(argv + 1, argv + argc);

    FencatWindow window;
    window.SetStartupFile(QFile::decodeName(MainWindowCore::StartupFile(arguments).c_str()));
    // The window's run is the program's; its result means nothing.
    window.exec();
    return 0;
}
