// Running fencat's command line: every FILE searched in one search, the
// findings printed, then what -k or -w asks.
#pragma once

#include <cstdio>
#include <string>

#include "cli/Options.h"
#include "search/Request.h"

// The name the search gets for FILE or DIR (Asked::Tree): its absolute,
// symlink-resolved form (a bare name is a file of the current folder), or
// for a file that is there by a name the system cannot resolve, that name.
// False with a message, and a hint that fits how it was asked, when it
// cannot be searched.
bool NameToSearch(const std::string& file, std::string& name, std::string& error, Asked asked = Asked::File);

// Writes out what is left of the output; false, with a line on `err`, when
// any of it could not be written.
bool FinishOutput(FILE* out, FILE* err);

// Runs the command, with the rights a search may take, and returns the exit
// status. `in` answers -i.
int RunSearches(const Options& options, FILE* out, FILE* err, FILE* in = stdin);
