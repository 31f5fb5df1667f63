// The usage search: which processes use the dropped file, as a module or
// through an open handle.
#pragma once

#include <cstdint>

#include "search/ResultList.h"

enum class SearchEnd {
    NoName,    // the drop carried no name; nothing was searched
    Finished,  // both passes ran
    Stopped,   // a failure stopped the search; its diagnostic was printed
};

// What a dropped name stands for.
enum class SearchScope {
    File,  // the file itself, by path or, for a bare name, by name
    Tree,  // a folder with everything at or below it, by path
};

// The drop handling of the main window: wait cursor, an emptied and
// repainted list, then the search for the drop's first name.
SearchEnd HandleDrop(const DroppedFiles& drop, ResultList& list, WaitCursor& cursor,
                     SearchScope scope = SearchScope::File);

// The search proper for one dropped name.
SearchEnd RunUsageSearch(const char* droppedName, ResultList& list, SearchScope scope = SearchScope::File);

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

// "0x%04X  %-20s", never cut.
Text FormatResultLine(uint32_t pid, const Text& processName);
