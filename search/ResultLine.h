// How findings are written as text: the result line and names made safe to
// show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "search/Finding.h"
#include "search/Paths.h"

// "0x%04X  %-20s", never cut; the name as VisibleText writes it.
Text FormatResultLine(uint32_t pid, const Text& processName, PathStyle style = kHostPathStyle);

// `bytes` as a line of text shows them: control characters (C0, DEL, and
// the C1 controls as UTF-8 writes them) as \xHH and, where the backslash is
// no separator in `style`, a backslash as \\, so that no name can end a
// line, forge one or steer a terminal.
Text VisibleText(const Text& bytes, PathStyle style = kHostPathStyle);

// Appends `prefix` and the low byte of `value` as two lowercase hex digits,
// as the escapes of VisibleText and of JSON end.
void AppendEscape(std::string& out, const char* prefix, unsigned value);
