#include "windows/sysinfo/CurrentFolder.h"

#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemModulesInformation.h"

namespace {

// Where the parameters stand in the process block, and where in them the
// current folder's handle follows its path, at each pointer width.
struct Layout {
    uintptr_t parametersInBlock;
    uintptr_t folderHandleInParameters;
};
constexpr Layout kLayout32{0x10, 0x24 + 0x8};
constexpr Layout kLayout64{0x20, 0x38 + 0x10};

// A word of `width` bytes (4 or this build's), widened.
bool ReadWord(os::HANDLE process, uintptr_t address, size_t width, uintptr_t& value) {
    value = 0;
    os::SIZE_T read = 0;
    return width <= sizeof value &&
           os::ReadProcessMemory(process, reinterpret_cast<const void*>(address), &value, width, &read) &&
           read == width;
}

bool ReadFolderHandle(os::HANDLE process, uintptr_t block, const Layout& layout, size_t width, uintptr_t& value) {
    uintptr_t parameters = 0;
    return block != 0 && ReadWord(process, block + layout.parametersInBlock, width, parameters) && parameters != 0 &&
           ReadWord(process, parameters + layout.folderHandleInParameters, width, value);
}

bool IsWow64(os::HANDLE process) {
    os::BOOL wow64 = os::FALSE;
    return os::IsWow64Process(process, &wow64) && wow64;
}

}  // namespace

bool CurrentFolderHandle(os::HANDLE process, uintptr_t& value) {
    if (!g_nativeApiAvailable) return false;
    if (os::kIs32Bit) {
        // Under WOW64 a 32-bit build cannot reach a 64-bit process's block.
        if (UnderWow64() && !IsWow64(process)) return false;
    } else if (IsWow64(process)) {
        // The 32-bit code of a WOW64 process keeps its current folder in its
        // own 32-bit parameters; the native ones keep the folder it started in.
        os::ULONG_PTR block32 = 0;
        return NativeApi.NtQueryInformationProcess(process, os::ProcessWow64Information, &block32, sizeof block32,
                                                   nullptr) >= 0 &&
               ReadFolderHandle(process, block32, kLayout32, 4, value);
    }
    os::PROCESS_BASIC_INFORMATION basic{};
    if (NativeApi.NtQueryInformationProcess(process, os::ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0)
        return false;
    return ReadFolderHandle(process, reinterpret_cast<uintptr_t>(basic.PebBaseAddress),
                            os::kIs32Bit ? kLayout32 : kLayout64, sizeof(void*), value);
}
