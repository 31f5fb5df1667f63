#include "windows/platform/Api.h"
#include "windows/search/SearchSteps.h"
#include "windows/sysinfo/DevicePaths.h"
#include "windows/sysinfo/HandleNames.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemHandlesInformation.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

bool RunHandlePass(const char* name, Matching matching, SearchReport& report) {
    SystemProcessesInformation snapshot(false);
    SystemHandlesInformation handles(SystemHandlesInformation::kAllProcesses, false, nullptr);
    // Handle names are device paths, so a path (or a folder) is compared in
    // its device form.
    const bool byPath = matching != Matching::Name;
    Text deviceTarget;
    if (byPath && !GetDeviceFileName(name, deviceTarget)) {
        report.failure = "GetDeviceFileName() failed.\n";
        return false;
    }
    handles.SetTypeFilter("File", true);
    if (handles.Entries().empty()) {
        report.failure = "No handle information\n";
        return false;
    }
    snapshot.Refresh();
    report.reached = SearchStage::HandlesListed;
    const char* target = byPath ? deviceTarget.c_str() : name;
    Text handleName;
    for (const HandleEntry& entry : handles.Entries()) {
        handleName.clear();
        GetHandleName(HandleFromValue(entry.Handle), handleName, entry.ProcessId);
        if (CandidateMatches(matching, handleName.c_str(), target))
            ReportFinding(report, snapshot, Finding::Kind::Handle, entry.ProcessId, handleName.c_str());
    }
    return true;
}
