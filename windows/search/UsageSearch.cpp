#include <string>
#include <vector>

#include "search/Paths.h"
#include "search/Search.h"
#include "windows/platform/Api.h"
#include "windows/search/MappedViews.h"
#include "windows/search/Owner.h"
#include "windows/search/SearchSteps.h"
#include "windows/sysinfo/DevicePaths.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

namespace {

bool g_mappedViews = false;

bool StartsWith(const WideText& text, std::u16string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// C:\... : a full path on a drive letter.
bool IsDrivePath(const WideText& path) { return path.size() >= 3 && IsLetter(path[0]) && path[1] == u':' && path[2] == u'\\'; }

// FileCaseSensitiveInfo of the handle information classes, and its flag
// for a folder that tells names apart by case.
constexpr int kFileCaseSensitiveInfo = 23;
constexpr os::ULONG kCaseSensitiveDir = 0x1;

}  // namespace

void SearchMappedViews(bool search) { g_mappedViews = search; }

bool SearchesMappedViews() { return g_mappedViews; }

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
        facts.idRead = FileIdOfPath(LiteralPath(path), facts.id);
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

bool CandidateFiles::CaseSensitive(const WideText& folder) {
    Facts& facts = m_files[folder];
    if (facts.caseSensitive < 0) {
        facts.caseSensitive = 0;
        const WideText name = LiteralPath(folder);
        os::HANDLE file = os::CreateFileW(name.c_str(), os::FILE_READ_ATTRIBUTES,
                                          os::FILE_SHARE_READ | os::FILE_SHARE_WRITE | os::FILE_SHARE_DELETE, nullptr,
                                          os::OPEN_EXISTING, os::FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file != os::InvalidHandleValue() && file != nullptr) {
            os::ULONG flags = 0;
            if (os::GetFileInformationByHandleEx(file, kFileCaseSensitiveInfo, &flags, sizeof flags))
                facts.caseSensitive = (flags & kCaseSensitiveDir) != 0;
            os::CloseHandle(file);
        }
    }
    return facts.caseSensitive == 1;
}

WideText LiteralPath(const WideText& path) {
    if (IsDrivePath(path)) return u"\\\\?\\" + path;
    if (StartsWith(path, u"\\\\") && !StartsWith(path, u"\\\\?\\") && !StartsWith(path, u"\\\\.\\"))
        return u"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

bool DosForm(const WideText& name, WideText& dosPath) {
    dosPath = PlainPath(name);
    if (dosPath != name || IsDrivePath(name)) return !dosPath.empty();
    if (GetDosFileName(name, dosPath)) return true;
    dosPath.clear();
    return false;
}

void ReportFinding(SearchReport& report, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const WideText& path, const std::shared_ptr<OwnerProcess>& owner) {
    Finding finding{kind, pid, Text(), ToUtf8(path)};
    finding.access = kind == Finding::Kind::Handle ? Finding::kOpen : Finding::kMapped;
    finding.process = owner;
    const ProcessEntry* entry = nullptr;
    if (snapshot.Lookup(pid, entry)) {
        UnicodeStringToText(&entry->ImageName, finding.processName);
        finding.identity = SnapshotIdentity(snapshot, *entry);
    }
    report.findings.push_back(std::move(finding));
}

void EnableSearchPrivileges() { EnableDebugPrivilege(); }

Text DisplayPath(const Finding& finding) {
    if (finding.kind == Finding::Kind::Module) return finding.path;
    const WideText path = FromUtf8(finding.path);
    if (StartsWith(path, u"\\??\\")) return ToUtf8(PlainPath(path));
    WideText dosPath;
    return GetDosFileName(path, dosPath) ? ToUtf8(dosPath) : finding.path;
}
