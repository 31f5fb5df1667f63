#include <algorithm>
#include <map>

#include "windows/platform/Api.h"
#include "windows/search/Match.h"
#include "windows/search/SearchSteps.h"
#include "windows/sysinfo/CurrentFolder.h"
#include "windows/sysinfo/DevicePaths.h"
#include "windows/sysinfo/HandleNames.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemHandlesInformation.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

namespace {

// A handle of another process copied here once, for its type, its name and
// its identity alike; a handle of this process is used as it is.
class LocalHandle {
public:
    LocalHandle(const OwnerProcess& owner, uintptr_t value) {
        if (owner.Own()) {
            m_handle = HandleFromValue(value);
            return;
        }
        m_copy = DuplicateIntoSelf(owner.Handle(), HandleFromValue(value));
        m_handle = m_copy;
    }
    ~LocalHandle() {
        if (m_copy != nullptr) os::CloseHandle(m_copy);
    }
    LocalHandle(const LocalHandle&) = delete;
    LocalHandle& operator=(const LocalHandle&) = delete;

    os::HANDLE Get() const { return m_handle; }

private:
    os::HANDLE m_handle = nullptr;
    os::HANDLE m_copy = nullptr;
};

// The platform numbers object types its own way. Once the number of "File"
// is known, a handle of another type is passed over without being copied:
// every copy costs calls, and under Wine closing the copy of another
// process's console handle cuts this process off its own console.
class FileTypeNumber {
public:
    // Known at once from a file handle of this process, which is asked
    // directly; the table was read just now, so its values still hold.
    FileTypeNumber(const std::vector<HandleEntry>& entries, uint32_t self) {
        for (const HandleEntry& entry : entries) {
            Text type;
            if (entry.ProcessId == self && QueryTypeName(HandleFromValue(entry.Handle), type) && type == "File") {
                Learn(entry);
                return;
            }
        }
    }
    bool MayBeFile(const HandleEntry& entry) const { return !m_known || entry.ObjectTypeNumber == m_number; }
    // `entry`'s handle was seen to be a file.
    void Learn(const HandleEntry& entry) {
        m_known = true;
        m_number = entry.ObjectTypeNumber;
    }

private:
    bool m_known = false;
    uint16_t m_number = 0;
};

// Each owner's current-folder handle, read once at its first matching
// handle; a process whose value cannot be read has none.
class CurrentFolders {
public:
    bool Holds(const OwnerProcess& owner, uint32_t pid, uintptr_t value) {
        auto found = m_values.find(pid);
        if (found == m_values.end()) {
            uintptr_t folder = 0;
            const bool read = CurrentFolderHandle(owner.Handle(), folder) && folder != 0;
            found = m_values.emplace(pid, read ? folder : 0).first;
        }
        return found->second != 0 && found->second == value;
    }

private:
    std::map<uint32_t, uintptr_t> m_values;
};

// Handle names are device paths, so a path is compared in its device form:
// a file's made from the name as given, a folder's from its full path, so
// that a relative folder is searched where it is. False where the system
// cannot make one.
bool MakeDeviceForm(Target& target) {
    if (target.matching == Matching::Name) return true;
    const WideText& path = target.matching == Matching::Tree ? target.name : PlainPath(target.given);
    return GetDeviceFileName(path, target.device);
}

}  // namespace

void RunHandlePass(std::vector<Searched>& searched, OwnerProcesses& owners, CandidateFiles& files) {
    SystemProcessesInformation snapshot(false);
    SystemHandlesInformation handles(SystemHandlesInformation::kAllProcesses, false, nullptr);
    bool wantId = false;
    for (Searched& one : searched) {
        if (!one.live) continue;
        if (!MakeDeviceForm(one.target)) {
            one.Stop(SearchStop::Cause::DeviceUnnamed);
            continue;
        }
        wantId = wantId || one.target.hasId;
    }
    if (std::none_of(searched.begin(), searched.end(), [](const Searched& one) { return one.live; })) return;
    handles.Refresh();
    FileTypeNumber fileType(handles.Entries(), os::GetCurrentProcessId());
    snapshot.Refresh();
    size_t fileHandles = 0;
    CurrentFolders folders;
    for (const HandleEntry& entry : handles.Entries()) {
        if (!fileType.MayBeFile(entry)) continue;
        const uint32_t pid = static_cast<uint32_t>(entry.ProcessId);
        const std::shared_ptr<OwnerProcess> owner = owners.Get(pid);
        if (!owner) continue;
        LocalHandle local(*owner, entry.Handle);
        Text type;
        if (local.Get() == nullptr || !QueryTypeName(local.Get(), type) || type != "File") continue;
        fileType.Learn(entry);
        ++fileHandles;
        HandleFacts facts;
        NameLocalHandle(local.Get(), kFileType, facts.name, wantId ? &facts.id : nullptr, &facts.hasId);
        for (Searched& one : searched) {
            if (!one.live || !HandleMatches(one.target, facts, files)) continue;
            ReportFinding(*one.report, snapshot, Finding::Kind::Handle, pid, facts.name, owner);
            if (folders.Holds(*owner, pid, entry.Handle)) one.report->findings.back().access = Finding::kCurrentFolder;
        }
    }
    for (Searched& one : searched) {
        if (!one.live) continue;
        if (fileHandles == 0)
            one.Stop(SearchStop::Cause::NoOpenFiles);
        else
            one.report->reached = SearchStage::OpenFilesRead;
    }
}
