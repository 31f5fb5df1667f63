// The command line front end: every FILE is searched as a drop of that one
// file would be, all in one search; result lines go to standard output,
// failures and notices to standard error.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Output.h"

// One search: a FILE, or with --under a DIR and everything below it.
struct Query {
    std::string argument;  // as given
    bool tree = false;
};

struct Options {
    bool help = false;
    bool version = false;
    bool listSignals = false;
    bool trace = false;     // the search's diagnostics on standard error
    bool fileSystem = false;  // -m: each FILE stands for its file system
    OutputFormat format = OutputFormat::Lines;
    bool kill = false;
    bool interactive = false;
    int signal = 0;  // with -k; 0 until given
    bool wait = false;
    double waitSeconds = -1;  // below 0: as long as it takes
    std::vector<Query> queries;  // in the order given
};

// Exit statuses, as users of fuser and grep expect them.
enum ExitStatus { kFound = 0, kNotFound = 1, kFailed = 2 };

// False (with a message in `error`) for a command line that cannot run.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

// The name the search gets for FILE: a path in its absolute, symlink-resolved
// form where it has one (as the system names files), a bare name unchanged;
// a DIR (`tree`) is always resolved. False with a message when it cannot be
// searched.
bool NameToSearch(const std::string& file, std::string& name, std::string& error, bool tree = false);

// Runs the command: the searches, then what -k or -w asks; returns the exit
// status. `in` answers -i.
int RunSearches(const Options& options, FILE* out, FILE* err, FILE* in = stdin);

// The signal named by `name` ("TERM", "SIGTERM" or "15"), or 0.
int SignalNumber(const std::string& name);

extern const char kVersion[];
