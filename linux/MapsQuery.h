// The kernel's query of one mapping (an ioctl on /proc/PID/maps, Linux 6.11
// and later): a file's identity without the text of every mapping.
#pragma once

#include <cstdint>
#include <string>

#include "linux/ProcText.h"

namespace proc {

struct MappedFile {
    uint64_t start = 0;
    uint64_t end = 0;
    FileId id;
};

enum class MapsQuery {
    Found,
    End,          // no file is mapped at or after the address
    Unsupported,  // no such query here, or not on this descriptor: read the text
    Gone,         // the process has no memory (a kernel thread), or no longer
    Failed,       // errno tells
};

// The first mapping of a file at or after `address` in the maps that
// `mapsFd` has open; with its name, as the kernel names it, where `name`
// is given.
MapsQuery QueryMappedFile(int mapsFd, uint64_t address, MappedFile& out, std::string* name);

}  // namespace proc
