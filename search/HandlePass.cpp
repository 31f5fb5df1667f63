#include "platform/Api.h"
#include "search/SearchSteps.h"
#include "search/UsageSearch.h"
#include "sysinfo/DevicePaths.h"
#include "sysinfo/Diagnostics.h"
#include "sysinfo/HandleNames.h"
#include "sysinfo/NativeApi.h"
#include "sysinfo/SystemHandlesInformation.h"
#include "sysinfo/SystemProcessesInformation.h"

bool RunHandlePass(const char* droppedName, bool pathMatching, ResultList& list) {
    SystemProcessesInformation snapshot(false);
    SystemHandlesInformation handles(SystemHandlesInformation::kAllProcesses, false, nullptr);
    // Handle names are device paths, so a path is compared in its device
    // form, made from the name as dropped.
    Text deviceTarget;
    if (pathMatching && !GetDeviceFileName(droppedName, deviceTarget)) {
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
    const char* target = pathMatching ? deviceTarget.c_str() : droppedName;
    Text name;
    for (const HandleEntry& entry : handles.Entries()) {
        name.clear();
        GetHandleName(HandleFromValue(entry.Handle), name, entry.ProcessId);
        const char* candidate = pathMatching ? name.c_str() : GetFileNamePart(name.c_str());
        if (NamesMatch(candidate, target))
            ReportFinding(list, snapshot, Finding::Kind::Handle, entry.ProcessId, name.c_str());
    }
    return true;
}
