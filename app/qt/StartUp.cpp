#include "app/qt/StartUp.h"

#include <unistd.h>

#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "fencat_version.h"

namespace startup {

const char kHelp[] =
    "Usage: fencat-window [--trace] [--name NAME]... [FILE]...\n"
    "Opens the window of Tolvar Fencat: a table of the processes that use each\n"
    "FILE (a file, or a folder with everything below it), with their users and\n"
    "the paths they use. Files can also be dropped on the window, typed, or\n"
    "opened.\n"
    "\n"
    "      --name NAME  also the processes that use a file of that name in any\n"
    "                   folder (such as libc.so.6)\n"
    "      --trace      print the search's steps on standard output\n"
    "  -h, --help       show this help and exit\n"
    "  -V, --version    show the version and exit\n"
    "\n"
    "The window needs a display (DISPLAY or WAYLAND_DISPLAY); without one\n"
    "fencat-window exits with status 2. From a terminal, use fencat FILE.\n";

const char kVersionText[] = FENCAT_VERSION;

const char kNoDisplay[] =
    "no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the window needs one, fencat FILE does not";

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

struct Held {
    QtMsgType type;
    QString category;
    QString text;
};

QtMessageHandler g_previous = nullptr;
std::vector<Held>* g_held = nullptr;

void Guard(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        g_held->push_back({type, QString::fromUtf8(context.category ? context.category : ""), text});
        return;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') display = std::getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "fencat-window: cannot open the display %s: no Qt platform plugin could start\n",
                 display != nullptr && *display != '\0' ? display : "(none)");
    std::fflush(stderr);
    // Not exit(): Qt is half built, and its destructors would run on it.
    _exit(kNoDisplayStatus);
}

}  // namespace

Wanted Request(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "-h" || argument == "--help") return Wanted::kHelp;
        if (argument == "-V" || argument == "--version") return Wanted::kVersion;
    }
    return Wanted::kWindow;
}

Arguments Parse(const std::vector<std::string>& arguments) {
    Arguments parsed;
    bool options = true;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (options && argument == "--")
            options = false;
        else if (options && argument == "--trace")
            parsed.trace = true;
        else if (options && argument == "--name" && i + 1 < arguments.size())
            parsed.names.push_back(arguments[++i]);
        else if (options && argument.rfind("--name=", 0) == 0)
            parsed.names.push_back(argument.substr(7));
        else
            parsed.files.push_back(argument);
    }
    return parsed;
}

bool DisplayMayExist(const std::vector<std::string>& arguments) {
    if (IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) return true;
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "-platform" || argument == "--platform" || argument == "-display" ||
            argument == "--display")
            return true;
    }
    return false;
}

void GuardPlatformStart() {
    g_held = new std::vector<Held>;
    g_previous = qInstallMessageHandler(Guard);
}

void EndPlatformGuard() {
    qInstallMessageHandler(g_previous);
    std::vector<Held> held = std::move(*g_held);
    delete g_held;
    g_held = nullptr;
    for (const Held& message : held) {
        const QByteArray category = message.category.toUtf8();
        const QMessageLogContext context(nullptr, 0, nullptr, category.constData());
        qt_message_output(message.type, context, message.text);
    }
}

}  // namespace startup
