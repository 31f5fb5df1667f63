// The program's 8-bit text, in the system's ANSI code page, and the one
// conversion of the platform's UTF-16 names into it.
#pragma once

#include <string>

#include "windows/platform/Records.h"

using Text = std::string;

// Converts zero-terminated UTF-16 (null gives the empty text).
void UnicodeToText(const os::WCHAR* unicode, Text& text);

// Converts a counted string record; its buffer is read up to the first zero
// unit, never beyond the larger of its length and capacity.
void UnicodeStringToText(const os::UNICODE_STRING* string, Text& text);

// Converts exactly `units` code units (the text ends early at a zero unit).
void UnicodeToText(const os::WCHAR* unicode, size_t units, Text& text);
