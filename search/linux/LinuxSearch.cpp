// The search on Linux: one scan of /proc by file identity for all names.
#include <cerrno>

#include "platform/WinTypes.h"
#include "search/UsageSearch.h"
#include "search/linux/Scan.h"
#include "search/linux/Targets.h"
#include "sysinfo/Diagnostics.h"

namespace {

// The failure texts are the window's own, with the codes its users know.
int ErrorCode(int error) {
    switch (error) {
    case ENOENT: return static_cast<int>(os::ERROR_FILE_NOT_FOUND);
    case ENOTDIR: return static_cast<int>(os::ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM: return static_cast<int>(os::ERROR_ACCESS_DENIED);
    case ENAMETOOLONG: return static_cast<int>(os::ERROR_FILENAME_EXCED_RANGE);
    default: return static_cast<int>(os::ERROR_INVALID_FUNCTION);
    }
}

void Report(const std::vector<std::vector<proc::Hit>>& processes, uint32_t target, Finding::Kind kind,
            ResultList& list) {
    for (const std::vector<proc::Hit>& hits : processes) {
        for (const proc::Hit& hit : hits) {
            if (hit.target == target && hit.finding.kind == kind)
                list.Append(FormatResultLine(hit.finding.pid, hit.finding.processName).c_str(), hit.finding);
        }
    }
}

}  // namespace

const bool kBackslashIsText = true;

void EnableSearchPrivileges() {}

Text DisplayPath(const Finding& finding) { return finding.path; }

struct ResolvedName {
    proc::Target target;
    int error = 0;  // errno's value where the name named nothing
};

void RunUsageSearches(std::vector<SearchRequest>& requests) {
    std::vector<proc::Target> targets;
    std::vector<int> errors(requests.size(), 0);
    std::vector<uint32_t> index(requests.size(), 0);
    for (size_t i = 0; i < requests.size(); ++i) {
        if (!requests[i].resolved) {
            auto resolved = std::make_shared<ResolvedName>();
            if (!proc::ResolveTarget(requests[i].name, requests[i].scope, resolved->target, resolved->error))
                resolved->error = resolved->error != 0 ? resolved->error : EINVAL;
            requests[i].resolved = std::move(resolved);
        }
        errors[i] = requests[i].resolved->error;
        if (errors[i] == 0) {
            index[i] = static_cast<uint32_t>(targets.size());
            targets.push_back(requests[i].resolved->target);
        }
    }
    proc::ScanOutcome scan;
    if (!targets.empty()) scan = proc::Scan(targets);

    for (size_t i = 0; i < requests.size(); ++i) {
        SearchRequest& request = requests[i];
        ResultList& list = *request.list;
        list.Begin();
        request.end = SearchEnd::Stopped;
        if (errors[i] != 0) {
            Diag("GetFullPathName() failed. Error = %d\n", ErrorCode(errors[i]));
            continue;
        }
        if (!scan.listed) {
            Diag("SystemModulesInformation::Refresh() failed.\n");
            continue;
        }
        list.ProcessesNotExamined(scan.refused);
        if (!scan.stalled.empty()) list.ProcessesStalled(scan.stalled);
        PrintPassHeader(66);
        Report(scan.processes, index[i], Finding::Kind::Module, list);
        PrintPassHeader(54);
        Report(scan.processes, index[i], Finding::Kind::Handle, list);
        request.end = SearchEnd::Finished;
    }
}

SearchEnd RunUsageSearch(const char* droppedName, ResultList& list, SearchScope scope) {
    std::vector<SearchRequest> one{SearchRequest{droppedName, scope, &list}};
    RunUsageSearches(one);
    return one[0].end;
}
