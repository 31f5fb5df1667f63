#include "search/UsageSearch.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Api.h"
#include "search/passes/SearchSteps.h"
#include "sysinfo/Diagnostics.h"
#include "sysinfo/DevicePaths.h"
#include "sysinfo/NativeApi.h"
#include "sysinfo/SystemModulesInformation.h"
#include "sysinfo/SystemProcessesInformation.h"

const char* GetFileNamePart(const char* path) {
    const char* p = path + std::strlen(path);
    for (; p > path; --p) {
        if (*p == '\\' || *p == '/') return p + 1;
    }
    return path;
}

bool NamesMatch(const char* candidate, const char* target) {
    return os::_mbsicmp(reinterpret_cast<const unsigned char*>(candidate),
                        reinterpret_cast<const unsigned char*>(target)) == 0;
}

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool EqualPrefix(const char* a, const char* b, size_t count) {
    return os::_mbsnbicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b),
                          count) == 0;
}

// The length of `path` without the separators it ends with. The second
// byte of a double-byte character can read as a backslash; it is none.
size_t LengthWithoutEndSeparators(const char* path) {
    size_t kept = 0;
    for (size_t i = 0; path[i] != '\0';) {
        const bool pair = os::IsDBCSLeadByte(static_cast<os::BYTE>(path[i])) && path[i + 1] != '\0';
        i += pair ? 2 : 1;
        if (pair || !IsSeparator(path[i - 1])) kept = i;
    }
    return kept;
}

}  // namespace

bool LiesAtOrBelow(const char* candidate, const char* folder) {
    const size_t length = std::strlen(folder);
    if (length == 0) return false;
    const size_t kept = LengthWithoutEndSeparators(folder);
    // A root such as "/": everything that begins with it.
    if (kept == 0) return EqualPrefix(candidate, folder, length);
    if (!EqualPrefix(candidate, folder, kept)) return false;
    // The first `kept` bytes matched, so the candidate has at least as many.
    const char next = candidate[kept];
    return next == '\0' || IsSeparator(next);
}

bool CandidateMatches(Matching matching, const char* candidate, const char* target) {
    switch (matching) {
    case Matching::Name: return NamesMatch(GetFileNamePart(candidate), target);
    case Matching::Path: return NamesMatch(candidate, target);
    case Matching::Tree: return LiesAtOrBelow(candidate, target);
    }
    return false;
}

void ReportFinding(ResultList& list, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const char* path) {
    Finding finding{kind, pid, Text(), Text(path)};
    finding.access = kind == Finding::Kind::Module ? Finding::kMapped : Finding::kOpen;
    const ProcessEntry* entry = nullptr;
    if (snapshot.Lookup(pid, entry)) UnicodeStringToText(&entry->ImageName, finding.processName);
    list.Append(FormatResultLine(pid, finding.processName).c_str(), finding);
}

namespace {

bool RunModulePass(const char* target, Matching matching, ResultList& list) {
    SystemProcessesInformation snapshot(false);
    SystemModulesInformation modules(SystemModulesInformation::kAllProcesses, false);
    if (!modules.Refresh()) {
        Diag("SystemModulesInformation::Refresh() failed.\n");
        return false;
    }
    // Told before the list's emptiness can stop the search: when every
    // process refused, this is why.
    list.ProcessesNotExamined(modules.DeniedProcesses());
    if (modules.Entries().empty()) {
        Diag("No module information\n");
        return false;
    }
    snapshot.Refresh();
    PrintPassHeader(66);
    for (const ModuleEntry& module : modules.Entries()) {
        if (CandidateMatches(matching, module.path, target))
            ReportFinding(list, snapshot, Finding::Kind::Module, module.ownerPid, module.path);
    }
    return true;
}

}  // namespace

const bool kBackslashIsText = false;

void EnableSearchPrivileges() { EnableDebugPrivilege(); }

Text DisplayPath(const Finding& finding) {
    if (finding.kind != Finding::Kind::Handle) return finding.path;
    Text dosPath;
    return GetDosFileName(finding.path.c_str(), dosPath) ? dosPath : finding.path;
}

void RunUsageSearches(std::vector<SearchRequest>& requests) {
    for (SearchRequest& request : requests) {
        request.list->Begin();
        request.end = RunUsageSearch(request.name.c_str(), *request.list, request.scope);
    }
}

SearchEnd RunUsageSearch(const char* droppedName, ResultList& list, SearchScope scope) {
    if (scope == SearchScope::Device) {
        // Handle names carry no file system to compare.
        Diag("Searching a whole file system is not supported here.\n");
        return SearchEnd::Stopped;
    }
    // A folder's tree is always searched by path, even for a bare name.
    const Matching matching = scope == SearchScope::Tree                 ? Matching::Tree
                              : GetFileNamePart(droppedName) != droppedName ? Matching::Path
                                                                            : Matching::Name;
    char target[os::MAX_PATH];
    if (matching != Matching::Name) {
        os::DWORD length = os::GetFullPathNameA(droppedName, os::MAX_PATH, target, nullptr);
        if (length == 0 || length >= os::MAX_PATH) {
            // A result of MAX_PATH or more is the size the path would need:
            // the buffer was not filled.
            int error = length == 0 ? static_cast<int>(os::GetLastError())
                                    : static_cast<int>(os::ERROR_FILENAME_EXCED_RANGE);
            Diag("GetFullPathName() failed. Error = %d\n", error);
            return SearchEnd::Stopped;
        }
    } else {
        size_t length = std::strlen(droppedName);
        if (length >= os::MAX_PATH) {
            Diag("File name too long. Error = %d\n", static_cast<int>(os::ERROR_FILENAME_EXCED_RANGE));
            return SearchEnd::Stopped;
        }
        std::memcpy(target, droppedName, length + 1);
    }
    if (!RunModulePass(target, matching, list)) return SearchEnd::Stopped;
    // A file's device form is made from the name as dropped; a folder's from
    // its full path, so that a relative folder is searched where it is.
    const char* handleTarget = matching == Matching::Tree ? target : droppedName;
    return RunHandlePass(handleTarget, matching, list) ? SearchEnd::Finished : SearchEnd::Stopped;
}

