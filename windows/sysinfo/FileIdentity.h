// What a file is, whatever name it goes by: its volume's serial number and
// its ID on that volume. Short names, other drive letters, hard links and
// the system's prefixes all lead to the same identity.
#pragma once

#include <cstdint>

#include "windows/platform/Api.h"
#include "windows/sysinfo/Text.h"

struct FileId {
    uint64_t volume = 0;
    uint64_t low = 0;   // the 64-bit file index, or the low half of a 128-bit ID
    uint64_t high = 0;
    bool whole = false;  // from FileIdInfo: all 64 bits of the serial and 128 of the ID
};

// The two ways of asking give the same low parts for the same file; the
// rest is compared only where both have it.
bool SameFile(const FileId& a, const FileId& b);

// The identity of an open file: FileIdInfo where the system has it, else
// GetFileInformationByHandle. False for what has none (a pipe, a device).
bool ReadFileId(os::HANDLE file, FileId& id);

// Opens `path` for its attributes only, sharing everything, and reads its
// identity. A path too long for the system's plain form is opened in its
// \\?\ form.
bool FileIdOfPath(const WideText& path, FileId& id);
