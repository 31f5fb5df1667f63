#include "cli/CommandLine.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/WinTypes.h"
#include "search/UsageSearch.h"
#include "sysinfo/Diagnostics.h"

const char kVersion[] = "1.0.1.94";

const char kUsage[] =
    "Usage: fencat [OPTION]... FILE...\n"
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
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
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

class LinePrinter : public ResultList {
public:
    explicit LinePrinter(FILE* out) : m_out(out) {}
    void Clear() override {}
    void Repaint() override {}
    void Append(const char* line, const Finding&) override {
        std::fprintf(m_out, "%s\n", line);
        ++m_lines;
    }
    size_t Lines() const { return m_lines; }

private:
    FILE* m_out;
    size_t m_lines = 0;
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
    bool optionsEnd = false;
    for (const std::string& arg : args) {
        if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnd = true;
            } else if (arg == "-h" || arg == "--help") {
                options.help = true;
            } else if (arg == "-V" || arg == "--version") {
                options.version = true;
            } else {
                error = "unknown option '" + arg + "'";
                return false;
            }
            continue;
        }
        options.files.push_back(arg);
    }
    return true;
}

bool NameToSearch(const std::string& file, std::string& name, std::string& error) {
    if (file.empty()) {
        error = "empty file name";
        return false;
    }
    if (!NamesAPath(file)) {
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
    for (const std::string& file : options.files) {
        std::string name, error;
        if (!NameToSearch(file, name, error)) {
            std::fprintf(err, "fencat: %s\n", error.c_str());
            failed = true;
            continue;
        }
        if (options.files.size() > 1) std::fprintf(out, "%s:\n", file.c_str());
        LinePrinter printer(out);
        NoCursor cursor;
        if (HandleDrop(SingleFileDrop(name), printer, cursor) != SearchEnd::Finished) failed = true;
        found = found || printer.Lines() != 0;
        std::fflush(out);
    }
    return failed ? kFailed : found ? kFound : kNotFound;
}
