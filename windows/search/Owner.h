// Who each process a search found is, on Windows: its executable's path,
// asked of the handle the search holds on it, and, for a service host, the
// services it runs. Read once per process found, after the passes.
#pragma once

#include "search/Search.h"

void AddIdentities(SearchReport& report);
