#include "windows/sysinfo/CurrentFolder.h"

#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemModulesInformation.h"

namespace {

// Where the parameters stand in the block at this build's pointer width,
// and where in them the current folder's handle follows its path.
constexpr uintptr_t kParametersInBlock = os::kIs32Bit ? 0x10 : 0x20;
constexpr uintptr_t kFolderHandleInParameters = os::kIs32Bit ? 0x24 + 0x8 : 0x38 + 0x10;

bool ReadPointer(os::HANDLE process, uintptr_t address, uintptr_t& value) {
    os::SIZE_T read = 0;
    return os::ReadProcessMemory(process, reinterpret_cast<const void*>(address), &value, sizeof value, &read) &&
           read == sizeof value;
}

// A 32-bit build under WOW64 is shown only the 32-bit view of a 64-bit
// process, whose parameters it cannot reach.
bool SameWidth(os::HANDLE process) {
    if (!os::kIs32Bit || !UnderWow64()) return true;
    os::BOOL wow64 = os::FALSE;
    return os::IsWow64Process(process, &wow64) && wow64;
}

}  // namespace

bool CurrentFolderHandle(os::HANDLE process, uintptr_t& value) {
    if (!g_nativeApiAvailable || !SameWidth(process)) return false;
    os::PROCESS_BASIC_INFORMATION basic{};
    if (NativeApi.NtQueryInformationProcess(process, os::ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0 ||
        basic.PebBaseAddress == nullptr)
        return false;
    uintptr_t parameters = 0;
    if (!ReadPointer(process, reinterpret_cast<uintptr_t>(basic.PebBaseAddress) + kParametersInBlock, parameters) ||
        parameters == 0)
        return false;
    return ReadPointer(process, parameters + kFolderHandleInParameters, value);
}
