// Running fencat's command line: every FILE searched in one search, the
// findings printed, then what -k or -w asks.
#pragma once

#include <cstdio>
#include <string>

#include "cli/Options.h"

// The name the search gets for FILE: a path in its absolute, symlink-resolved
// form where it has one (as the system names files), a bare name unchanged;
// a DIR (`tree`) is always resolved. False with a message when it cannot be
// searched.
bool NameToSearch(const std::string& file, std::string& name, std::string& error, bool tree = false);

// Runs the command and returns the exit status. `in` answers -i.
int RunSearches(const Options& options, FILE* out, FILE* err, FILE* in = stdin);
