#include "platform/Api.h"
#include "search/passes/SearchSteps.h"
#include "search/UsageSearch.h"
#include "sysinfo/DevicePaths.h"
#include "sysinfo/Diagnostics.h"
#include "sysinfo/HandleNames.h"
#include "sysinfo/NativeApi.h"
#include "sysinfo/SystemHandlesInformation.h"
#include "sysinfo/SystemProcessesInformation.h"

bool RunHandlePass(const char* name, Matching matching, ResultList& list) {
    SystemProcessesInformation snapshot(false);
    SystemHandlesInformation handles(SystemHandlesInformation::kAllProcesses, false, nullptr);
    // Handle names are device paths, so a path (or a folder) is compared in
    // its device form.
    const bool byPath = matching != Matching::Name;
    Text deviceTarget;
    if (byPath && !GetDeviceFileName(name, deviceTarget)) {
        Diag("GetDeviceFileName() failed.\n");
        return false;
    }
    handles.SetTypeFilter("File", true);
    if (handles.Entries().empty()) {
        Diag("No handle information\n");
        return false;
    }
    snapshot.Refresh();
    PrintPassHeader(54);
    const char* target = byPath ? deviceTarget.c_str() : name;
    Text handleName;
    for (const HandleEntry& entry : handles.Entries()) {
        handleName.clear();
        GetHandleName(HandleFromValue(entry.Handle), handleName, entry.ProcessId);
        if (CandidateMatches(matching, handleName.c_str(), target))
            ReportFinding(list, snapshot, Finding::Kind::Handle, entry.ProcessId, handleName.c_str());
    }
    return true;
}
