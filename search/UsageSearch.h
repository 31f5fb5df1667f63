// The usage search: which processes use a file, as a module or through an
// open handle. The front ends call these entry points; the build links one
// search backend that defines them (the two passes over the system
// information layer, or the scan of /proc on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "search/ResultList.h"

enum class SearchEnd {
    NoName,    // the drop carried no name; nothing was searched
    Finished,  // both passes ran
    Stopped,   // a failure stopped the search; its diagnostic was printed
};

// What a dropped name stands for.
enum class SearchScope {
    File,    // the file itself, by path or, for a bare name, by name
    Tree,    // a folder with everything at or below it, by path
    Device,  // every file on the file system that holds the named file
};

// What a search backend makes of a name before it looks at any process.
struct ResolvedName;

// One name of a search of several.
struct SearchRequest {
    SearchRequest(Text n, SearchScope s, ResultList* l) : name(std::move(n)), scope(s), list(l) {}

    Text name;
    SearchScope scope = SearchScope::File;
    ResultList* list = nullptr;
    SearchEnd end = SearchEnd::NoName;
    // Kept by the backend that can, so that asking again (as a wait does)
    // asks about the same file even after its name has gone.
    std::shared_ptr<const ResolvedName> resolved;
};

// --- Portable: the front ends' side.

// The drop handling of the main window: wait cursor, an emptied and
// repainted list, then the search for the drop's first name.
SearchEnd HandleDrop(const DroppedFiles& drop, ResultList& list, WaitCursor& cursor,
                     SearchScope scope = SearchScope::File);

// "0x%04X  %-20s", never cut; the name as VisibleText writes it.
Text FormatResultLine(uint32_t pid, const Text& processName);

// `bytes` as a line of text shows them: control characters (C0 and DEL) as
// \xHH and, where the backslash is no separator, a backslash as \\, so that
// no name can end a line, forge one or steer a terminal.
Text VisibleText(const Text& bytes);

// The header line of a pass and a rule of the given number of dashes.
void PrintPassHeader(size_t ruleLength);

// --- Defined by the search backend.

// The search proper for one dropped name.
SearchEnd RunUsageSearch(const char* droppedName, ResultList& list, SearchScope scope = SearchScope::File);

// Every request, with one look at the system where the backend can; each
// request's list is opened (Begin) and then gets its diagnostics, lines and
// notices, request after request.
void RunUsageSearches(std::vector<SearchRequest>& requests);

// The matched path as users name files: on Windows a handle's device path in
// its drive-letter form where a drive holds it; anything else as found.
Text DisplayPath(const Finding& finding);

// Whatever lets the search see every process it may (the debug privilege on
// Windows); called once by a front end before its first search.
void EnableSearchPrivileges();

// Whether a backslash in a name is an ordinary character (and so escaped
// when written), not a separator.
extern const bool kBackslashIsText;

// --- The two-pass search's matching rules.

// The position within `path` where its final component begins; a separator
// at the very start does not count.
const char* GetFileNamePart(const char* path);

// The comparison rule of both passes.
bool NamesMatch(const char* candidate, const char* target);

// Whether `candidate` is `folder` itself or lies below it: it begins with the
// folder (less the separators the folder may end with) and ends there or
// goes on with a separator ('\\' or '/'). Letters compare under the same
// rule as NamesMatch.
bool LiesAtOrBelow(const char* candidate, const char* folder);
