// Which of a process's handles holds its current folder: the value kept in
// its process parameters.
#pragma once

#include <cstdint>

#include "windows/platform/Api.h"

// The handle value of `process`'s current folder; false where it cannot be
// read: refused, or a 64-bit process read by a 32-bit build.
bool CurrentFolderHandle(os::HANDLE process, uintptr_t& value);
