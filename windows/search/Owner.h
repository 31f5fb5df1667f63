// Who each process a search found is, on Windows: its executable's path,
// asked of the handle the search holds on it, and, for a service host, the
// services it runs. Read once per process found, after the passes.
#pragma once

#include <memory>

#include "search/Search.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

// What the process table tells of who a process is: its start and parent.
std::shared_ptr<const ProcessIdentity> SnapshotIdentity(const SystemProcessesInformation& snapshot,
                                                        const ProcessEntry& entry);

// The rest, for each process of the report: what the search's first
// finding of it knew, the executable's path and the services, shared by
// all its findings.
void AddIdentities(SearchReport& report);
