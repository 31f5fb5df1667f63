#include "windows/search/Owner.h"

#include <map>
#include <memory>
#include <vector>

#include "windows/platform/Api.h"
#include "windows/sysinfo/OwnerProcesses.h"
#include "windows/sysinfo/Text.h"

namespace {

// The services that run, by the process that hosts them; empty where the
// service manager does not answer.
std::map<uint32_t, std::vector<Text>> ServicesByProcess() {
    std::map<uint32_t, std::vector<Text>> hosted;
    const os::SC_HANDLE manager = os::OpenSCManagerW(nullptr, nullptr, os::SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr) return hosted;
    std::vector<uint64_t> buffer;  // aligned for the rows
    os::DWORD resume = 0;
    for (int round = 0; round < 16; ++round) {
        os::DWORD needed = 0, returned = 0;
        auto* bytes = reinterpret_cast<os::BYTE*>(buffer.data());
        const os::DWORD size = static_cast<os::DWORD>(buffer.size() * sizeof(uint64_t));
        const os::BOOL done = os::EnumServicesStatusExW(manager, os::SC_ENUM_PROCESS_INFO, os::SERVICE_WIN32,
                                                        os::SERVICE_ACTIVE, bytes, size, &needed, &returned, &resume,
                                                        nullptr);
        const auto* rows = reinterpret_cast<const os::ENUM_SERVICE_STATUS_PROCESSW*>(bytes);
        for (os::DWORD i = 0; i < returned; ++i) {
            const os::DWORD pid = rows[i].ServiceStatusProcess.dwProcessId;
            if (pid != 0 && rows[i].lpServiceName != nullptr) hosted[pid].push_back(ToUtf8(rows[i].lpServiceName));
        }
        if (done || os::GetLastError() != os::ERROR_MORE_DATA) break;
        if (returned == 0) buffer.resize(needed / sizeof(uint64_t) + 1);
    }
    os::CloseServiceHandle(manager);
    return hosted;
}

// The executable's path, asked of the process held; empty where refused.
Text ExePath(const std::shared_ptr<HeldProcess>& held) {
    const auto owner = std::dynamic_pointer_cast<OwnerProcess>(held);
    if (!owner) return Text();
    for (os::DWORD room = os::MAX_PATH; room <= 32768; room *= 4) {
        WideText path(room, u'\0');
        os::DWORD size = room;
        if (os::QueryFullProcessImageNameW(owner->Handle(), 0, &path[0], &size)) {
            path.resize(size);
            return ToUtf8(path);
        }
        if (os::GetLastError() != os::ERROR_INSUFFICIENT_BUFFER) break;
    }
    return Text();
}

int64_t FileTime(const os::LARGE_INTEGER& time) {
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(time.HighPart)) << 32 | time.LowPart);
}

}  // namespace

std::shared_ptr<const ProcessIdentity> SnapshotIdentity(const SystemProcessesInformation& snapshot,
                                                        const ProcessEntry& entry) {
    // 100 ns units since 1601; 0 where the system does not tell.
    constexpr int64_t kUnixEpoch = 116444736000000000;
    auto identity = std::make_shared<ProcessIdentity>();
    const int64_t created = FileTime(entry.CreateTime);
    if (created > kUnixEpoch) identity->startedMs = (created - kUnixEpoch) / 10000;
    const uint32_t parent = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry.InheritedFromUniqueProcessId));
    identity->parentPid = parent;
    const ProcessEntry* parentEntry = nullptr;
    // A process started after this one holds a parent's ID that was reused.
    if (parent != 0 && snapshot.Lookup(parent, parentEntry) && FileTime(parentEntry->CreateTime) <= created)
        UnicodeStringToText(&parentEntry->ImageName, identity->parentName);
    return identity;
}

void AddIdentities(SearchReport& report) {
    if (report.findings.empty()) return;
    const std::map<uint32_t, std::vector<Text>> hosted = ServicesByProcess();
    std::map<uint32_t, std::shared_ptr<const ProcessIdentity>> read;
    for (Finding& finding : report.findings) {
        auto& identity = read[finding.pid];
        if (!identity) {
            auto made = finding.identity ? std::make_shared<ProcessIdentity>(*finding.identity)
                                         : std::make_shared<ProcessIdentity>();
            made->exe = ExePath(finding.process);
            // Windows places a process in no unit or container.
            made->placeRead = true;
            const auto services = hosted.find(finding.pid);
            if (services != hosted.end()) made->services = services->second;
            identity = std::move(made);
        }
        finding.identity = identity;
    }
}
