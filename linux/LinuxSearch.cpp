// The search on Linux: one scan of /proc by file identity for all names.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "linux/Scan.h"
#include "linux/Targets.h"
#include "search/Paths.h"
#include "search/Search.h"

namespace {

// The failure texts are the window's own, with the system error codes its
// users know (file or path not found, access denied, name too long).
int ErrorCode(int error) {
    switch (error) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES:
    case EPERM: return 5;
    case ENAMETOOLONG: return 206;
    default: return 1;
    }
}

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

}  // namespace

const PathStyle kPathStyle = PathStyle::Unix;

void EnableSearchPrivileges() {}

Text DisplayPath(const Finding& finding) { return finding.path; }

struct ResolvedName {
    proc::Target target;
    int error = 0;  // errno's value where the name named nothing
};

std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests) {
    const int procRoot = open("/proc", O_PATH | O_DIRECTORY | O_CLOEXEC);
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
    if (!targets.empty() && procRoot >= 0) scan = proc::Scan(targets, procRoot);
    if (procRoot >= 0) close(procRoot);

    std::vector<SearchReport> reports(requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        SearchReport& report = reports[i];
        if (const int error = requests[i].resolved->error; error != 0) {
            char line[64];
            std::snprintf(line, sizeof line, "GetFullPathName() failed. Error = %d\n", ErrorCode(error));
            report.failure = line;
            continue;
        }
        if (!scan.listed) {
            report.failure = "SystemModulesInformation::Refresh() failed.\n";
            continue;
        }
        report.end = SearchEnd::Finished;
        report.reached = SearchStage::HandlesListed;
        report.refused = scan.refused;
        report.stalled = scan.stalled;
        Collect(scan.processes, index[i], report);
    }
    return reports;
}
