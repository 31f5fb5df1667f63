// The search on Linux: one scan of /proc by file identity for all names.
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "linux/Owner.h"
#include "linux/Scan.h"
#include "linux/Targets.h"
#include "linux/UnixSockets.h"
#include "search/Paths.h"
#include "search/Search.h"

namespace {

// The findings of one target: modules first, then handles, each by process.
void Collect(const std::vector<std::vector<proc::Hit>>& processes, uint32_t target, SearchReport& report) {
    for (const Finding::Kind kind : {Finding::Kind::Module, Finding::Kind::Handle}) {
        for (const std::vector<proc::Hit>& hits : processes) {
            for (const proc::Hit& hit : hits) {
                if (hit.target == target && hit.finding.kind == kind) report.findings.push_back(hit.finding);
            }
        }
    }
}

// Who each process found is, given to each of its findings.
void AddIdentities(std::vector<std::vector<proc::Hit>>& processes, int procRoot) {
    std::vector<proc::Found> found;
    for (const std::vector<proc::Hit>& hits : processes) {
        if (!hits.empty()) found.push_back(proc::Found{hits.front().finding.pid, hits.front().finding.process});
    }
    const auto identities = proc::ReadIdentities(found, procRoot);
    size_t next = 0;
    for (std::vector<proc::Hit>& hits : processes) {
        if (hits.empty()) continue;
        for (proc::Hit& hit : hits) hit.finding.identity = identities[next];
        ++next;
    }
}

}  // namespace

void EnableSearchPrivileges() {}

Text DisplayPath(const Finding& finding) { return finding.path; }

struct ResolvedName {
    proc::Target target;
    int error = 0;  // errno's value where the name named nothing
};

namespace {

// Whether this process runs as root, or with the rights that let root read
// every process.
bool Privileged() {
    if (geteuid() == 0) return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    auto has = [&data](unsigned cap) { return (data[cap / 32].effective >> (cap % 32) & 1u) != 0; };
    return has(CAP_SYS_PTRACE) && has(CAP_DAC_READ_SEARCH);
}

// What the mount options of /proc hide from this search, in a sentence.
std::string Hidden(int procRoot, const std::vector<proc::Target>& targets, bool privileged) {
    // How /proc is mounted does not change while a wait looks again and again.
    static const std::string options = [procRoot] {
        std::string mountinfo, found;
        if (!proc::ReadWholeFile(procRoot, "self/mountinfo", mountinfo)) return std::string();
        return proc::ProcMountOptions(mountinfo, found) ? found : std::string();
    }();
    std::string hidden;
    if (options.empty()) return hidden;
    // The kernel's socket diagnostics list the sockets however /proc is mounted.
    const bool sockets = std::any_of(targets.begin(), targets.end(), [](const proc::Target& t) {
        return t.socketFile || t.match != proc::Target::Match::Identity;
    }) && [] {
        std::vector<proc::BoundSocket> bound;
        return !proc::ListBoundSockets(bound);
    }();
    for (size_t at = 0; at <= options.size();) {
        const size_t comma = std::min(options.find(',', at), options.size());
        const std::string option = options.substr(at, comma - at);
        at = comma + 1;
        // Those who may trace every process see them all.
        if (option.compare(0, 8, "hidepid=") == 0 && option != "hidepid=0" && option != "hidepid=off" && !privileged)
            hidden += "/proc is mounted with " + option + ", which hides other users' processes: they were not"
                      " examined.";
        if (option == "subset=pid" && sockets)
            hidden += std::string(hidden.empty() ? "" : " ") + "/proc is mounted with subset=pid, which hides the"
                      " table of UNIX sockets: a process is not found by a socket bound to a file.";
    }
    return hidden;
}

std::vector<SearchReport> Search(std::vector<SearchRequest>& requests, const std::vector<uint32_t>* pids) {
    const int procRoot = open("/proc", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int procError = procRoot < 0 ? errno : 0;
    std::vector<proc::Target> targets;
    std::vector<uint32_t> index(requests.size(), 0);
    for (size_t i = 0; i < requests.size(); ++i) {
        SearchRequest& request = requests[i];
        if (!request.resolved) {
            auto resolved = std::make_shared<ResolvedName>();
            if (!proc::ResolveTarget(request.name, request.scope, resolved->target, resolved->error, procRoot))
                resolved->error = resolved->error != 0 ? resolved->error : EINVAL;
            request.resolved = std::move(resolved);
        }
        if (request.resolved->error == 0) {
            index[i] = static_cast<uint32_t>(targets.size());
            targets.push_back(request.resolved->target);
        }
    }
    proc::ScanOutcome scan;
    if (!targets.empty() && procRoot >= 0) scan = proc::Scan(targets, procRoot, pids);
    AddIdentities(scan.processes, procRoot);
    // This process's rights stay what they were at its first search.
    static const bool privileged = Privileged();
    const std::string hidden = scan.listed ? Hidden(procRoot, targets, privileged) : std::string();
    if (procRoot >= 0) close(procRoot);

    std::vector<SearchReport> reports(requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        SearchReport& report = reports[i];
        report.style = PathStyle::Unix;
        if (const int error = requests[i].resolved->error; error != 0) {
            report.stop = SearchStop{SearchStop::Cause::NameUnresolved, error};
            continue;
        }
        if (!scan.listed) {
            report.stop = SearchStop{SearchStop::Cause::ProcessesUnread, procError != 0 ? procError : scan.listError};
            continue;
        }
        report.reached = SearchStage::OpenFilesRead;
        report.refused = static_cast<uint32_t>(scan.refused.size());
        report.someRefused.assign(scan.refused.begin(),
                                  scan.refused.begin() + std::min(scan.refused.size(), kRefusedNamed));
        report.stalled = scan.stalled;
        report.exhausted = static_cast<uint32_t>(scan.exhausted.size());
        report.someExhausted.assign(scan.exhausted.begin(),
                                    scan.exhausted.begin() + std::min(scan.exhausted.size(), kRefusedNamed));
        report.privileged = privileged;
        report.hidden = hidden;
        Collect(scan.processes, index[i], report);
    }
    return reports;
}

}  // namespace

std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests) { return Search(requests, nullptr); }

std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests, const std::vector<uint32_t>& pids) {
    return Search(requests, &pids);
}
