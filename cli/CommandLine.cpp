#include "cli/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>
#include <thread>

#include "cli/Platform.h"
#include "fencat_version.h"
#include "search/UsageSearch.h"
#include "sysinfo/Diagnostics.h"

const char kVersion[] = FENCAT_VERSION;

namespace {

bool NamesAPath(const std::string& file) {
    return file == "." || file == ".." || file.find('/') != std::string::npos ||
           file.find(static_cast<char>(std::filesystem::path::preferred_separator)) != std::string::npos;
}

bool Upper(const std::string& text) {
    return !text.empty() && std::isupper(static_cast<unsigned char>(text[0]));
}

// Takes the argument of an option that needs one: "--opt=VALUE", or the
// next argument.
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& option, std::string& value,
               std::string& error) {
    const std::string& arg = args[i];
    if (arg.size() > option.size() && arg[option.size()] == '=') {
        value = arg.substr(option.size() + 1);
        return true;
    }
    if (i + 1 == args.size()) {
        error = "option '" + option + "' needs an argument";
        return false;
    }
    value = args[++i];
    return true;
}

bool IsLong(const std::string& arg, const std::string& option) {
    return arg == option || (arg.compare(0, option.size(), option) == 0 && arg[option.size()] == '=');
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
    bool optionsEnd = false;
    bool wantLong = false, json = false, terse = false, verbose = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            if (!optionsEnd && IsPlatformHelp(arg)) {
                options.help = true;
                continue;
            }
            options.queries.push_back(Query{arg, false});
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
        } else if (arg.compare(0, 2, "--") == 0) {
            std::string value;
            if (arg == "--help") {
                options.help = true;
            } else if (arg == "--version") {
                options.version = true;
            } else if (arg == "--long") {
                wantLong = true;
            } else if (arg == "--json") {
                json = true;
            } else if (arg == "--terse") {
                terse = true;
            } else if (arg == "--verbose") {
                verbose = true;
            } else if (arg == "--mount") {
                options.fileSystem = true;
            } else if (arg == "--kill") {
                options.kill = true;
            } else if (arg == "--interactive") {
                options.interactive = true;
            } else if (arg == "--list-signals") {
                options.listSignals = true;
            } else if (arg == "--trace") {
                options.trace = true;
            } else if (IsLong(arg, "--under")) {
                if (!TakeValue(args, i, "--under", value, error)) return false;
                options.queries.push_back(Query{value, true});
            } else if (IsLong(arg, "--signal")) {
                if (!TakeValue(args, i, "--signal", value, error)) return false;
                options.signal = SignalNumber(value);
                if (options.signal == 0) {
                    error = "unknown signal '" + value + "'; 'fencat -l' lists them";
                    return false;
                }
            } else if (arg == "--wait") {
                options.wait = true;
            } else if (arg.compare(0, 7, "--wait=") == 0) {
                char* end = nullptr;
                const std::string seconds = arg.substr(7);
                options.wait = true;
                options.waitSeconds = std::strtod(seconds.c_str(), &end);
                if (seconds.empty() || *end != '\0' || !(options.waitSeconds >= 0)) {
                    error = "invalid number of seconds '" + seconds + "'";
                    return false;
                }
                // Longer than any machine runs: as long as it takes.
                if (options.waitSeconds > 1e9) options.waitSeconds = -1;
            } else {
                error = "unknown option '" + arg + "'";
                return false;
            }
        } else if (arg == "-V") {
            options.version = true;
        } else if (Upper(arg.substr(1)) || std::isdigit(static_cast<unsigned char>(arg[1]))) {
            // -TERM, -SIGTERM, -15: the signal for -k.
            options.signal = SignalNumber(arg.substr(1));
            if (options.signal == 0) {
                error = "unknown signal '" + arg.substr(1) + "'; 'fencat -l' lists them";
                return false;
            }
        } else {
            // Bundled short options: -tk, -vm.
            for (size_t k = 1; k < arg.size(); ++k) {
                switch (arg[k]) {
                case 'h': options.help = true; break;
                case 't': terse = true; break;
                case 'v': verbose = true; break;
                case 'm': options.fileSystem = true; break;
                case 'k': options.kill = true; break;
                case 'i': options.interactive = true; break;
                case 'l': options.listSignals = true; break;
                case 'w': options.wait = true; break;
                default:
                    error = std::string("invalid option -- '") + arg[k] + "'";
                    return false;
                }
            }
        }
    }
    if (options.help || options.version || options.listSignals) return true;
    const int formats = wantLong + json + terse + verbose;
    if (formats > 1 && !(formats == 2 && json && verbose)) {
        error = "choose one of -t, -v, --long and --json";
        return false;
    }
    if (options.queries.empty()) {
        error = "no FILE given";
        return false;
    }
    if (options.fileSystem && !CanSearchFileSystems()) {
        error = "-m (every file on a file system) is not available here";
        return false;
    }
    if (options.interactive && !options.kill) {
        error = "-i asks before -k signals; give -k too";
        return false;
    }
    if (options.signal != 0 && !options.kill) {
        error = "a signal is sent only with -k";
        return false;
    }
    if (options.signal == 0) options.signal = DefaultSignal();
    options.format = json      ? OutputFormat::Json
                     : wantLong ? OutputFormat::Long
                     : terse    ? OutputFormat::Terse
                     : verbose  ? OutputFormat::Verbose
                                : OutputFormat::Lines;
    return true;
}

bool NameToSearch(const std::string& file, std::string& name, std::string& error, bool tree) {
    if (file.empty()) {
        error = tree ? "empty folder name" : "empty file name";
        return false;
    }
    if (!tree && !NamesAPath(file)) {
        name = file;
        return true;
    }
    std::error_code code;
    std::filesystem::path resolved = std::filesystem::canonical(file, code);
    if (!code) {
        name = resolved.string();
        return true;
    }
    // A file deep in a tree may have no absolute name short enough for the
    // system to take, yet be there by the name given: the search finds it
    // by what it is, not by its path text.
    // So may a name whose link leads to text that names no file, as
    // /proc/PID/fd/N does for a deleted file or a pipe.
    std::error_code there;
    if (!tree && std::filesystem::exists(file, there)) {
        name = file;
        return true;
    }
    error = file + ": " + code.message();
    // The link itself is there to be seen: say where it leads.
    std::error_code ignored;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(file, ignored)))
        error += " (a symbolic link to " + std::filesystem::read_symlink(file, ignored).string() + ")";
    return false;
}

namespace {

// One run of every search of the command line.
struct Run {
    std::vector<std::unique_ptr<FindingList>> searches;
    bool failed = false;
    uint32_t notExamined = 0;  // every search saw the same processes: the largest count
    std::vector<uint32_t> stalled;

    bool Found() const {
        return std::any_of(searches.begin(), searches.end(), [](const auto& s) { return !s->Lines().empty(); });
    }
    std::vector<const FindingList*> Lists() const {
        std::vector<const FindingList*> lists;
        for (const auto& search : searches) lists.push_back(search.get());
        return lists;
    }
};

// The searches of the names that can be searched, each with the FILE or
// DIR it came from; a name that cannot be searched is told once.
struct Requests {
    std::vector<SearchRequest> requests;
    std::vector<std::string> arguments;  // beside requests
};

Requests MakeRequests(const Options& options, FILE* err, bool& failed) {
    Requests made;
    for (const Query& query : options.queries) {
        std::string name, error;
        if (!NameToSearch(query.argument, name, error, query.tree)) {
            std::fprintf(err, "fencat: %s\n", VisibleText(error).c_str());
            failed = true;
            continue;
        }
        const SearchScope scope = query.tree           ? SearchScope::Tree
                                  : options.fileSystem ? SearchScope::Device
                                                       : SearchScope::File;
        made.requests.push_back(SearchRequest{name, scope, nullptr});
        made.arguments.push_back(query.argument);
    }
    return made;
}

// One look at the processes for every request; the requests keep what the
// search made of their names for the next look.
Run Search(Requests& made) {
    Run run;
    for (size_t i = 0; i < made.requests.size(); ++i) {
        run.searches.push_back(std::make_unique<FindingList>(made.arguments[i]));
        made.requests[i].list = run.searches.back().get();
    }
    std::vector<SearchRequest>& requests = made.requests;
    RunUsageSearches(requests);
    for (size_t i = 0; i < requests.size(); ++i) {
        const FindingList& list = *run.searches[i];
        run.failed = run.failed || requests[i].end != SearchEnd::Finished;
        run.notExamined = std::max(run.notExamined, list.NotExamined());
        if (list.Stalled().size() > run.stalled.size()) run.stalled = list.Stalled();
    }
    return run;
}

bool Confirm(FILE* err, FILE* in, const char* signal, uint32_t pid, const std::string& name) {
    std::fprintf(err, "fencat: send %s to %u (%s)? [y/N] ", signal, static_cast<unsigned>(pid),
                 VisibleText(name).c_str());
    std::fflush(err);
    char answer[64];
    if (in == nullptr || std::fgets(answer, sizeof answer, in) == nullptr) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

// Signals every process found, once each; false when one could not be.
bool SignalAll(const Options& options, const Run& run, FILE* err, FILE* in) {
    const char* signalName = "?";
    for (const Signal& signal : Signals()) {
        if (signal.number == options.signal) signalName = signal.name;
    }
    std::set<uint32_t> done;
    bool ok = true;
    for (const auto& search : run.searches) {
        for (const FindingList::Line& line : search->Lines()) {
            const Finding& f = line.finding;
            if (f.pid == OwnProcessId() || !done.insert(f.pid).second) continue;
            if (options.interactive && !Confirm(err, in, signalName, f.pid, f.processName)) continue;
            std::string error;
            if (!SendSignal(f.pid, options.signal, error)) {
                std::fprintf(err, "fencat: cannot send %s to %u (%s): %s\n", signalName, static_cast<unsigned>(f.pid),
                             VisibleText(f.processName).c_str(), error.c_str());
                ok = false;
            }
        }
    }
    return ok;
}

}  // namespace

int RunSearches(const Options& options, FILE* out, FILE* err, FILE* in) {
    if (options.trace)
        SetDiagnosticStream(err);
    else
        DiscardDiagnostics();
    bool failed = false;
    Requests requests = MakeRequests(options, err, failed);
    Run run = Search(requests);
    failed = failed || run.failed;
    // A process given up unread may well use the file.
    auto isFree = [](const Run& r) { return !r.Found() && r.stalled.empty(); };
    bool free = isFree(run);
    if (!options.wait) PrintFindings(out, options.format, run.Lists());
    std::fflush(out);
    if (options.kill && run.Found() && !SignalAll(options, run, err, in)) failed = true;
    if (options.wait && !failed) {
        // Back off from 10 ms to at most 250 ms between looks.
        using Clock = std::chrono::steady_clock;
        const bool forever = options.waitSeconds < 0;
        const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(forever ? 0.0 : options.waitSeconds));
        Clock::duration pause = std::chrono::milliseconds(10);
        while (!free && !run.failed && (forever || Clock::now() < until)) {
            std::this_thread::sleep_for(forever ? pause : std::min(pause, until - Clock::now()));
            pause = std::min<Clock::duration>(pause * 2, std::chrono::milliseconds(250));
            run = Search(requests);
            free = isFree(run);
        }
        failed = failed || run.failed;
    }
    std::fputs(NotExaminedNotice(run.notExamined, run.stalled).c_str(), err);
    if (failed) return kFailed;
    if (options.wait) return free ? kFound : kNotFound;
    return run.Found() ? kFound : kNotFound;
}
