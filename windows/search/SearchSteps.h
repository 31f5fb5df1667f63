// Pieces that the passes of the search share.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>

#include "search/Search.h"
#include "windows/sysinfo/FileIdentity.h"
#include "windows/sysinfo/OwnerProcesses.h"
#include "windows/sysinfo/Text.h"

class SystemProcessesInformation;

// How candidates are compared with the target: by their final component,
// by their whole path, or as lying at or below the target folder.
enum class Matching { Name, Path, Tree };

// What one search looks for, made once from the requested name.
struct Target {
    Matching matching = Matching::Name;
    WideText given;  // the name as requested
    WideText name;   // the bare name, or the full path without the system's prefix
    bool hasId = false;  // a path whose file could be opened: compared by identity
    FileId id;
};

// `path` without the prefixes that only say how the system was asked for
// it: \\?\C:\x and \??\C:\x are C:\x, \\?\UNC\s\x and \??\UNC\s\x \\s\x.
WideText PlainPath(const WideText& path);

// What a search learns of candidate paths, each once: their identity, and
// their other (short or long) name.
class CandidateFiles {
public:
    // Null when the file cannot be opened or has no identity.
    const FileId* IdOf(const WideText& path);
    // The final component of the path's short form (or, for a short name,
    // its long form); empty when there is none.
    const WideText& OtherNameOf(const WideText& path, bool shortForm);

private:
    struct Facts {
        bool idAsked = false;
        bool idRead = false;
        FileId id;
        bool otherAsked[2] = {false, false};
        WideText other[2];
    };
    std::map<WideText, Facts> m_files;
};

// The drive-letter form of a name the system gives (a device path, or one
// with a prefix PlainPath drops); false, with `dosPath` empty, when there
// is none.
bool DosForm(const WideText& name, WideText& dosPath);

// Whether the final component of `name`, a name the system gives, is the
// target's bare name, also through the short or long form of the file;
// its DosForm is sought only when the final component alone does not
// decide.
bool DeviceNameMatches(const Target& target, const WideText& name, CandidateFiles& files);

// Whether `candidate` is `folder` itself or lies below it.
bool LiesAtOrBelow(const WideText& candidate, const WideText& folder);

// Adds one finding to the report, named from the pass's snapshot and held
// through its owner.
void ReportFinding(SearchReport& report, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const WideText& path, const std::shared_ptr<OwnerProcess>& owner);

// False when the pass stopped the search, with its diagnostic in the report.
bool RunHandlePass(const Target& target, OwnerProcesses& owners, SearchReport& report);

// The files that processes have mapped into memory (not as modules), for
// the command line: the window's list keeps to modules and handles.
void RunMappedViewPass(const Target& target, OwnerProcesses& owners, CandidateFiles& files, SearchReport& report);
