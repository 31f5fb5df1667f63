#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "search/Paths.h"
#include "search/Search.h"
#include "windows/platform/Api.h"
#include "windows/search/SearchSteps.h"
#include "windows/sysinfo/DevicePaths.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemModulesInformation.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

const PathStyle kPathStyle = PathStyle::Windows;

const char* GetFileNamePart(const char* path) {
    return path + FinalComponentStart(std::string_view(path), PathStyle::Windows);
}

bool NamesMatch(const char* candidate, const char* target) {
    return os::_mbsicmp(reinterpret_cast<const unsigned char*>(candidate),
                        reinterpret_cast<const unsigned char*>(target)) == 0;
}

namespace {

// The length of `path` without the separators it ends with. The second
// byte of a double-byte character can read as a backslash; it is none.
size_t LengthWithoutEndSeparators(const char* path) {
    size_t kept = 0;
    for (size_t i = 0; path[i] != '\0';) {
        const bool pair = os::IsDBCSLeadByte(static_cast<os::BYTE>(path[i])) && path[i + 1] != '\0';
        i += pair ? 2 : 1;
        if (pair || !IsPathSeparator(path[i - 1], PathStyle::Windows)) kept = i;
    }
    return kept;
}

std::string Line(const char* format, int value) {
    char line[96];
    std::snprintf(line, sizeof line, format, value);
    return line;
}

}  // namespace

bool LiesAtOrBelow(const char* candidate, const char* folder) {
    return LiesAtOrBelow<char>(candidate, folder, LengthWithoutEndSeparators(folder), PathStyle::Windows,
                               [](std::string_view a, std::string_view b, size_t count) {
                                   return os::_mbsnbicmp(reinterpret_cast<const unsigned char*>(a.data()),
                                                         reinterpret_cast<const unsigned char*>(b.data()),
                                                         count) == 0;
                               });
}

bool CandidateMatches(Matching matching, const char* candidate, const char* target) {
    switch (matching) {
    case Matching::Name: return NamesMatch(GetFileNamePart(candidate), target);
    case Matching::Path: return NamesMatch(candidate, target);
    case Matching::Tree: return LiesAtOrBelow(candidate, target);
    }
    return false;
}

void ReportFinding(SearchReport& report, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const char* path) {
    Finding finding{kind, pid, Text(), Text(path)};
    finding.access = kind == Finding::Kind::Module ? Finding::kMapped : Finding::kOpen;
    const ProcessEntry* entry = nullptr;
    if (snapshot.Lookup(pid, entry)) UnicodeStringToText(&entry->ImageName, finding.processName);
    report.findings.push_back(std::move(finding));
}

namespace {

bool RunModulePass(const char* target, Matching matching, SearchReport& report) {
    SystemProcessesInformation snapshot(false);
    SystemModulesInformation modules(SystemModulesInformation::kAllProcesses, false);
    if (!modules.Refresh()) {
        report.failure = "SystemModulesInformation::Refresh() failed.\n";
        return false;
    }
    // Told even when the list's emptiness stops the search: when every
    // process refused, this is why.
    report.reached = SearchStage::ProcessesRead;
    report.refused = modules.DeniedProcesses();
    if (modules.Entries().empty()) {
        report.failure = "No module information\n";
        return false;
    }
    snapshot.Refresh();
    report.reached = SearchStage::ModulesListed;
    for (const ModuleEntry& module : modules.Entries()) {
        if (CandidateMatches(matching, module.path, target))
            ReportFinding(report, snapshot, Finding::Kind::Module, module.ownerPid, module.path);
    }
    return true;
}

SearchReport SearchOne(const char* name, SearchScope scope) {
    SearchReport report;
    if (scope == SearchScope::Device) {
        // Handle names carry no file system to compare.
        report.failure = "Searching a whole file system is not supported here.\n";
        return report;
    }
    const Matching matching = scope == SearchScope::Tree   ? Matching::Tree
                              : scope == SearchScope::Name ? Matching::Name
                                                           : Matching::Path;
    char target[os::MAX_PATH];
    if (matching != Matching::Name) {
        os::DWORD length = os::GetFullPathNameA(name, os::MAX_PATH, target, nullptr);
        if (length == 0 || length >= os::MAX_PATH) {
            // A result of MAX_PATH or more is the size the path would need:
            // the buffer was not filled.
            int error = length == 0 ? static_cast<int>(os::GetLastError())
                                    : static_cast<int>(os::ERROR_FILENAME_EXCED_RANGE);
            report.failure = Line("GetFullPathName() failed. Error = %d\n", error);
            return report;
        }
    } else {
        size_t length = std::strlen(name);
        if (length >= os::MAX_PATH) {
            report.failure = Line("File name too long. Error = %d\n", static_cast<int>(os::ERROR_FILENAME_EXCED_RANGE));
            return report;
        }
        std::memcpy(target, name, length + 1);
    }
    if (!RunModulePass(target, matching, report)) return report;
    // A file's device form is made from the name as given; a folder's from
    // its full path, so that a relative folder is searched where it is.
    const char* handleTarget = matching == Matching::Tree ? target : name;
    if (RunHandlePass(handleTarget, matching, report)) report.end = SearchEnd::Finished;
    return report;
}

}  // namespace

void EnableSearchPrivileges() { EnableDebugPrivilege(); }

Text DisplayPath(const Finding& finding) {
    if (finding.kind != Finding::Kind::Handle) return finding.path;
    Text dosPath;
    return GetDosFileName(finding.path.c_str(), dosPath) ? dosPath : finding.path;
}

std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests) {
    std::vector<SearchReport> reports;
    for (const SearchRequest& request : requests) reports.push_back(SearchOne(request.name.c_str(), request.scope));
    return reports;
}

// The passes list every process; one look at them all answers for any few.
std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests, const std::vector<uint32_t>&) {
    return RunSearch(requests);
}
