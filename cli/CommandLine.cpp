#include "cli/CommandLine.h"

#include "fencat_version.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/WinTypes.h"
#include "search/UsageSearch.h"
#include "sysinfo/Diagnostics.h"

const char kVersion[] = FENCAT_VERSION;

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

// One file, handed over like a drop that carries just that name.
class SingleFileDrop : public DroppedFiles {
public:
    explicit SingleFileDrop(const std::string& name) : m_name(name) {}
    uint32_t QueryFile(uint32_t index, char* buffer, uint32_t size) const override {
        if (index != 0) return 0;
        if (buffer == nullptr) return static_cast<uint32_t>(m_name.size());
        if (size == 0) return 0;
        size_t length = m_name.size() < size ? m_name.size() : size - 1;
        std::memcpy(buffer, m_name.data(), length);
        buffer[length] = '\0';
        return static_cast<uint32_t>(length);
    }

private:
    const std::string& m_name;
};

class NoCursor : public WaitCursor {
public:
    void Begin() override {}
    void End() override {}
};

bool NamesAPath(const std::string& file) {
    return file.find('/') != std::string::npos ||
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
    } else {
        std::error_code code;
        std::filesystem::path resolved = std::filesystem::canonical(file, code);
        if (code) {
            error = file + ": " + code.message();
            // The link itself is there to be seen: say where it leads.
            std::error_code ignored;
            if (std::filesystem::is_symlink(std::filesystem::symlink_status(file, ignored)))
                error += " (a symbolic link to " + std::filesystem::read_symlink(file, ignored).string() + ")";
            return false;
        }
        name = resolved.string();
    }
    if (name.size() >= os::MAX_PATH) {
        error = file + ": name too long (the system names files of at most " + std::to_string(os::MAX_PATH - 1) +
                " bytes)";
        return false;
    }
    return true;
}

int RunSearches(const Options& options, FILE* out, FILE* err) {
    SetDiagnosticStream(err);
    bool failed = false;
    bool found = false;
    // Each search counts anew; the largest count stands for the run.
    uint32_t notExamined = 0;
    for (const Query& query : options.queries) {
        std::string name, error;
        if (!NameToSearch(query.argument, name, error, query.tree)) {
            std::fprintf(err, "fencat: %s\n", error.c_str());
            failed = true;
            continue;
        }
        // JSON objects name their FILE themselves; a heading would break the stream.
        if (options.queries.size() > 1 && options.format != OutputFormat::Json)
            std::fprintf(out, "%s:\n", query.argument.c_str());
        FindingPrinter printer(out, options.format, query.argument);
        NoCursor cursor;
        const SearchScope scope = query.tree ? SearchScope::Tree : SearchScope::File;
        if (HandleDrop(SingleFileDrop(name), printer, cursor, scope) != SearchEnd::Finished) failed = true;
        found = found || printer.Lines() != 0;
        if (printer.NotExamined() > notExamined) notExamined = printer.NotExamined();
        std::fflush(out);
    }
    std::fputs(NotExaminedNotice(notExamined).c_str(), err);
    return failed ? kFailed : found ? kFound : kNotFound;
}
