// Failures the tests cannot arrange for real (a kernel without pidfds, a
// descriptor the kernel will not describe, a read that never returns),
// injected where the Linux wing makes those calls. Only a test build reads
// them, once, from FENCAT_TEST_FAULTS: comma-separated "CALL=ERRNO" or
// "CALL=ERRNO@PID", ERRNO by name or number; "stall@PID" blocks the read of
// PID. A build without tests injects nothing.
#pragma once

#include <cstdint>

namespace proc {

enum class Call { PidfdOpen, PidfdSendSignal, HoldFolder, SignalCheck, ProcessFolder, DescriptorStat, Stall };

// The errno value the call is to fail with for process `pid`; 0 for none.
// For Call::Stall, non-zero where the read of `pid` is to block.
#ifdef FENCAT_FAULTS
int InjectedError(Call call, uint32_t pid);
#else
inline int InjectedError(Call, uint32_t) { return 0; }
#endif

}  // namespace proc
