// Pieces that the two passes of the search share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "search/ResultList.h"

class SystemProcessesInformation;

// The header line and a rule of the given number of dashes.
void PrintPassHeader(size_t ruleLength);

// Appends the result line of one finding, named from the pass's snapshot.
void ReportFinding(ResultList& list, const SystemProcessesInformation& snapshot, Finding::Kind kind, uint32_t pid,
                   const char* path);

// False when the pass stopped the search.
bool RunHandlePass(const char* droppedName, bool pathMatching, ResultList& list);
