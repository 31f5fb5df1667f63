#include <cstdlib>
#include <cstring>

#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

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
    DWORD error;
    sim::Process* process = ProcessOfHandle(state.data, hProcess, PROCESS_QUERY_INFORMATION, error);
    if (process == nullptr || lpBuffer == nullptr || dwLength < sizeof *lpBuffer) {
        simbase::LastError() = process == nullptr ? error : ERROR_INVALID_PARAMETER;
        return 0;
    }
    // Free space up to each view, then the view; nothing lies beyond the last.
    const uintptr_t address = reinterpret_cast<uintptr_t>(lpAddress);
    std::memset(lpBuffer, 0, sizeof *lpBuffer);
    for (const auto& view : process->views) {
        if (address < view.base) {
            lpBuffer->BaseAddress = const_cast<void*>(lpAddress);
            lpBuffer->RegionSize = view.base - address;
            lpBuffer->State = 0x10000;  // MEM_FREE
            return sizeof *lpBuffer;
        }
        if (address - view.base < view.size) {
            lpBuffer->BaseAddress = reinterpret_cast<PVOID>(view.base);
            lpBuffer->AllocationBase = reinterpret_cast<PVOID>(view.base);
            lpBuffer->RegionSize = view.size;
            lpBuffer->State = MEM_COMMIT;
            lpBuffer->Type = MEM_MAPPED;
            return sizeof *lpBuffer;
        }
    }
    simbase::LastError() = ERROR_INVALID_PARAMETER;
    return 0;
}

}  // namespace os
