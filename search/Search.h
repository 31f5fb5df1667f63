// The search: which processes use a file, as a module or through an open
// handle. A front end makes requests, runs them, and shows what comes back;
// the build links one search (the Linux scan of /proc, or the Windows
// module and handle passes) that defines the functions declared here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "search/Finding.h"
#include "search/Paths.h"

// What a requested name stands for.
enum class SearchScope {
    File,    // the file the name stands for here (a relative name from the current folder)
    Name,    // any file whose final path component is the name
    Tree,    // a folder with everything at or below it
    Device,  // every file on the file system that holds the named file
};

// How far a search got; a search that stopped tells why in `stop`.
enum class SearchStage {
    Start,            // nothing was read: the name, or the processes, could not be
    ProcessesRead,    // the processes were read, but not what they have loaded
    LoadedFilesRead,  // what they have loaded or mapped was read, but not what they hold open
    OpenFilesRead,    // what they hold open was read too: the search finished
};

// Why a search stopped: what failed, and the system's own code for it
// (errno, or the Windows error) where there is one. Each front end words it.
struct SearchStop {
    enum class Cause {
        None,                   // the search did not stop
        NameUnresolved,         // the name could not be made into the file to look for
        ProcessesUnread,        // the processes could not be read
        NoLoadedFiles,          // no process had a loaded file to read
        DeviceUnnamed,          // the file's device form could not be made
        NoOpenFiles,            // no process held a file open that could be read
        FileSystemUnsupported,  // a whole file system cannot be searched here
    };
    Cause cause = Cause::None;
    int code = 0;  // 0 where the system gave none
};

// What a search backend makes of a name before it looks at any process.
struct ResolvedName;

struct SearchRequest {
    SearchRequest(Text n, SearchScope s) : name(std::move(n)), scope(s) {}

    Text name;
    SearchScope scope;
    // Kept by the backend that can, so that asking again (as a wait does)
    // asks about the same file even after its name has gone.
    std::shared_ptr<const ResolvedName> resolved;
};

// The answer to one request.
struct SearchReport {
    SearchStage reached = SearchStage::Start;
    // Everything was read; otherwise `stop` says what stopped the search.
    bool Finished() const { return reached == SearchStage::OpenFilesRead; }
    SearchStop stop;
    // How the system searched writes paths, which decides how they are
    // shown as text.
    PathStyle style = kHostPathStyle;
    std::vector<Finding> findings;  // modules, then handles, each in the order found
    // Processes not (fully) examined: refused, and given up because reading
    // them made no progress. Their findings may be missing.
    uint32_t refused = 0;
    std::vector<uint32_t> someRefused;  // up to kRefusedNamed of the refused, ascending
    std::vector<uint32_t> stalled;
    // Processes whose loaded files this build could not list, where another
    // build of the program could (a 32-bit Windows build does not see those
    // of 64-bit programs).
    uint32_t loadedUnlisted = 0;
    // Whether the search ran as root or administrator, so that the advice to
    // run it so would be no help.
    bool privileged = false;
    // What the system hides from every search here, in a sentence for the
    // user; empty when it hides nothing.
    std::string hidden;
};

constexpr size_t kRefusedNamed = 5;

// Every request, with one look at the system where the backend can; one
// report per request, in their order.
std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests);
// The same, looking only at the processes `pids` where the backend can (a
// backend may look at them all); a process among them that has ended is
// simply not found.
std::vector<SearchReport> RunSearch(std::vector<SearchRequest>& requests, const std::vector<uint32_t>& pids);

// The matched path as users name files: on Windows a handle's device path in
// its drive-letter form where a drive holds it; anything else as found.
Text DisplayPath(const Finding& finding);

// Whatever lets the search see every process it may (the debug privilege on
// Windows); called once by a front end before its first search. Its
// diagnostics go where Diag's do.
void EnableSearchPrivileges();
