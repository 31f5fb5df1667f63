#include <set>

#include "windows/platform/Api.h"
#include "windows/search/SearchSteps.h"
#include "windows/sysinfo/DevicePaths.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

namespace {

// The file behind a mapped view, in the device form the system names it.
WideText MappedFileName(os::PFN_GetMappedFileNameW getName, os::HANDLE process, os::PVOID base) {
    return AskFullName([&](os::WCHAR* buffer, os::DWORD units) { return getName(process, base, buffer, units); });
}

bool ViewMatches(const Target& target, const WideText& name, CandidateFiles& files) {
    WideText dosPath;
    switch (target.matching) {
    case Matching::Name: return DeviceNameMatches(target, name, files);
    case Matching::Tree: return DosForm(name, dosPath) && LiesAtOrBelow(dosPath, target.name);
    case Matching::Path:
        if (!DosForm(name, dosPath)) return false;
        if (target.hasId) {
            if (const FileId* id = files.IdOf(dosPath)) return SameFile(*id, target.id);
        }
        return NamesMatch(dosPath, target.name);
    }
    return false;
}

// The distinct files that `process` has mapped, walking its address space
// one region at a time.
std::set<WideText> MappedFiles(os::PFN_GetMappedFileNameW getName, os::HANDLE process) {
    std::set<WideText> names;
    uintptr_t address = 0;
    os::MEMORY_BASIC_INFORMATION region;
    while (os::VirtualQueryEx(process, reinterpret_cast<const void*>(address), &region, sizeof region) == sizeof region) {
        if (region.Type == os::MEM_MAPPED && region.State == os::MEM_COMMIT && region.BaseAddress == region.AllocationBase) {
            WideText name = MappedFileName(getName, process, region.BaseAddress);
            if (!name.empty()) names.insert(std::move(name));
        }
        const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (region.RegionSize == 0 || next <= address) break;
        address = next;
    }
    return names;
}

}  // namespace

void RunMappedViewPass(const Target& target, OwnerProcesses& owners, CandidateFiles& files, SearchReport& report) {
    os::HMODULE psapi = os::LoadLibraryA("PSAPI.DLL");
    if (psapi == nullptr) return;
    const auto getName = os::ProcAs<os::PFN_GetMappedFileNameW>(os::GetProcAddress(psapi, "GetMappedFileNameW"));
    SystemProcessesInformation snapshot(true);
    PidIndex::Position pos = getName != nullptr ? snapshot.Index().GetStartPosition() : 0;
    while (pos != 0) {
        uint32_t pid;
        const ProcessEntry* entry;
        snapshot.Index().GetNextAssoc(pos, pid, entry);
        const std::shared_ptr<OwnerProcess> owner = owners.Get(pid);
        if (!owner) continue;
        for (const WideText& name : MappedFiles(getName, owner->Handle())) {
            if (ViewMatches(target, name, files))
                ReportFinding(report, snapshot, Finding::Kind::Mapped, pid, name, owner);
        }
    }
    os::FreeLibrary(psapi);
}
