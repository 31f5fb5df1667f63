// The one walk: every request is answered from one look at the processes,
// their modules, the handle table and the mapped views.
#include <algorithm>
#include <string>
#include <vector>

#include "search/Search.h"
#include "windows/platform/Api.h"
#include "windows/search/Match.h"
#include "windows/search/MappedViews.h"
#include "windows/search/Owner.h"
#include "windows/search/SearchSteps.h"
#include "windows/sysinfo/SystemModulesInformation.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

namespace {

bool StartsWith(const WideText& text, std::u16string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// The full path of `name`, however long; false with why in `stop`.
bool FullPath(const WideText& name, WideText& full, SearchStop& stop) {
    WideText absolute;
    if (AbsolutePath(name, absolute)) {
        full = PlainPath(absolute);
        return true;
    }
    stop = SearchStop{SearchStop::Cause::NameUnresolved, static_cast<int>(os::GetLastError())};
    return false;
}

// A folder's long form, where the system gives one that differs.
WideText LongFormOf(const WideText& folder) {
    const WideText name = ExtendedLengthPath(folder);
    WideText buffer(os::MAX_PATH, u'\0');
    os::DWORD length = os::GetLongPathNameW(name.c_str(), &buffer[0], static_cast<os::DWORD>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.assign(length + 1, u'\0');
        length = os::GetLongPathNameW(name.c_str(), &buffer[0], static_cast<os::DWORD>(buffer.size()));
    }
    if (length == 0 || length >= buffer.size()) return WideText();
    buffer.resize(length);
    buffer = PlainPath(buffer);
    return NamesMatch(buffer, folder) ? WideText() : buffer;
}

// The target of one request; false with the report's stop set when the
// request cannot be searched at all.
bool MakeTarget(const SearchRequest& request, Target& target, SearchReport& report) {
    if (request.scope == SearchScope::Device) {
        // Handle names carry no file system to compare.
        report.stop.cause = SearchStop::Cause::FileSystemUnsupported;
        return false;
    }
    target.matching = request.scope == SearchScope::Tree   ? Matching::Tree
                      : request.scope == SearchScope::Name ? Matching::Name
                                                           : Matching::Path;
    target.given = FromUtf8(request.name);
    if (target.matching == Matching::Name) {
        target.name = target.given;
        return true;
    }
    if (!FullPath(target.given, target.name, report.stop)) return false;
    // A literal name is full already, and stays as it is spelled, whatever
    // the system's full-path rules would make of it.
    target.literal = StartsWith(target.given, u"\\\\?\\");
    if (target.literal) target.name = PlainPath(target.given);
    // A literal name is opened as given: its trailing dots and blanks are
    // part of it, and a reserved name in it is a file, not a device.
    const WideText open = target.literal ? LiteralPath(target.name) : target.name;
    target.hasId = FileIdOfPath(open, target.id);
    if (target.matching == Matching::Tree) target.longName = LongFormOf(target.name);
    return true;
}

}  // namespace

std::vector<uint32_t> RunModulePass(std::vector<Searched>& searched, OwnerProcesses& owners, CandidateFiles& files) {
    SystemProcessesInformation snapshot(false);
    SystemModulesInformation modules(SystemModulesInformation::kAllProcesses, false, &owners);
    const bool refreshed = modules.Refresh();
    for (Searched& one : searched) {
        if (!one.live) continue;
        if (!refreshed) {
            one.Stop(SearchStop::Cause::ProcessesUnread);
            continue;
        }
        // Told even when the list's emptiness stops the search: when every
        // process refused, this is why.
        one.report->reached = SearchStage::ProcessesRead;
        one.report->refused = modules.DeniedProcesses();
        one.report->loadedUnlisted = modules.UnlistedProcesses();
        if (modules.Entries().empty()) one.Stop(SearchStop::Cause::NoLoadedFiles);
    }
    if (!refreshed || modules.Entries().empty()) return modules.UnreadProcesses();
    snapshot.Refresh();
    for (Searched& one : searched) {
        if (one.live) one.report->reached = SearchStage::LoadedFilesRead;
    }
    for (const ModuleEntry& module : modules.Entries()) {
        for (Searched& one : searched) {
            if (one.live && ModuleMatches(one.target, module.path, files))
                ReportFinding(*one.report, snapshot, Finding::Kind::Module, module.ownerPid, module.path,
                              owners.Get(module.ownerPid));
        }
    }
    return modules.UnreadProcesses();
}

std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests) {
    std::vector<SearchReport> reports(requests.size());
    for (SearchReport& report : reports) report.style = PathStyle::Windows;
    std::vector<Searched> searched;
    searched.reserve(requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        Searched one{Target(), &reports[i]};
        if (MakeTarget(requests[i], one.target, reports[i])) searched.push_back(std::move(one));
    }
    auto anyLive = [&searched] {
        return std::any_of(searched.begin(), searched.end(), [](const Searched& one) { return one.live; });
    };
    if (!anyLive()) return reports;
    OwnerProcesses owners;
    CandidateFiles files;
    const std::vector<uint32_t> modulesUnread = RunModulePass(searched, owners, files);
    if (anyLive()) RunHandlePass(searched, owners, files);
    if (anyLive() && SearchesMappedViews()) RunMappedViewPass(searched, owners, files, modulesUnread);
    for (SearchReport& report : reports) AddIdentities(report);
    return reports;
}

// The passes list every process; one look at them all answers for any few.
std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests, const std::vector<uint32_t>&) {
    return RunSearch(requests);
}
