#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

namespace {
// The highest address a view may reach: the walk's last question.
constexpr uintptr_t kTopOfMemory = 0x7FFF0000;
}  // namespace

LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    unsigned call = ++state.data.allocCalls;
    if (lpAddress != nullptr || dwSize == 0 || (flAllocationType & MEM_COMMIT) == 0 || flProtect != PAGE_READWRITE) {
        Fault(state.data, "VirtualAlloc with arguments this system does not use");
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (state.data.settings.virtualAlloc.Hits(call)) {
        simbase::LastError() = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    // Committed pages come zeroed.
    void* memory = std::calloc(dwSize, 1);
    if (memory == nullptr) {
        simbase::LastError() = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    state.allocations[memory] = dwSize;
    state.data.record.allocations.push_back(dwSize);
    return memory;
}

BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    auto found = state.allocations.find(lpAddress);
    if (found == state.allocations.end() || dwSize != 0 || dwFreeType != MEM_RELEASE) {
        Fault(state.data, "VirtualFree of memory that VirtualAlloc did not hand out, or not as MEM_RELEASE of size 0");
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::free(found->first);
    state.allocations.erase(found);
    ++state.data.record.releases;
    return TRUE;
}

SIZE_T VirtualQueryEx(HANDLE hProcess, const void* lpAddress, MEMORY_BASIC_INFORMATION* lpBuffer, SIZE_T dwLength) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.data.record.virtualQueries;
    DWORD error;
    sim::Process* process = ProcessOfHandle(state.data, hProcess, PROCESS_QUERY_INFORMATION, error);
    if (process == nullptr || lpBuffer == nullptr || dwLength < sizeof *lpBuffer) {
        simbase::LastError() = process == nullptr ? error : ERROR_INVALID_PARAMETER;
        return 0;
    }
    // Free space up to each view, then the view's regions, then free space
    // up to the top of the address space, beyond which nothing lies.
    const uintptr_t address = reinterpret_cast<uintptr_t>(lpAddress);
    std::memset(lpBuffer, 0, sizeof *lpBuffer);
    for (const auto& view : process->views) {
        if (address < view.base) {
            lpBuffer->BaseAddress = const_cast<void*>(lpAddress);
            lpBuffer->RegionSize = view.base - address;
            lpBuffer->State = MEM_FREE;
            return sizeof *lpBuffer;
        }
        if (address - view.base < view.size) {
            const size_t region = view.size / view.regions;
            const size_t index = std::min<size_t>((address - view.base) / region, view.regions - 1);
            const uintptr_t start = view.base + index * region;
            lpBuffer->BaseAddress = reinterpret_cast<PVOID>(start);
            lpBuffer->AllocationBase = reinterpret_cast<PVOID>(view.base);
            lpBuffer->RegionSize = index + 1 == view.regions ? view.base + view.size - start : region;
            lpBuffer->State = MEM_COMMIT;
            lpBuffer->Type = view.type;
            return sizeof *lpBuffer;
        }
    }
    if (address < kTopOfMemory) {
        lpBuffer->BaseAddress = const_cast<void*>(lpAddress);
        lpBuffer->RegionSize = kTopOfMemory - address;
        lpBuffer->State = MEM_FREE;
        return sizeof *lpBuffer;
    }
    simbase::LastError() = ERROR_INVALID_PARAMETER;
    return 0;
}

namespace {

// An image's first page, as far as anyone reads it: the offset of its PE
// header at 0x3C, and there the signature, the file header and the optional
// header, whose SizeOfImage stands 56 bytes in.
std::vector<unsigned char> ImageHeader(const sim::MappedView& view) {
    std::vector<unsigned char> page(0x200, 0);
    const uint32_t peOffset = 0x80;
    std::memcpy(&page[0x3C], &peOffset, sizeof peOffset);
    std::memcpy(&page[peOffset], "PE\0\0", 4);
    const uint32_t size = static_cast<uint32_t>(view.headerSize != 0 ? view.headerSize : view.size);
    std::memcpy(&page[peOffset + 4 + 20 + 56], &size, sizeof size);
    return page;
}

// The two words of a process block that anyone reads: where the parameters
// are, and there the current folder's handle, at this build's width.
bool ProcessBlockWord(const sim::Process& process, uintptr_t address, uintptr_t& word) {
    using sim::detail::kProcessBlock;
    using sim::detail::kProcessParameters;
    if (address == kProcessBlock + (kIs32Bit ? 0x10 : 0x20)) {
        word = kProcessParameters;
        return true;
    }
    if (address == kProcessParameters + (kIs32Bit ? 0x2C : 0x48)) {
        word = process.currentFolder;
        return true;
    }
    return false;
}

}  // namespace

BOOL ReadProcessMemory(HANDLE hProcess, const void* lpBaseAddress, void* lpBuffer, SIZE_T nSize,
                       SIZE_T* lpNumberOfBytesRead) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.data.record.memoryReads;
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    DWORD error;
    sim::Process* process = ProcessOfHandle(state.data, hProcess, PROCESS_VM_READ, error);
    if (process == nullptr || lpBuffer == nullptr) {
        simbase::LastError() = process == nullptr ? error : ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (process->denyRead) {
        simbase::LastError() = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    uintptr_t word = 0;
    if (ProcessBlockWord(*process, reinterpret_cast<uintptr_t>(lpBaseAddress), word)) {
        if (nSize != sizeof word) {
            simbase::LastError() = ERROR_PARTIAL_COPY;
            return FALSE;
        }
        std::memcpy(lpBuffer, &word, sizeof word);
        if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = nSize;
        return TRUE;
    }
    // Only images' headers hold anything else to read here.
    const uintptr_t address = reinterpret_cast<uintptr_t>(lpBaseAddress);
    for (const auto& view : process->views) {
        if (view.type != MEM_IMAGE || address < view.base) continue;
        const std::vector<unsigned char> page = ImageHeader(view);
        if (address - view.base + nSize > page.size()) continue;
        std::memcpy(lpBuffer, &page[address - view.base], nSize);
        if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = nSize;
        return TRUE;
    }
    simbase::LastError() = ERROR_PARTIAL_COPY;
    return FALSE;
}

}  // namespace os

namespace sim {
namespace detail {

using namespace os;

namespace {

const MappedView* ViewAt(const Process& process, PVOID base) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(base);
    for (const auto& view : process.views) {
        if (address >= view.base && address - view.base < view.size) return &view;
    }
    return nullptr;
}

// The file's name as a counted string followed by its characters.
NTSTATUS WriteSectionName(const MappedView& view, PVOID info, SIZE_T length, SIZE_T* returned) {
    const std::u16string name = Wide(view.deviceName);
    const SIZE_T needed = sizeof(UNICODE_STRING) + (name.size() + 1) * sizeof(WCHAR);
    if (returned != nullptr) *returned = needed;
    if (length < needed) return STATUS_BUFFER_OVERFLOW;
    auto* string = static_cast<UNICODE_STRING*>(info);
    auto* text = reinterpret_cast<WCHAR*>(string + 1);
    std::copy(name.begin(), name.end(), text);
    text[name.size()] = 0;
    string->Buffer = text;
    string->Length = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    string->MaximumLength = static_cast<USHORT>(string->Length + sizeof(WCHAR));
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS OSAPI SimNtQueryVirtualMemory(HANDLE process, PVOID base, ULONG infoClass, PVOID info, SIZE_T length,
                                       SIZE_T* returned) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.data.record.nativeViewQueries;
    DWORD error;
    const Process* owner = ProcessOfHandle(state.data, process, PROCESS_QUERY_INFORMATION, error);
    if (owner == nullptr) return STATUS_ACCESS_DENIED;
    const MappedView* view = ViewAt(*owner, base);
    if (view == nullptr || info == nullptr) return STATUS_INVALID_PARAMETER;
    if (infoClass == MemoryMappedFilenameInformation) {
        if (view->nativeNameFails || view->deviceName.empty()) return STATUS_INVALID_PARAMETER;
        return WriteSectionName(*view, info, length, returned);
    }
    if (infoClass == MemoryRegionInformation && !state.data.settings.regionInfoFails) {
        if (length < sizeof(MEMORY_REGION_INFORMATION)) return STATUS_INFO_LENGTH_MISMATCH;
        MEMORY_REGION_INFORMATION region = {};
        region.AllocationBase = reinterpret_cast<PVOID>(view->base);
        region.RegionSize = view->size;
        std::memcpy(info, &region, sizeof region);
        if (returned != nullptr) *returned = sizeof region;
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_INFO_CLASS;
}

}  // namespace detail
}  // namespace sim
