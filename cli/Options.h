// fencat's command line: the options, in one table from which the help is
// written, and the parser that turns arguments into what to do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Output.h"

// One search: a FILE, a --name, or with --under a DIR and everything below it.
struct Query {
    enum class Kind {
        File,  // the file it names here
        Name,  // any file of that final component
        Tree,  // the folder and everything below it
    };
    std::string argument;  // as given
    Kind kind = Kind::File;
};

struct Options {
    bool help = false;
    bool version = false;
    bool listSignals = false;
    bool trace = false;       // the search's diagnostics on standard error
    bool fileSystem = false;  // -m: each FILE stands for its file system
    OutputFormat format = OutputFormat::Lines;
    bool kill = false;
    bool interactive = false;
    int signal = 0;  // with -k; 0 until given
    bool wait = false;
    double waitSeconds = -1;     // below 0: as long as it takes
    std::vector<Query> queries;  // in the order given
    std::vector<uint32_t> pids;  // --pid: only these processes' findings; empty: every process's
};

// Exit statuses, as users of fuser and grep expect them; with -w, 0 once the
// files are free, 1 when the time ran out, and 3 when they are free of every
// process that could be examined, but some could not.
enum ExitStatus { kFound = 0, kNotFound = 1, kFailed = 2, kNotAllExamined = 3 };

// False (with a message in `error`) for a command line that cannot run.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

// The help: this platform's introduction, every option of the table with
// its text, and the notes.
std::string HelpText();

// The signal named by `name` ("TERM", "SIGTERM" or "15"), or 0.
int SignalNumber(const std::string& name);

extern const char kVersion[];
