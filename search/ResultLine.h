// How findings are written as text: the result line and names made safe to
// show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "search/Finding.h"
#include "search/Paths.h"

// "0x%04X  %-20s", never cut, the name padded to 20 characters (not bytes);
// the name as VisibleText writes it.
Text FormatResultLine(uint32_t pid, const Text& processName, PathStyle style = kHostPathStyle);

// `text` with blanks after it up to `width` characters; UTF-8 counts by
// characters, and a byte that begins none counts as one.
Text PadRight(const Text& text, size_t width);

// `bytes` as a line of text shows them: control characters (C0, DEL, and
// the C1 controls as UTF-8 writes them) and the bidirectional controls
// (U+202A to U+202E, U+2066 to U+2069) as \xHH and, where the backslash is
// no separator in `style`, a backslash as \\, so that no name can end a
// line, forge one, steer a terminal or show its text in another order.
Text VisibleText(const Text& bytes, PathStyle style = kHostPathStyle);

// Whether `code` is a control that no name may carry into a line as it is:
// C0, DEL, C1, and the bidirectional embeddings, overrides and isolates.
bool IsControlCode(char32_t code);

// Appends `prefix` and the low byte of `value` as two lowercase hex digits,
// as the escapes of VisibleText and of JSON end.
void AppendEscape(std::string& out, const char* prefix, unsigned value);
