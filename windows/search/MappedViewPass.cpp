#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <set>

#include "windows/platform/Api.h"
#include "windows/search/Match.h"
#include "windows/search/SearchSteps.h"
#include "windows/sysinfo/SystemProcessesInformation.h"

namespace {

// A counted string of at most 64 KiB and its header: any name the system has.
constexpr size_t kSectionNameSize = sizeof(os::UNICODE_STRING) + 0x10000;

// How the views of a process are named and stepped over.
class ViewReader {
public:
    explicit ViewReader(os::HMODULE psapi) {
        m_getName = os::ProcAs<os::PFN_GetMappedFileNameW>(os::GetProcAddress(psapi, "GetMappedFileNameW"));
        m_query = os::ProcAs<os::PFN_NtQueryVirtualMemory>(
            os::GetProcAddress(os::GetModuleHandleA("ntdll.dll"), "NtQueryVirtualMemory"));
    }
    bool Usable() const { return m_getName != nullptr || m_query != nullptr; }

    // The distinct files that `process` has mapped, walking its address
    // space one allocation at a time where the system tells allocations;
    // with its images too where `images`.
    std::set<WideText> MappedFiles(os::HANDLE process, bool images);

private:
    static bool Named(const os::MEMORY_BASIC_INFORMATION& region, bool images) {
        return region.State == os::MEM_COMMIT &&
               (region.Type == os::MEM_MAPPED || (images && region.Type == os::MEM_IMAGE));
    }
    WideText NameOf(os::HANDLE process, os::PVOID base);
    uintptr_t AllocationEnd(os::HANDLE process, const os::MEMORY_BASIC_INFORMATION& region);
    uintptr_t ImageEnd(os::HANDLE process, const os::MEMORY_BASIC_INFORMATION& region);

    os::PFN_GetMappedFileNameW m_getName = nullptr;
    os::PFN_NtQueryVirtualMemory m_query = nullptr;
    bool m_regionsTold = true;  // until the system says it cannot tell allocations
    std::unique_ptr<unsigned char[]> m_buffer;
};

// The file behind a view, in the device form the system names it: by the
// process-status call, and where that fails (it does past MAX_PATH on some
// systems) by the native query, which names any length.
WideText ViewReader::NameOf(os::HANDLE process, os::PVOID base) {
    if (m_getName != nullptr) {
        WideText name =
            AskFullName([&](os::WCHAR* buffer, os::DWORD units) { return m_getName(process, base, buffer, units); });
        if (!name.empty()) return name;
    }
    if (m_query == nullptr) return WideText();
    if (!m_buffer) m_buffer.reset(new (std::nothrow) unsigned char[kSectionNameSize]);
    if (!m_buffer) return WideText();
    os::SIZE_T length = 0;
    if (m_query(process, base, os::MemoryMappedFilenameInformation, m_buffer.get(), kSectionNameSize, &length) !=
        os::STATUS_SUCCESS)
        return WideText();
    // The counted string is read only where it lies inside the buffer.
    os::UNICODE_STRING string = *reinterpret_cast<const os::UNICODE_STRING*>(m_buffer.get());
    const auto* begin = reinterpret_cast<const unsigned char*>(string.Buffer);
    const unsigned char* end = m_buffer.get() + kSectionNameSize;
    if (string.Buffer == nullptr || begin < m_buffer.get() || begin >= end) return WideText();
    const size_t room = static_cast<size_t>(end - begin) / sizeof(os::WCHAR);
    const size_t units = string.Length / sizeof(os::WCHAR);
    WideText name;
    UnicodeToText(string.Buffer, units < room ? units : room, name);
    return name;
}

// Where the allocation that `region` belongs to ends, so that the walk steps
// over its other regions at once; the region's own end where the system
// cannot tell.
uintptr_t ViewReader::AllocationEnd(os::HANDLE process, const os::MEMORY_BASIC_INFORMATION& region) {
    const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (region.State == os::MEM_FREE || region.AllocationBase == nullptr) return end;
    if (m_regionsTold && m_query != nullptr) {
        os::MEMORY_REGION_INFORMATION info = {};
        if (m_query(process, region.AllocationBase, os::MemoryRegionInformation, &info, sizeof info, nullptr) ==
                os::STATUS_SUCCESS &&
            info.AllocationBase == region.AllocationBase) {
            const uintptr_t allocationEnd = reinterpret_cast<uintptr_t>(info.AllocationBase) + info.RegionSize;
            return allocationEnd > end ? allocationEnd : end;
        }
        m_regionsTold = false;
    }
    return region.Type == os::MEM_IMAGE && region.BaseAddress == region.AllocationBase ? ImageEnd(process, region)
                                                                                       : end;
}

// Where an image ends, by the size its header tells, where the system
// cannot tell allocations (Wine). The process can write any size there, so
// the walk steps that far only once the last byte is seen to lie in the
// same allocation; else it goes on region by region.
uintptr_t ViewReader::ImageEnd(os::HANDLE process, const os::MEMORY_BASIC_INFORMATION& region) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(region.BaseAddress);
    const uintptr_t end = base + region.RegionSize;
    uint32_t peOffset = 0;
    unsigned char header[4 + 20 + 60] = {};
    if (!os::ReadProcessMemory(process, reinterpret_cast<const void*>(base + 0x3C), &peOffset, sizeof peOffset,
                               nullptr) ||
        peOffset > 0x1000 ||
        !os::ReadProcessMemory(process, reinterpret_cast<const void*>(base + peOffset), header, sizeof header, nullptr) ||
        std::memcmp(header, "PE\0\0", 4) != 0)
        return end;
    uint32_t size = 0;
    std::memcpy(&size, header + 4 + 20 + 56, sizeof size);
    if (base + size <= end || base + size < base) return end;
    os::MEMORY_BASIC_INFORMATION last;
    if (os::VirtualQueryEx(process, reinterpret_cast<const void*>(base + size - 1), &last, sizeof last) != sizeof last ||
        last.AllocationBase != region.AllocationBase || last.State == os::MEM_FREE)
        return end;
    return base + size;
}

std::set<WideText> ViewReader::MappedFiles(os::HANDLE process, bool images) {
    std::set<WideText> names;
    uintptr_t address = 0;
    os::MEMORY_BASIC_INFORMATION region;
    while (os::VirtualQueryEx(process, reinterpret_cast<const void*>(address), &region, sizeof region) == sizeof region) {
        // A view is named once, at the start of its allocation.
        if (Named(region, images) && region.BaseAddress == region.AllocationBase) {
            WideText name = NameOf(process, region.BaseAddress);
            if (!name.empty()) names.insert(std::move(name));
        }
        const uintptr_t next = AllocationEnd(process, region);
        if (region.RegionSize == 0 || next <= address) break;
        address = next;
    }
    return names;
}

}  // namespace

void RunMappedViewPass(std::vector<Searched>& searched, OwnerProcesses& owners, CandidateFiles& files,
                       const std::vector<uint32_t>& modulesUnread) {
    os::HMODULE psapi = os::LoadLibraryA("PSAPI.DLL");
    if (psapi == nullptr) return;
    {
        ViewReader reader(psapi);
        SystemProcessesInformation snapshot(true);
        PidIndex::Position pos = reader.Usable() ? snapshot.Index().GetStartPosition() : 0;
        while (pos != 0) {
            uint32_t pid;
            const ProcessEntry* entry;
            snapshot.Index().GetNextAssoc(pos, pid, entry);
            const std::shared_ptr<OwnerProcess> owner = owners.Get(pid);
            if (!owner) continue;
            // Images are modules: named here only where the module list missed them.
            const bool images = std::binary_search(modulesUnread.begin(), modulesUnread.end(), pid);
            for (const WideText& name : reader.MappedFiles(owner->Handle(), images)) {
                for (Searched& one : searched) {
                    if (one.live && ViewMatches(one.target, name, files))
                        ReportFinding(*one.report, snapshot, Finding::Kind::Mapped, pid, name, owner);
                }
            }
        }
    }
    os::FreeLibrary(psapi);
}
