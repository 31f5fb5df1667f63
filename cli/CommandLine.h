// The command line front end: each FILE is searched as a drop of that one
// file; result lines go to standard output, diagnostics to standard error.
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
    OutputFormat format = OutputFormat::Lines;
    std::vector<Query> queries;  // in the order given
};

// Exit statuses, as users of fuser and grep expect them.
enum ExitStatus { kFound = 0, kNotFound = 1, kFailed = 2 };

// False (with a message in `error`) for a command line that cannot run. No
// FILE is no error: fencat then opens the window.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

// The name the search gets for FILE: a path in its absolute, symlink-resolved
// form (as the system names files), a bare name unchanged; a DIR (`tree`) is
// always resolved. False with a message when it cannot be searched.
bool NameToSearch(const std::string& file, std::string& name, std::string& error, bool tree = false);

// Runs every search; returns the exit status. When processes could not be
// examined, says so on `err` at the end.
int RunSearches(const Options& options, FILE* out, FILE* err);

extern const char kUsage[];
extern const char kVersion[];
