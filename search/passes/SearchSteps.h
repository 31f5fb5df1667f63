// Pieces that the two passes of the search share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "search/ResultList.h"

class SystemProcessesInformation;

// How candidates are compared with the target: by their final component,
// by their whole path, or as lying at or below the target folder.
enum class Matching { Name, Path, Tree };

// Whether a module path or handle name matches the target under `matching`.
bool CandidateMatches(Matching matching, const char* candidate, const char* target);

// Appends the result line of one finding, named from the pass's snapshot.
void ReportFinding(ResultList& list, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const char* path);

// False when the pass stopped the search. Under name matching `name` is the
// bare name; otherwise the path whose device form handle names are compared
// with.
bool RunHandlePass(const char* name, Matching matching, ResultList& list);
