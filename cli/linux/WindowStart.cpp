#include "cli/WindowStart.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/CommandLine.h"

namespace {

const char kShortUsage[] =
    "Usage: fencat [OPTION]... FILE...\n"
    "With no FILE, fencat opens its window, which needs a display (DISPLAY or\n"
    "WAYLAND_DISPLAY); none is set.\n"
    "Try 'fencat --help' for more information.\n";

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Installed and built alike, the window program stands beside fencat.
std::string WindowProgram() {
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", &self[0], self.size());
    if (length <= 0 || static_cast<size_t>(length) >= self.size()) return "fencat-window";
    self.resize(static_cast<size_t>(length));
    const size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "fencat-window";
}

}  // namespace

int StartWindow(FILE* err) {
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        std::fputs(kShortUsage, err);
        return kFailed;
    }
    const std::string program = WindowProgram();
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    std::fflush(nullptr);
    execv(program.c_str(), argv);
    const int error = errno;
    if (error == ENOENT)
        std::fprintf(err,
                     "fencat: the window program %s is missing (it is built where Qt 6 Widgets is installed);\n"
                     "give a FILE to search from the command line.\n",
                     program.c_str());
    else
        std::fprintf(err, "fencat: cannot start the window program %s: %s\n", program.c_str(), std::strerror(error));
    return kFailed;
}
