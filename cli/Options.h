// fencat's command line: the options, in one table from which the help is
// written, and the parser that turns arguments into what to do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/Output.h"
#include "search/Exits.h"

// Every option of the command line, in the order of the table.
enum class OptionId {
    Under, Name, Mount, Pid, Terse, Verbose, Long, Json, Kill, Signal, ListSignals, Interactive, Wait, Trace, Help, Version,
};

enum class Arg { None, Required, Optional };

struct OptionRow {
    OptionId id;
    char letter;           // the short option, or 0
    const char* name;      // the long option, without "--"
    Arg arg;
    const char* argLabel;  // how the help shows its argument
    const char* help;      // lines joined by '\n'; null where this platform has no such option
};

// Every option, in the order the help lists them.
extern const OptionRow kOptionRows[];
extern const size_t kOptionCount;

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

// False (with a message in `error`) for a command line that cannot run.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

// The help: this platform's introduction, every option of the table with
// its text, the notes, and the exit statuses.
std::string HelpText();
// The exit statuses as the help's paragraph.
std::string ExitStatusHelp();

// The signal named by `name` ("TERM", "SIGTERM" or "15"), or 0.
int SignalNumber(const std::string& name);

extern const char kVersion[];
