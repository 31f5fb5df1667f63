// Who a process is and whose: its user's name, its executable, command line,
// start, parent, and the unit or container it was placed in. Read for the
// processes a search found, after the scan, so that the others pay nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/Finding.h"
#include "search/Process.h"

// The name of user `uid`, its number where it has none; empty for
// Finding::kUnknown.
std::string UserNameOf(int64_t uid);

namespace proc {

// Where the control group text of /proc/PID/cgroup places a process: its
// systemd unit (a user's own where it lies below user@UID.service) and the
// container it runs in. False for a text that names no group.
struct Place {
    std::string unit;
    bool userUnit = false;
    Container container;
};
bool ParseCgroup(std::string_view text, Place& place);

// A process found, and its hold where the scan took one.
struct Found {
    uint32_t pid;
    std::shared_ptr<HeldProcess> held;
};

// Who each process is, read through the /proc that `procRoot` stands for;
// by the order of `found`. A process that ended meanwhile gets null; a part
// refused or stalled stays unknown.
std::vector<std::shared_ptr<const ProcessIdentity>> ReadIdentities(const std::vector<Found>& found, int procRoot);

}  // namespace proc
