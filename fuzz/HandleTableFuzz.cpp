// The handle list over a handle table that says anything, with and without
// the type filter that makes it ask each row's type.
#include "fuzz/FuzzInput.h"
#include "windows/sysinfo/SystemHandlesInformation.h"

namespace {

// Rows that a fuzzed table can name: this process's own handles and those
// of one other process.
void AddProcesses() {
    sim::Process& own = sim::AddProcess(sim::kDefaultOwnPid, u"fencat.exe");
    own.Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\a.txt");
    own.Handle(0x8, "Event", u"\\BaseNamedObjects\\e");
    sim::AddProcess(500, u"a.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\b.txt");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    sim::Reset();
    AddProcesses();
    const uint8_t mode = in.U8();
    const uint32_t owner = mode & 1 ? SystemHandlesInformation::kAllProcesses : in.U32();
    sim::Set().handleTableAnswers = ReadAnswers(in, 1u << 19);
    SystemHandlesInformation list(owner, false, nullptr);
    const bool loaded = list.SetTypeFilter(mode & 2 ? "File" : nullptr, true);
    if (!loaded && !list.Entries().empty()) __builtin_trap();
    for (const HandleEntry& entry : list.Entries()) {
        if (entry.Flags != 0) __builtin_trap();
        if (owner != SystemHandlesInformation::kAllProcesses && entry.ProcessId != owner) __builtin_trap();
    }
    return 0;
}
