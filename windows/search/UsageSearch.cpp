#include <string>
#include <vector>

#include "search/Paths.h"
#include "search/Search.h"
#include "windows/platform/Api.h"
#include "windows/search/MappedViews.h"
#include "windows/search/SearchSteps.h"
#include "windows/sysinfo/DevicePaths.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemModulesInformation.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

namespace {

bool g_mappedViews = false;

bool StartsWith(const WideText& text, std::u16string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

void SearchMappedViews(bool search) { g_mappedViews = search; }

WideText PlainPath(const WideText& path) {
    for (std::u16string_view prefix : {u"\\\\?\\", u"\\??\\"}) {
        if (!StartsWith(path, prefix)) continue;
        const WideText rest = path.substr(prefix.size());
        return rest.size() > 3 && NamesMatch(std::u16string_view(rest).substr(0, 4), u"UNC\\") ? u"\\" + rest.substr(3)
                                                                                                 : rest;
    }
    return path;
}

const FileId* CandidateFiles::IdOf(const WideText& path) {
    Facts& facts = m_files[path];
    if (!facts.idAsked) {
        facts.idAsked = true;
        facts.idRead = FileIdOfPath(path, facts.id);
    }
    return facts.idRead ? &facts.id : nullptr;
}

const WideText& CandidateFiles::OtherNameOf(const WideText& path, bool shortForm) {
    Facts& facts = m_files[path];
    WideText& other = facts.other[shortForm];
    if (!facts.otherAsked[shortForm]) {
        facts.otherAsked[shortForm] = true;
        const WideText name = ExtendedLengthPath(path);
        auto ask = [&](WideText& buffer) {
            return shortForm ? os::GetShortPathNameW(name.c_str(), &buffer[0], static_cast<os::DWORD>(buffer.size()))
                             : os::GetLongPathNameW(name.c_str(), &buffer[0], static_cast<os::DWORD>(buffer.size()));
        };
        WideText buffer(os::MAX_PATH, u'\0');
        os::DWORD length = ask(buffer);
        if (length >= buffer.size()) {
            buffer.assign(length + 1, u'\0');
            length = ask(buffer);
        }
        if (length != 0 && length < buffer.size()) {
            buffer.resize(length);
            const std::u16string_view final = FinalComponent<char16_t>(buffer, PathStyle::Windows);
            other.assign(final.data(), final.size());
        }
    }
    return other;
}

namespace {

// A short name (LONG~1.DLL) stands for a long one and the other way round;
// only names with a tilde can be either.
bool MayBeShort(std::u16string_view name) { return name.find(u'~') != std::u16string_view::npos; }

// Whether the file at `dosPath`, whose final component `final` is not the
// target's name, is the target through its short or long form.
bool OtherFormMatches(const Target& target, std::u16string_view final, const WideText& dosPath,
                      CandidateFiles& files) {
    if (dosPath.empty()) return false;
    return (MayBeShort(target.name) && NamesMatch(files.OtherNameOf(dosPath, true), target.name)) ||
           (MayBeShort(final) && NamesMatch(files.OtherNameOf(dosPath, false), target.name));
}

// Whether the final component of `path` is the target's bare name, also
// through the short or long form of the file at `dosPath` (its drive-letter
// path, or empty when there is none).
bool NameMatches(const Target& target, const WideText& path, const WideText& dosPath, CandidateFiles& files) {
    const std::u16string_view final = FinalComponent<char16_t>(path, PathStyle::Windows);
    return NamesMatch(final, target.name) || OtherFormMatches(target, final, dosPath, files);
}

}  // namespace

bool DosForm(const WideText& name, WideText& dosPath) {
    dosPath = PlainPath(name);
    if (dosPath != name) return !dosPath.empty();
    if (GetDosFileName(name, dosPath)) return true;
    dosPath.clear();
    return false;
}

bool DeviceNameMatches(const Target& target, const WideText& name, CandidateFiles& files) {
    const std::u16string_view final = FinalComponent<char16_t>(name, PathStyle::Windows);
    if (NamesMatch(final, target.name)) return true;
    // The DOS form costs a look at every drive letter; ask only where a
    // short or long form could match.
    if (!MayBeShort(target.name) && !MayBeShort(final)) return false;
    WideText dosPath;
    return DosForm(name, dosPath) && OtherFormMatches(target, final, dosPath, files);
}

bool LiesAtOrBelow(const WideText& candidate, const WideText& folder) {
    return LiesAtOrBelow<char16_t>(candidate, folder,
                                   PathStyle::Windows, [](std::u16string_view a, std::u16string_view b, size_t count) {
                                       return NamesMatch(a.substr(0, count), b.substr(0, count));
                                   });
}

void ReportFinding(SearchReport& report, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const WideText& path, const std::shared_ptr<OwnerProcess>& owner) {
    Finding finding{kind, pid, Text(), ToUtf8(path)};
    finding.access = kind == Finding::Kind::Handle ? Finding::kOpen : Finding::kMapped;
    finding.process = owner;
    const ProcessEntry* entry = nullptr;
    if (snapshot.Lookup(pid, entry)) UnicodeStringToText(&entry->ImageName, finding.processName);
    report.findings.push_back(std::move(finding));
}

namespace {

bool ModuleMatches(const Target& target, const WideText& path, CandidateFiles& files) {
    const WideText plain = PlainPath(path);
    switch (target.matching) {
    case Matching::Name: return NameMatches(target, plain, plain, files);
    case Matching::Tree: return LiesAtOrBelow(plain, target.name);
    case Matching::Path:
        if (target.hasId) {
            if (const FileId* id = files.IdOf(plain)) return SameFile(*id, target.id);
        }
        return NamesMatch(plain, target.name);
    }
    return false;
}

bool RunModulePass(const Target& target, OwnerProcesses& owners, CandidateFiles& files, SearchReport& report) {
    SystemProcessesInformation snapshot(false);
    SystemModulesInformation modules(SystemModulesInformation::kAllProcesses, false, &owners);
    if (!modules.Refresh()) {
        report.stop.cause = SearchStop::Cause::ProcessesUnread;
        return false;
    }
    // Told even when the list's emptiness stops the search: when every
    // process refused, this is why.
    report.reached = SearchStage::ProcessesRead;
    report.refused = modules.DeniedProcesses();
    report.loadedUnlisted = modules.UnlistedProcesses();
    if (modules.Entries().empty()) {
        report.stop.cause = SearchStop::Cause::NoLoadedFiles;
        return false;
    }
    snapshot.Refresh();
    report.reached = SearchStage::LoadedFilesRead;
    for (const ModuleEntry& module : modules.Entries()) {
        if (ModuleMatches(target, module.path, files))
            ReportFinding(report, snapshot, Finding::Kind::Module, module.ownerPid, module.path,
                          owners.Get(module.ownerPid));
    }
    return true;
}

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

SearchReport SearchOne(const Text& requested, SearchScope scope) {
    SearchReport report;
    report.style = PathStyle::Windows;
    if (scope == SearchScope::Device) {
        // Handle names carry no file system to compare.
        report.stop.cause = SearchStop::Cause::FileSystemUnsupported;
        return report;
    }
    Target target;
    target.matching = scope == SearchScope::Tree   ? Matching::Tree
                      : scope == SearchScope::Name ? Matching::Name
                                                   : Matching::Path;
    target.given = FromUtf8(requested);
    if (target.matching == Matching::Name) {
        target.name = target.given;
    } else if (!FullPath(target.given, target.name, report.stop)) {
        return report;
    }
    if (target.matching == Matching::Path) target.hasId = FileIdOfPath(target.name, target.id);
    OwnerProcesses owners;
    CandidateFiles files;
    if (!RunModulePass(target, owners, files, report)) return report;
    if (!RunHandlePass(target, owners, report)) return report;
    if (g_mappedViews) RunMappedViewPass(target, owners, files, report);
    return report;
}

}  // namespace

void EnableSearchPrivileges() { EnableDebugPrivilege(); }

Text DisplayPath(const Finding& finding) {
    if (finding.kind == Finding::Kind::Module) return finding.path;
    const WideText path = FromUtf8(finding.path);
    if (StartsWith(path, u"\\??\\")) return ToUtf8(PlainPath(path));
    WideText dosPath;
    return GetDosFileName(path, dosPath) ? ToUtf8(dosPath) : finding.path;
}

std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests) {
    std::vector<SearchReport> reports;
    for (const SearchRequest& request : requests) reports.push_back(SearchOne(request.name, request.scope));
    return reports;
}

// The passes list every process; one look at them all answers for any few.
std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests, const std::vector<uint32_t>&) {
    return RunSearch(requests);
}
