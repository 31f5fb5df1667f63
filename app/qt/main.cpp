// fencat-window [FILE]: the window. fencat with no FILE starts it; a FILE
// (a path, or a bare name for name matching) is searched once the window is
// on screen, as a drop of it would be.
#include <QApplication>
#include <QFile>

#include "app/core/MainWindowCore.h"
#include "app/qt/FencatWindow.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Qt has taken its own options out of argv.
    const std::vector<std::string> arguments(argv + 1, argv + argc);

    FencatWindow window;
    window.SetStartupFile(QFile::decodeName(MainWindowCore::StartupFile(arguments).c_str()));
    // The window's run is the program's; its result means nothing.
    window.exec();
    return 0;
}
