// What fencat's command line does differently on each platform: the texts
// of its help, the signals it can send and how, and whose a process is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/Finding.h"

struct Signal {
    const char* name;  // without "SIG"
    int number;
};

// The help's parts that are this platform's own: what comes before the
// options and what comes after them.
extern const char kHelpIntro[];
extern const char kHelpNotes[];
// The short usage of a bare call.
extern const char kShortUsage[];

// The signals -k can send here, and the one it sends unless told.
const std::vector<Signal>& Signals();
int DefaultSignal();

// Whether -m (every file on a file system) can be answered here.
bool CanSearchFileSystems();

// This platform's own way of asking for help (as /? on Windows), or null.
const char* PlatformHelpArgument();

// This process, which -k never signals.
uint32_t OwnProcessId();

// The name of the user who owns the finding's process; empty when unknown.
std::string UserName(const Finding& finding);

// Readies the platform for the command line and gives its arguments after
// the program's name, as UTF-8 (on Windows read again as UTF-16 from the
// system, and the standard streams made to show UTF-8 as the console can).
std::vector<std::string> StartCommandLine(int argc, char** argv);

// How a FILE or DIR with a folder part reaches the search: made canonical
// by the command line (Canonical), or made absolute here by the system's
// own rule, for paths of any length, with no link resolved (There, with the
// absolute path in `name`; or Missing, with the reason in `error`).
enum class PathCheck { Canonical, There, Missing };
PathCheck CheckPath(const std::string& file, std::string& name, std::string& error);
