// Pieces that the two passes of the search share.
#pragma once

#include <cstdint>

#include "search/Search.h"

class SystemProcessesInformation;

// How candidates are compared with the target: by their final component,
// by their whole path, or as lying at or below the target folder.
enum class Matching { Name, Path, Tree };

// The position within `path` where its final component begins; a separator
// at the very start does not count.
const char* GetFileNamePart(const char* path);

// The comparison rule of both passes.
bool NamesMatch(const char* candidate, const char* target);

// Whether `candidate` is `folder` itself or lies below it. Letters compare
// under the same rule as NamesMatch.
bool LiesAtOrBelow(const char* candidate, const char* folder);

// Whether a module path or handle name matches the target under `matching`.
bool CandidateMatches(Matching matching, const char* candidate, const char* target);

// Adds one finding to the report, named from the pass's snapshot.
void ReportFinding(SearchReport& report, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const char* path);

// False when the pass stopped the search, with its diagnostic in the report.
// Under name matching `name` is the bare name; otherwise the path whose
// device form handle names are compared with.
bool RunHandlePass(const char* name, Matching matching, SearchReport& report);
