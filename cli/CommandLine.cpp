#include "cli/CommandLine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <filesystem>
#include <system_error>

#include "search/UsageSearch.h"
#include "sysinfo/Diagnostics.h"

const char kVersion[] = "1.0.1.94";

const char kUsage[] =
    "Usage: fencat [OPTION]... FILE...\n"
    "  or:  fencat [OPTION]... --under DIR...\n"
    "  or:  fencat\n"
    "Lists the processes that use each FILE: those that have it loaded as a\n"
    "module, then those that hold an open handle to it, one line each:\n"
    "process ID and image name.\n"
    "\n"
    "A FILE with a directory part is matched by its full path; a bare name\n"
    "(no '/') matches that file name in any directory.\n"
    "\n"
    "With no FILE, opens the window (fencat-window, beside fencat), where files\n"
    "are dropped from a file manager; that needs a display.\n"
    "\n"
    "      --under DIR  list the processes that use DIR or anything below it, at\n"
    "                   any depth, in one pass (the tree is not walked); may be\n"
    "                   given more than once, and beside FILEs\n"
    "      --long       add the matched path to each line: the module's path or\n"
    "                   the open file's name\n"
    "      --json       write one JSON object per line and finding instead:\n"
    "                   {\"pid\":1234,\"name\":\"...\",\"kind\":\"module\" or \"handle\",\n"
    "                   \"path\":\"...\",\"file\":\"...\"}, where file is the FILE or\n"
    "                   DIR as given; a byte that is not part of valid UTF-8 is\n"
    "                   written as \\udcXX (XX: its value in hexadecimal)\n"
    "  -h, --help       show this help and exit\n"
    "  -V, --version    show the version and exit\n"
    "\n"
    "Processes that fencat was not allowed to examine (another user's, unless\n"
    "fencat runs as root) are counted on standard error.\n"
    "\n"
    "Exit status: 0 if a process was found, 1 if none, 2 on error.\n";

namespace {

bool NamesAPath(const std::string& file) {
    return file == "." || file == ".." || file.find('/') != std::string::npos ||
           file.find(static_cast<char>(std::filesystem::path::preferred_separator)) != std::string::npos;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error) {
    static const std::string kUnder = "--under";
    bool optionsEnd = false;
    bool wantLong = false, json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnd = true;
            } else if (arg == "-h" || arg == "--help") {
                options.help = true;
            } else if (arg == "-V" || arg == "--version") {
                options.version = true;
            } else if (arg == "--long") {
                wantLong = true;
            } else if (arg == "--json") {
                json = true;
            } else if (arg == kUnder) {
                if (i + 1 == args.size()) {
                    error = "option '--under' needs a DIR";
                    return false;
                }
                options.queries.push_back(Query{args[++i], true});
            } else if (arg.compare(0, kUnder.size() + 1, kUnder + "=") == 0) {
                options.queries.push_back(Query{arg.substr(kUnder.size() + 1), true});
            } else {
                error = "unknown option '" + arg + "'";
                return false;
            }
            continue;
        }
        options.queries.push_back(Query{arg, false});
    }
    if (wantLong && json) {
        error = "--long and --json cannot be used together";
        return false;
    }
    if ((wantLong || json) && options.queries.empty() && !options.help && !options.version) {
        error = std::string(wantLong ? "--long" : "--json") + " needs a FILE or --under DIR";
        return false;
    }
    options.format = wantLong ? OutputFormat::Long : json ? OutputFormat::Json : OutputFormat::Lines;
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
    std::error_code there;
    if (!tree && code == std::errc::filename_too_long && std::filesystem::exists(file, there)) {
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

int RunSearches(const Options& options, FILE* out, FILE* err) {
    SetDiagnosticStream(err);
    bool failed = false;
    // Printers stay where the requests point at them.
    std::vector<std::unique_ptr<FindingPrinter>> printers;
    std::vector<SearchRequest> requests;
    for (const Query& query : options.queries) {
        std::string name, error;
        if (!NameToSearch(query.argument, name, error, query.tree)) {
            std::fprintf(err, "fencat: %s\n", VisibleText(error).c_str());
            failed = true;
            continue;
        }
        printers.push_back(std::make_unique<FindingPrinter>(out, options.format, query.argument,
                                                            options.queries.size() > 1));
        const SearchScope scope = query.tree ? SearchScope::Tree : SearchScope::File;
        requests.push_back(SearchRequest{name, scope, printers.back().get()});
    }
    RunUsageSearches(requests);
    bool found = false;
    // Every search saw the same processes; the largest count stands for the run.
    uint32_t notExamined = 0;
    std::vector<uint32_t> stalled;
    for (size_t i = 0; i < requests.size(); ++i) {
        const FindingPrinter& printer = *printers[i];
        if (requests[i].end != SearchEnd::Finished) failed = true;
        found = found || printer.Lines() != 0;
        notExamined = std::max(notExamined, printer.NotExamined());
        if (printer.Stalled().size() > stalled.size()) stalled = printer.Stalled();
    }
    std::fflush(out);
    std::fputs(NotExaminedNotice(notExamined, stalled).c_str(), err);
    return failed ? kFailed : found ? kFound : kNotFound;
}
