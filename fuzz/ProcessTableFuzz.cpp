// The process snapshot's walk over a process table that says anything: the
// index holds what the walk reached, and every name it hands on reads
// inside the buffer (the sanitizers watch the reads).
#include "fuzz/FuzzInput.h"
#include "windows/sysinfo/SystemProcessesInformation.h"
#include "windows/sysinfo/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    sim::Reset();
    sim::Set().nameCase = in.U8() % 2 == 0 ? sim::NameCase::Ignore : sim::NameCase::Exact;
    sim::Set().processTableAnswers = ReadAnswers(in, 1u << 20);
    SystemProcessesInformation snapshot(true);
    size_t walked = 0;
    Text name;
    for (PidIndex::Position pos = snapshot.Index().GetStartPosition(); pos != 0; ++walked) {
        uint32_t pid;
        const ProcessEntry* entry;
        snapshot.Index().GetNextAssoc(pos, pid, entry);
        const ProcessEntry* found = nullptr;
        if (!snapshot.Lookup(pid, found) || found != entry) __builtin_trap();
        // As the search names a finding's process.
        UnicodeStringToText(&entry->ImageName, name);
    }
    if (walked != snapshot.Count()) __builtin_trap();
    return 0;
}
