#include "cli/Options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

#include "cli/Platform.h"
#include "fencat_version.h"
#include "search/OnEach.h"

const char kVersion[] = FENCAT_VERSION;

// Every option, in the order the help lists them.
constexpr OptionRow kOptionRows[] = {
    {OptionId::Under, 0, "under", Arg::Required, " DIR",
     OnEach("the processes that use DIR or anything below it, at any\n"
            "depth (the tree is not walked); may be given again",
            "the processes that use DIR or anything below it")},
    {OptionId::Name, 0, "name", Arg::Required, " NAME",
     OnEach("the processes that use a file named NAME in any folder\n"
            "(the final component of its path); may be given again",
            "the processes that use a file named NAME in any folder")},
    {OptionId::Mount, 'm', "mount", Arg::None, "",
     OnEach("a FILE names a file system (its mount point or any file\n"
            "on it): the processes that use any file on it",
            nullptr)},
    {OptionId::Pid, 0, "pid", Arg::Required, " PID",
     OnEach("only what process PID uses; may be given again. With -k,\n"
            "PID is signalled only if it uses a FILE in this same look",
            "only what process PID uses; may be given again")},
    {OptionId::Terse, 't', "terse", Arg::None, "",
     OnEach("decimal process IDs only, each once, for kill and xargs", "decimal process IDs only, each once")},
    {OptionId::Verbose, 'v', "verbose", Arg::None, "",
     OnEach("a table: USER, PID, ACCESS, COMMAND, UNIT and PATH; ACCESS\n"
            "is f open, F open for writing, r root folder, c current\n"
            "folder, e executable, m mapped file or library; UNIT is\n"
            "the systemd unit (user: a user's own) or the container\n"
            "(docker:ID), - for none, ? where it could not be read",
            "a table: USER, PID, ACCESS (m module or mapped file,\n"
            "f handle), COMMAND, UNIT (a service host's services)\n"
            "and PATH")},
    {OptionId::Long, 0, "long", Arg::None, "", "each line followed by the matched path"},
    {OptionId::Json, 0, "json", Arg::None, "",
     OnEach("one JSON object per finding: pid, name, kind (module or\n"
            "handle), path, file (the FILE as given), uid, user,\n"
            "access, fd, and of the process: exe, cmdline (a list),\n"
            "started (ISO 8601, UTC), ppid, parent, unit, user_unit,\n"
            "container (runtime, id, pod), services; null where not\n"
            "known; bytes that are no UTF-8 are written \\udcXX",
            "one JSON object per finding: pid, name, kind, path,\n"
            "file, uid, user, access, fd, exe, started, ppid, parent,\n"
            "services (of a service host), and more, null here")},
    {OptionId::Kill, 'k', "kill", Arg::None, "",
     OnEach("send SIGKILL (or the signal given) to the processes found", "end the processes found (TerminateProcess)")},
    {OptionId::Signal, 0, "signal", Arg::Required, "=SIGNAL",
     OnEach("the signal for -k, by name or number (-TERM, -15)", "KILL or TERM: either ends a process at once here")},
    {OptionId::ListSignals, 'l', "list-signals", Arg::None, "", "list the signal names"},
    {OptionId::Interactive, 'i', "interactive", Arg::None, "",
     OnEach("with -k, ask before each process (reads standard input;\n"
            "anything but y is no); needed for -k on --name",
            "with -k, ask before each process")},
    {OptionId::Wait, 'w', "wait", Arg::Optional, "[=SECONDS]",
     OnEach("wait until no process uses any FILE, or until SECONDS\n"
            "pass (-wSECONDS too)",
            "wait until no process uses any FILE (or SECONDS pass)")},
    {OptionId::Trace, 0, "trace", Arg::None, "", "also print the search's steps on standard error"},
    {OptionId::Help, 'h', "help", Arg::None, "", "show this help and exit"},
    {OptionId::Version, 'V', "version", Arg::None, "", "show the version and exit"},
};
const size_t kOptionCount = sizeof kOptionRows / sizeof kOptionRows[0];

namespace {

// A row out of place would answer one option with another's meaning.
constexpr bool RowsFollowOptionIds() {
    constexpr OptionId last = OptionId::Version;
    if (std::size(kOptionRows) != static_cast<size_t>(last) + 1) return false;
    for (size_t i = 0; i < std::size(kOptionRows); ++i) {
        if (kOptionRows[i].id != static_cast<OptionId>(i)) return false;
    }
    return true;
}
static_assert(RowsFollowOptionIds(), "one row for each OptionId, in its order");

// What the parser gathers beyond Options itself.
struct Formats {
    bool wantLong = false, json = false, terse = false, verbose = false;
};

bool Upper(const std::string& text) { return !text.empty() && std::isupper(static_cast<unsigned char>(text[0])); }

bool SetSignal(const std::string& name, Options& options, std::string& error) {
    options.signal = SignalNumber(name);
    if (options.signal != 0) return true;
    error = "unknown signal '" + name + "'; 'fencat -l' lists them";
    return false;
}

bool SetWaitSeconds(const std::string& seconds, Options& options, std::string& error) {
    char* end = nullptr;
    options.waitSeconds = std::strtod(seconds.c_str(), &end);
    if (seconds.empty() || *end != '\0' || !(options.waitSeconds >= 0)) {
        error = "invalid number of seconds '" + seconds + "'";
        return false;
    }
    // Longer than any machine runs: as long as it takes.
    if (options.waitSeconds > 1e9) options.waitSeconds = -1;
    return true;
}

bool AddPid(const std::string& text, Options& options, std::string& error) {
    uint64_t pid = 0;
    const bool digits = !text.empty() && text.size() <= 10 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) pid = std::strtoull(text.c_str(), nullptr, 10);
    if (pid == 0 || pid > UINT32_MAX) {
        error = "invalid process ID '" + text + "'";
        return false;
    }
    options.pids.push_back(static_cast<uint32_t>(pid));
    return true;
}

// Applies one option; `value` is null where none was given.
bool Apply(OptionId id, const std::string* value, Options& options, Formats& formats, std::string& error) {
    switch (id) {
    case OptionId::Under: options.queries.push_back(Query{*value, Query::Kind::Tree}); break;
    case OptionId::Name: options.queries.push_back(Query{*value, Query::Kind::Name}); break;
    case OptionId::Mount: options.fileSystem = true; break;
    case OptionId::Pid: return AddPid(*value, options, error);
    case OptionId::Terse: formats.terse = true; break;
    case OptionId::Verbose: formats.verbose = true; break;
    case OptionId::Long: formats.wantLong = true; break;
    case OptionId::Json: formats.json = true; break;
    case OptionId::Kill: options.kill = true; break;
    case OptionId::Signal: return SetSignal(*value, options, error);
    case OptionId::ListSignals: options.listSignals = true; break;
    case OptionId::Interactive: options.interactive = true; break;
    case OptionId::Wait:
        options.wait = true;
        return value == nullptr || SetWaitSeconds(*value, options, error);
    case OptionId::Trace: options.trace = true; break;
    case OptionId::Help: options.help = true; break;
    case OptionId::Version: options.version = true; break;
    }
    return true;
}

// "--name", "--name=VALUE" or "--name VALUE".
bool ParseLong(const std::vector<std::string>& args, size_t& i, Options& options, Formats& formats,
               std::string& error) {
    const std::string& arg = args[i];
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const auto entry = std::find_if(std::begin(kOptionRows), std::end(kOptionRows),
                                   [&name](const OptionRow& o) { return name == o.name; });
    if (entry == std::end(kOptionRows) || (equals != std::string::npos && entry->arg == Arg::None)) {
        error = "unknown option '" + arg + "'";
        return false;
    }
    std::string value;
    if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
    } else if (entry->arg == Arg::Required) {
        if (i + 1 == args.size()) {
            error = "option '--" + name + "' needs an argument";
            return false;
        }
        value = args[++i];
    } else {
        return Apply(entry->id, nullptr, options, formats, error);
    }
    return Apply(entry->id, &value, options, formats, error);
}

// Bundled short options: -tk, -vm. An option that may take a value takes
// a number that follows it in the bundle: -w2.5.
bool ParseShort(const std::string& arg, Options& options, Formats& formats, std::string& error) {
    for (size_t k = 1; k < arg.size(); ++k) {
        const auto entry = std::find_if(std::begin(kOptionRows), std::end(kOptionRows),
                                       [c = arg[k]](const OptionRow& o) { return o.letter == c; });
        if (entry == std::end(kOptionRows) || entry->arg == Arg::Required) {
            error = std::string("invalid option -- '") + arg[k] + "'";
            return false;
        }
        const char next = k + 1 < arg.size() ? arg[k + 1] : '\0';
        if (entry->arg == Arg::Optional && (std::isdigit(static_cast<unsigned char>(next)) || next == '.')) {
            const std::string value = arg.substr(k + 1);
            return Apply(entry->id, &value, options, formats, error);
        }
        Apply(entry->id, nullptr, options, formats, error);
    }
    return true;
}

// What a command line that parsed may still not ask for.
bool Check(const Formats& f, Options& options, std::string& error) {
    if (f.wantLong + f.json + f.terse + f.verbose > 1) {
        error = "choose one of -t, -v, --long and --json";
        return false;
    }
    const bool byName = std::any_of(options.queries.begin(), options.queries.end(),
                                    [](const Query& q) { return q.kind == Query::Kind::Name; });
    if (options.queries.empty()) {
        error = "no FILE given";
    } else if (options.kill && byName && !options.interactive) {
        // A name may stand for files the user never meant.
        error = "-k on --name matches needs -i, to ask before each process";
    } else if (options.fileSystem && !CanSearchFileSystems()) {
        error = "-m (every file on a file system) is not available here";
    } else if (options.interactive && !options.kill) {
        error = "-i asks before -k signals; give -k too";
    } else if (options.signal != 0 && !options.kill) {
        error = "a signal is sent only with -k";
    } else if (options.wait && !options.pids.empty()) {
        error = "-w waits for every process; it takes no --pid";
    }
    if (!error.empty()) return false;
    if (options.signal == 0) options.signal = DefaultSignal();
    options.format = f.json       ? OutputFormat::Json
                     : f.wantLong ? OutputFormat::Long
                     : f.terse    ? OutputFormat::Terse
                     : f.verbose  ? OutputFormat::Verbose
                                  : OutputFormat::Lines;
    return true;
}

}  // namespace

int SignalNumber(const std::string& name) {
    if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const long number = name.size() <= 3 ? std::atol(name.c_str()) : 0;
        for (const Signal& signal : Signals()) {
            if (signal.number == number) return signal.number;
        }
        return 0;
    }
    const std::string bare = name.compare(0, 3, "SIG") == 0 ? name.substr(3) : name;
    for (const Signal& signal : Signals()) {
        if (bare == signal.name) return signal.number;
    }
    return 0;
}

bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error) {
    Formats formats;
    bool optionsEnd = false;
    const char* platformHelp = PlatformHelpArgument();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool ok = true;
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            if (!optionsEnd && platformHelp != nullptr && arg == platformHelp)
                options.help = true;
            else
                options.queries.push_back(Query{arg, Query::Kind::File});
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg.compare(0, 2, "--") == 0) {
            ok = ParseLong(args, i, options, formats, error);
        } else if (arg != "-V" && (Upper(arg.substr(1)) || std::isdigit(static_cast<unsigned char>(arg[1])))) {
            // -TERM, -SIGTERM, -15: the signal for -k.
            ok = SetSignal(arg.substr(1), options, error);
        } else {
            ok = ParseShort(arg, options, formats, error);
        }
        if (!ok) return false;
    }
    if (options.help || options.version || options.listSignals) return true;
    return Check(formats, options, error);
}

std::string HelpText() {
    constexpr size_t kTextColumn = 21;
    std::string help = kHelpIntro;
    for (const OptionRow& entry : kOptionRows) {
        if (entry.help == nullptr) continue;  // not offered here
        std::string label = "  ";
        if (entry.id == OptionId::Signal) label += "-SIGNAL, ";
        else if (entry.letter != 0) label += std::string("-") + entry.letter + ", ";
        else label += "    ";
        if (entry.id == OptionId::Help && PlatformHelpArgument() != nullptr)
            label += std::string(PlatformHelpArgument()) + ", ";
        label += std::string("--") + entry.name + entry.argLabel;
        help += label;
        help += label.size() < kTextColumn ? std::string(kTextColumn - label.size(), ' ')
                                           : "\n" + std::string(kTextColumn, ' ');
        for (const char* c = entry.help; *c != '\0'; ++c) {
            help += *c;
            if (*c == '\n') help += std::string(kTextColumn, ' ');
        }
        help += '\n';
    }
    return help + kHelpNotes + "\n" + ExitStatusHelp();
}

std::string ExitStatusHelp() {
    constexpr size_t kWidth = 73;
    std::string text = "Exit status:";
    for (size_t i = 0; i < std::size(kExitStatuses); ++i) {
        text += ' ' + std::to_string(kExitStatuses[i].status) + ' ' + kExitStatuses[i].meaning;
        text += i + 1 < std::size(kExitStatuses) ? "," : ".";
    }
    // Filled, a line at most kWidth wide.
    std::string help, line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > kWidth) {
            help += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return help + line + '\n';
}
