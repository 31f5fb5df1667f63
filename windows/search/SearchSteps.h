// Pieces that the passes of the search share.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/Search.h"
#include "windows/sysinfo/FileIdentity.h"
#include "windows/sysinfo/OwnerProcesses.h"
#include "windows/sysinfo/Text.h"

class SystemProcessesInformation;

// How candidates are compared with the target: by their final component,
// by their whole path, or as lying at or below the target folder.
enum class Matching { Name, Path, Tree };

// What one request looks for, made once from the requested name.
struct Target {
    Matching matching = Matching::Name;
    WideText given;  // the name as requested
    WideText name;   // the bare name, or the full path without the system's prefix
    // Given in its \\?\ form: opened and compared exactly as written, with no
    // trailing dot or blank dropped and no device read into a reserved name.
    bool literal = false;
    bool hasId = false;  // a path whose file could be opened: compared by identity
    FileId id;
    // The path in the device form that handle names take; made by the
    // handle pass.
    WideText device;
    // A folder's long form where it differs from `name`.
    WideText longName;
};

// `path` without the prefixes that only say how the system was asked for
// it: \\?\C:\x and \??\C:\x are C:\x, \\?\UNC\s\x and \??\UNC\s\x \\s\x.
WideText PlainPath(const WideText& path);

// A full path in the form that opens exactly the file it names: \\?\, so
// that no trailing dot or blank is dropped and no reserved name is a
// device. A name that is not a full drive or UNC path is returned as it is.
WideText LiteralPath(const WideText& path);

// What a search learns of candidate paths and folders, each once: their
// identity, their other (short or long) name, whether a folder tells case.
class CandidateFiles {
public:
    // Null when the file cannot be opened or has no identity. `path` is a
    // full path as the system names it, and is opened literally.
    const FileId* IdOf(const WideText& path);
    // The final component of the path's short form (or, for a short name,
    // its long form); empty when there is none.
    const WideText& OtherNameOf(const WideText& path, bool shortForm);
    // Whether the folder `folder` tells names apart by case; false where
    // that cannot be read, as folders are by default.
    bool CaseSensitive(const WideText& folder);

private:
    struct Facts {
        bool idAsked = false;
        bool idRead = false;
        FileId id;
        bool otherAsked[2] = {false, false};
        WideText other[2];
        int caseSensitive = -1;  // not asked yet
    };
    std::map<WideText, Facts> m_files;
};

// The drive-letter form of a name the system gives (a device path, or one
// with a prefix PlainPath drops); false, with `dosPath` empty, when there
// is none.
bool DosForm(const WideText& name, WideText& dosPath);

// Whether `candidate` is `folder` itself or lies below it, by text.
bool LiesAtOrBelow(const WideText& candidate, const WideText& folder);

// Adds one finding to the report, named from the pass's snapshot and held
// through its owner.
void ReportFinding(SearchReport& report, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const WideText& path, const std::shared_ptr<OwnerProcess>& owner);

// One request on its way through the passes: its target and its report.
// A request whose search stopped takes no part in the passes that follow.
struct Searched {
    Target target;
    SearchReport* report;
    bool live = true;

    // Stops this request's search, for the reason `cause`.
    void Stop(SearchStop::Cause cause, int code = 0) {
        report->stop = SearchStop{cause, code};
        live = false;
    }
};

// Each pass reads the system once and compares what it read with every
// live request; it stops the requests it cannot serve, saying why. The
// module pass gives the processes whose modules it could
// not list, ascending.
std::vector<uint32_t> RunModulePass(std::vector<Searched>& searched, OwnerProcesses& owners, CandidateFiles& files);
void RunHandlePass(std::vector<Searched>& searched, OwnerProcesses& owners, CandidateFiles& files);
// The files that processes have mapped into memory (not as modules), for
// the command line: the window's list keeps to modules and handles. Images
// are named too in the processes `modulesUnread` (ascending), whose modules
// could not be listed.
void RunMappedViewPass(std::vector<Searched>& searched, OwnerProcesses& owners, CandidateFiles& files,
                       const std::vector<uint32_t>& modulesUnread);
