// What a search finds: one way in which one process uses a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class HeldProcess;

// Names and paths as bytes: UTF-8 where the system's names are, otherwise
// whatever bytes the system gave.
using Text = std::string;

// A container a process runs in, as its control group names it.
struct Container {
    Text runtime;  // "docker", "podman", "containerd", "cri-o"; empty: none
    Text id;       // the container's whole ID
    Text pod;      // the Kubernetes pod's UID, where it is in one
};

// Who a process is, read once for each process found, never for one that
// found nothing. What could not be read is empty or unknown.
struct ProcessIdentity {
    static constexpr int64_t kUnknown = -1;

    Text exe;                       // the executable's path
    bool commandLineRead = false;   // an empty command line read is a kernel thread's
    std::vector<Text> commandLine;  // the arguments, the program's first
    int64_t startedMs = kUnknown;   // milliseconds since 1970-01-01 UTC
    int64_t parentPid = kUnknown;
    Text parentName;
    // Where a service manager or a container engine placed the process;
    // unknown where the place could not be read.
    bool placeRead = false;
    Text unit;              // the systemd unit: "cron.service", "session-2.scope"
    bool userUnit = false;  // of a user's service manager, not the system's
    Container container;
    std::vector<Text> services;  // the services a Windows service host runs
};

struct Finding {
    // Mapped: a file mapped into memory, neither loaded as a module nor held
    // open (only where the system tells the two apart).
    enum class Kind { Module, Handle, Mapped };
    // How the process uses the file; a finding may carry several.
    enum Access : uint32_t {
        kMapped = 1u << 0,         // a module: loaded or mapped
        kExecutable = 1u << 1,     // the process's executable
        kRead = 1u << 2,           // held open for reading
        kWrite = 1u << 3,          // held open for writing
        kCurrentFolder = 1u << 4,  // the process's current folder
        kRootFolder = 1u << 5,     // the process's root folder
        kOpen = 1u << 6,           // held open, how is not known
    };
    static constexpr int64_t kUnknown = -1;

    Kind kind;
    uint32_t pid;
    Text processName;
    Text path;  // the module path, or the handle's name, as the system gave it
    uint32_t access = 0;
    int64_t descriptor = kUnknown;  // the descriptor or handle value
    int64_t uid = kUnknown;         // the process's owner
    // The process, held since it was found; shared by every finding of it in
    // one search, and null where it could not be held.
    std::shared_ptr<HeldProcess> process = nullptr;
    // Who the process is; shared like `process`, null where not read.
    std::shared_ptr<const ProcessIdentity> identity = nullptr;
};
