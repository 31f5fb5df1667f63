#include "cli/Run.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <system_error>
#include <thread>

#include "app/core/Drop.h"
#include "cli/Platform.h"
#include "search/Diagnostics.h"
#include "search/Paths.h"
#include "search/ResultLine.h"

bool NameToSearch(const std::string& file, std::string& name, std::string& error, bool tree) {
    if (file.empty()) {
        error = tree ? "empty folder name" : "empty file name";
        return false;
    }
    if (!tree && !NamesAPath(file)) {
        name = file;
        return true;
    }
    switch (CheckPath(file, name, error)) {
    case PathCheck::There: return true;
    case PathCheck::Missing: error = file + ": " + error; return false;
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
    return false;
}

namespace {

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
                                  : NamesAPath(name)   ? SearchScope::File
                                                       : SearchScope::Name;
        made.requests.push_back(SearchRequest{name, scope});
        made.arguments.push_back(query.argument);
    }
    return made;
}

// One look at the processes for every request.
struct Run {
    std::vector<Answer> answers;
    bool failed = false;
    uint32_t notExamined = 0;  // every search saw the same processes: the largest count
    std::vector<uint32_t> stalled;
    std::vector<std::string> stops;  // "FILE: why its search stopped"
    uint32_t unlisted = 0;

    bool Found() const {
        return std::any_of(answers.begin(), answers.end(), [](const Answer& a) { return !a.report.findings.empty(); });
    }
    // A process given up unread may well use the file.
    bool Free() const { return !Found() && stalled.empty(); }
};

// The requests keep what the search made of their names for the next look.
Run Search(Requests& made) {
    Run run;
    std::vector<SearchReport> reports = RunSearch(made.requests);
    for (size_t i = 0; i < reports.size(); ++i) {
        const SearchReport& report = reports[i];
        // Each FILE's trace is that of a drop of that one file.
        Diag("DragDrop\n");
        TraceSearch(report);
        run.failed = run.failed || report.end != SearchEnd::Finished;
        if (report.end != SearchEnd::Finished) {
            const std::string& why = report.failure;
            run.stops.push_back(made.arguments[i] + ": " + why.substr(0, why.find_last_not_of('\n') + 1));
        }
        run.unlisted = std::max(run.unlisted, report.unlisted);
        // fencat is no user of what it searches for.
        auto& findings = reports[i].findings;
        findings.erase(std::remove_if(findings.begin(), findings.end(),
                                      [](const Finding& f) { return f.pid == OwnProcessId(); }),
                       findings.end());
        if (report.reached >= SearchStage::ProcessesRead) {
            run.notExamined = std::max(run.notExamined, report.refused);
            if (report.stalled.size() > run.stalled.size()) run.stalled = report.stalled;
        }
        run.answers.push_back(Answer{made.arguments[i], std::move(reports[i])});
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
    for (const Answer& answer : run.answers) {
        for (const Finding& f : answer.report.findings) {
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

// Looks again until the files are free or the time runs out, backing off
// from 10 ms to at most 250 ms between looks.
Run WaitUntilFree(const Options& options, Requests& requests, Run run) {
    using Clock = std::chrono::steady_clock;
    const bool forever = options.waitSeconds < 0;
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(forever ? 0.0 : options.waitSeconds));
    Clock::duration pause = std::chrono::milliseconds(10);
    while (!run.Free() && !run.failed && (forever || Clock::now() < until)) {
        std::this_thread::sleep_for(forever ? pause : std::min(pause, until - Clock::now()));
        pause = std::min<Clock::duration>(pause * 2, std::chrono::milliseconds(250));
        run = Search(requests);
    }
    return run;
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
    // Every search that stopped says why, trace or not.
    for (const std::string& stop : run.stops) std::fprintf(err, "fencat: %s\n", VisibleText(stop).c_str());
    if (!options.wait) PrintFindings(out, options.format, run.answers);
    std::fflush(out);
    if (options.kill && run.Found() && !SignalAll(options, run, err, in)) failed = true;
    if (options.wait && !failed) {
        run = WaitUntilFree(options, requests, std::move(run));
        failed = failed || run.failed;
    }
    std::fputs(NotExaminedNotice(run.notExamined, run.stalled).c_str(), err);
    if (run.unlisted != 0) std::fprintf(err, "fencat: %s", UnlistedNotice(run.unlisted, "fencat.exe").c_str());
    if (failed) return kFailed;
    if (options.wait) return run.Free() ? kFound : kNotFound;
    return run.Found() ? kFound : kNotFound;
}
