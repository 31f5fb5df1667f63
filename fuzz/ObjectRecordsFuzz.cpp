// A handle's type record, object name record and file name record, each
// saying anything, read as the handle pass names a handle.
#include "fuzz/FuzzInput.h"
#include "windows/sysinfo/HandleNames.h"
#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemHandlesInformation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    sim::Reset();
    sim::Set().nameCase = in.U8() % 2 == 0 ? sim::NameCase::Ignore : sim::NameCase::Exact;
    static const char* const kTypes[] = {"File", "Event", "Process", "Thread"};
    const uint8_t typeChoice = in.U8();
    sim::HandleRow& row = sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe").Handle(0x4, kTypes[typeChoice % 4]);
    const uint8_t raw = in.U8();
    if (raw & 1) row.typeAnswers = ReadAnswers(in, 0xFFFFFFFF);
    if (raw & 2) row.nameAnswers = ReadAnswers(in, 0xFFFFFFFF);
    if (raw & 4) row.fileAnswers = ReadAnswers(in, 0xFFFFFFFF);
    const os::HANDLE handle = HandleFromValue(0x4);
    Text name = "old";
    const bool named = GetHandleName(handle, name, sim::kDefaultOwnPid);
    if (!named && name != "old") __builtin_trap();
    // Each way of naming, whatever type the record claimed.
    for (uint16_t type : {kFileType, static_cast<uint16_t>(8), kProcessType}) {
        name = "old";
        GetHandleNameByType(handle, type, name, sim::kDefaultOwnPid);
    }
    return 0;
}
