#include "cli/Run.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "cli/Platform.h"
#include "search/Diagnostics.h"
#include "search/Notices.h"
#include "search/Paths.h"
#include "search/Process.h"
#include "search/Request.h"
#include "search/ResultLine.h"
#include "search/Trace.h"
#include "search/Wait.h"

namespace {

// For a FILE not found: what to give instead, where the name may have been
// meant otherwise.
std::string NameHint(const std::string& file, Asked asked) {
    if (asked == Asked::FileSystem) return " (-m takes a mount point or any file on the file system)";
    return asked == Asked::File && !NamesAPath(file) ? " (--name " + file + " finds that name in any folder)" : "";
}

}  // namespace

bool NameToSearch(const std::string& file, std::string& name, std::string& error, Asked asked) {
    const bool tree = asked == Asked::Tree;
    error = Refusal(file, asked);
    if (!error.empty()) return false;
    switch (CheckPath(file, name, error)) {
    case PathCheck::There: return true;
    case PathCheck::Missing: error = file + ": " + error; return false;
    case PathCheck::NotFound: error = file + ": " + error + NameHint(file, asked); return false;
    case PathCheck::Canonical: break;
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
    else if (code == std::errc::no_such_file_or_directory)
        error += NameHint(file, asked);
    return false;
}

bool FinishOutput(FILE* out, FILE* err) {
    errno = 0;
    if (std::fflush(out) == 0 && !std::ferror(out)) return true;
    const int error = errno != 0 ? errno : FirstWriteError();
    std::fprintf(err, "fencat: cannot write the output: %s\n", error != 0 ? std::strerror(error) : "write error");
    return false;
}

namespace {

// The trace and the reasons a search stopped, in this system's words.
const TraceWords& Words() {
#ifdef _WIN32
    return WindowsTraceWords();
#else
    return LinuxTraceWords();
#endif
}

// The searches of the names that can be searched, each with the FILE or
// DIR it came from; a name that cannot be searched is told once.
struct Requests {
    std::vector<SearchRequest> requests;
    std::vector<std::string> arguments;  // beside requests
};

// What a query asks the search for; none, with a message, when it cannot.
std::optional<SearchRequest> RequestFor(const Options& options, const Query& query, std::string& error) {
    const bool tree = query.kind == Query::Kind::Tree;
    const Asked asked = query.kind == Query::Kind::Name ? Asked::Name
                        : tree                          ? Asked::Tree
                        : options.fileSystem            ? Asked::FileSystem
                                                        : Asked::File;
    return MakeRequest(query.argument, asked, error, [asked](const Text& file, Text& name, std::string& why) {
        return NameToSearch(file, name, why, asked);
    });
}

Requests MakeRequests(const Options& options, FILE* err, bool& failed) {
    Requests made;
    for (const Query& query : options.queries) {
        std::string error;
        std::optional<SearchRequest> request = RequestFor(options, query, error);
        if (!request) {
            std::fprintf(err, "fencat: %s\n", VisibleText(error).c_str());
            failed = true;
            continue;
        }
        made.requests.push_back(std::move(*request));
        made.arguments.push_back(query.argument);
    }
    return made;
}

// What one look at the processes answered for every request.
struct Run {
    std::vector<Answer> answers;
    bool failed = false;
    // What the searches could not examine: of each kind, the most that one
    // of them could not (every search saw the same processes).
    SearchReport notExamined;

    bool Found() const {
        return std::any_of(answers.begin(), answers.end(), [](const Answer& a) { return !a.report.findings.empty(); });
    }
};

void AddNotExamined(const SearchReport& report, SearchReport& into) {
    if (report.reached < SearchStage::ProcessesRead) return;
    if (report.refused > into.refused) {
        into.refused = report.refused;
        into.someRefused = report.someRefused;
    }
    if (report.stalled.size() > into.stalled.size()) into.stalled = report.stalled;
    if (report.exhausted > into.exhausted) {
        into.exhausted = report.exhausted;
        into.someExhausted = report.someExhausted;
    }
    into.loadedUnlisted = std::max(into.loadedUnlisted, report.loadedUnlisted);
    into.privileged = into.privileged || report.privileged;
    if (into.hidden.empty()) into.hidden = report.hidden;
}

Run Collect(std::vector<SearchReport> reports, const Requests& made) {
    // fencat is no user of what it searches for.
    DropFindingsOf(reports, OwnProcessId());
    Run run;
    for (size_t i = 0; i < reports.size(); ++i) {
        const SearchReport& report = reports[i];
        run.failed = run.failed || !report.Finished();
        AddNotExamined(report, run.notExamined);
        run.answers.push_back(Answer{made.arguments[i], std::move(reports[i])});
    }
    return run;
}

// Every search that stopped says why.
void TellFailures(const Run& run, FILE* err) {
    for (const Answer& answer : run.answers) {
        if (answer.report.Finished()) continue;
        std::string why = StopReason(answer.query, answer.report.stop);
        while (!why.empty() && why.back() == '\n') why.pop_back();
        std::fprintf(err, "fencat: %s: the search stopped: %s\n", VisibleText(answer.query).c_str(),
                     VisibleText(why.empty() ? "no reason given" : why).c_str());
    }
}

// The whole line is the answer, so that the rest of a long one cannot
// answer the next question; anything but y, end of input too, is no.
bool Confirm(FILE* err, FILE* in, const char* signal, const std::string& who) {
    std::fprintf(err, "fencat: send %s to %s? [y/N] ", signal, who.c_str());
    std::fflush(err);
    std::string answer;
    int c = EOF;
    while (in != nullptr && (c = std::fgetc(in)) != EOF && c != '\n') answer += static_cast<char>(c);
    if (c == EOF) std::fputc('\n', err);
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// Signals every process found, once each, through the hold the search took
// on it: never by a process ID that another may have taken since. False
// when one could not be signalled.
bool SignalAll(const Options& options, const Run& run, FILE* err, FILE* in) {
    const char* signalName = "?";
    for (const Signal& signal : Signals()) {
        if (signal.number == options.signal) signalName = signal.name;
    }
    std::set<uint32_t> done, loose;
    for (const Answer& answer : run.answers) {
        for (const Finding& f : answer.report.findings) {
            if (f.process && !f.process->Firm()) loose.insert(f.pid);
        }
    }
    if (!loose.empty())
        std::fprintf(err,
                     "fencat: %u %s not held (no pidfd to be had): each is signalled by its process ID once it"
                     " is checked again\n",
                     static_cast<unsigned>(loose.size()), loose.size() == 1 ? "process is" : "processes are");
    bool ok = true;
    for (const Answer& answer : run.answers) {
        for (const Finding& f : answer.report.findings) {
            if (!done.insert(f.pid).second) continue;
            const std::string who =
                std::to_string(f.pid) + " (" + VisibleText(f.processName, answer.report.style) + ")";
            if (!f.process) {
                std::fprintf(err, "fencat: %s could not be held, so it is not signalled\n", who.c_str());
                ok = false;
                continue;
            }
            if (options.interactive && !Confirm(err, in, signalName, who)) continue;
            std::string error;
            switch (f.process->Signal(options.signal, error)) {
            case HeldProcess::Outcome::Sent: break;
            case HeldProcess::Outcome::Ended:
                std::fprintf(err, "fencat: %s ended before it was signalled\n", who.c_str());
                break;
            case HeldProcess::Outcome::Failed:
                std::fprintf(err, "fencat: cannot send %s to %s: %s\n", signalName, who.c_str(), error.c_str());
                ok = false;
                break;
            }
        }
    }
    return ok;
}

void KeepFindingsOf(std::vector<SearchReport>& reports, const std::vector<uint32_t>& pids) {
    for (SearchReport& report : reports) {
        auto& findings = report.findings;
        findings.erase(std::remove_if(findings.begin(), findings.end(),
                                      [&pids](const Finding& f) {
                                          return std::find(pids.begin(), pids.end(), f.pid) == pids.end();
                                      }),
                       findings.end());
    }
}

bool Stopped(const std::vector<SearchReport>& reports) {
    return std::any_of(reports.begin(), reports.end(),
                       [](const SearchReport& r) { return !r.Finished(); });
}

// Looks until the files are free or the time runs out, backing off from
// 10 ms to at most 250 ms between looks.
WaitState WaitUntilFree(const Options& options, FreeWatch& watch) {
    using Clock = std::chrono::steady_clock;
    const bool forever = options.waitSeconds < 0;
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(forever ? 0.0 : options.waitSeconds));
    Clock::duration pause = std::chrono::milliseconds(10);
    for (;;) {
        const WaitState state = watch.Look();
        TraceSearches(watch.Reports(), Words());
        if (state != WaitState::InUse || Stopped(watch.Reports()) || (!forever && Clock::now() >= until))
            return state;
        std::this_thread::sleep_for(forever ? pause : std::min(pause, until - Clock::now()));
        pause = std::min<Clock::duration>(pause * 2, std::chrono::milliseconds(250));
    }
}

}  // namespace

int RunSearches(const Options& options, FILE* out, FILE* err, FILE* in) {
    if (options.trace)
        SetDiagnosticStream(err);
    else
        DiscardDiagnostics();
    // As the window does at start, so that an administrator sees every
    // process; what it has to say is part of the trace.
    EnableSearchPrivileges();
    bool failed = false;
    Requests made = MakeRequests(options, err, failed);
    Run run;
    // A wait looks for itself; -k needs the processes first.
    if (!options.wait || options.kill) {
        std::vector<SearchReport> reports =
            options.pids.empty() ? RunSearch(made.requests) : RunSearch(made.requests, options.pids);
        // A search may look at more processes than it was asked to.
        if (!options.pids.empty()) KeepFindingsOf(reports, options.pids);
        TraceSearches(reports, Words());
        run = Collect(std::move(reports), made);
        // A run that ends in exit 2 prints no table header above its errors.
        if (!options.wait) PrintFindings(out, options.format, run.answers, !failed && !run.failed);
        failed = !FinishOutput(out, err) || failed;
        if (options.kill && run.Found() && !SignalAll(options, run, err, in)) failed = true;
    }
    WaitState state = WaitState::InUse;
    if (options.wait && !failed && !run.failed) {
        FreeWatch watch(made.requests, OwnProcessId());
        state = WaitUntilFree(options, watch);
        run = Collect(watch.Reports(), made);
    }
    TellFailures(run, err);
    std::fputs(NotExaminedNotice(run.notExamined).c_str(), err);
    if (run.notExamined.loadedUnlisted != 0)
        std::fprintf(err, "fencat: %s", UnlistedNotice(run.notExamined.loadedUnlisted, "fencat.exe").c_str());
    if (failed || run.failed) return kFailed;
    if (options.wait) {
        if (state == WaitState::FreeAmongExamined) return kNotAllExamined;
        return state == WaitState::Free ? kFound : kNotFound;
    }
    return run.Found() ? kFound : kNotFound;
}
