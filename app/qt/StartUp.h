// What fencat-window decides before Qt may touch a display: --help and
// --version, and whether there is a display to open at all.
#pragma once

#include <string>
#include <vector>

namespace startup {

enum class Wanted { kWindow, kHelp, kVersion };

// The first of -h/--help and -V/--version before "--", else the window.
Wanted Request(const std::vector<std::string>& arguments);

// What the window is asked, once Qt has taken its own options: --trace and
// --name NAME (before "--"), and the FILEs.
struct Arguments {
    bool trace = false;
    std::vector<std::string> names;
    std::vector<std::string> files;
};
Arguments Parse(const std::vector<std::string>& arguments);

// False when no platform can have a screen: no QT_QPA_PLATFORM, no
// -platform or -display argument, and neither DISPLAY nor WAYLAND_DISPLAY.
bool DisplayMayExist(const std::vector<std::string>& arguments);

extern const char kHelp[];
extern const char kVersionText[];
extern const char kNoDisplay[];
constexpr int kNoDisplayStatus = 2;

// Between these two, Qt's fatal message (no platform plugin could start)
// becomes one line on stderr and exit status 2; other messages are held
// and passed on at the end, so that a failed start says one thing only.
void GuardPlatformStart();
void EndPlatformGuard();

}  // namespace startup
