// What a search finds: one way in which one process uses a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class HeldProcess;

// Names and paths as bytes: UTF-8 where the system's names are, otherwise
// whatever bytes the system gave.
using Text = std::string;

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
};
