// Conversions between the simulated system's 8-bit names and UTF-16.
//
// Linux names are bytes and need not be valid UTF-8. A byte that is not
// part of valid UTF-8 becomes the lone surrogate U+DC00 + byte, and turns
// back into that byte, so every name survives the trip to UTF-16 and back.
#pragma once

#include <string>

#include "windows/platform/WinTypes.h"

namespace simbase {

std::u16string Utf8ToUtf16(const char* bytes, size_t length);

// WideCharToMultiByte for UTF-8: `units` -1 means
// zero-terminated, terminator included; size 0 asks for the size needed.
// Returns 0 (ERROR_INSUFFICIENT_BUFFER) when the output does not fit.
int Utf16ToUtf8(const os::WCHAR* units, int count, char* out, int size);

}  // namespace simbase
