// How findings are written as text: the result line, names made safe to
// show, the pass headers and the notice of processes left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "search/Finding.h"
#include "search/Search.h"

// "0x%04X  %-20s", never cut, the name padded to 20 characters (not bytes);
// the name as VisibleText writes it.
Text FormatResultLine(uint32_t pid, const Text& processName);

// `text` with blanks after it up to `width` characters; UTF-8 counts by
// characters, and a byte that begins none counts as one.
Text PadRight(const Text& text, size_t width);

// `bytes` as a line of text shows them: control characters (C0, DEL, and
// the C1 controls as UTF-8 writes them) and the bidirectional controls
// (U+202A to U+202E, U+2066 to U+2069) as \xHH and, where the backslash is
// no separator, a backslash as \\, so that no name can end a line, forge
// one, steer a terminal or show its text in another order.
Text VisibleText(const Text& bytes);

// Whether `code` is a control that no name may carry into a line as it is:
// C0, DEL, C1, and the bidirectional embeddings, overrides and isolates.
bool IsControlCode(char32_t code);

// Appends `prefix` and the low byte of `value` as two lowercase hex digits,
// as the escapes of VisibleText and of JSON end.
void AppendEscape(std::string& out, const char* prefix, unsigned value);

// The header line of a pass and a rule of the given number of dashes.
std::string PassHeader(size_t ruleLength);
constexpr size_t kModulePassRule = 66;
constexpr size_t kHandlePassRule = 54;

// What a front end says when processes could not be examined (refused,
// hidden, or given up as stalled); empty for none.
std::string NotExaminedNotice(const SearchReport& report);
std::string NotExaminedNotice(uint32_t count, const std::vector<uint32_t>& stalled = {});
// What such a notice says of processes refused or stalled: the window looks
// for it in what fencat run as root says.
inline constexpr char kNotExaminedPhrase[] = "could not be examined";

// What a 32-bit Windows program says of the processes whose modules it
// could not list (see SearchReport::unlisted); empty for none. `program`
// names the 64-bit one that sees them.
std::string UnlistedNotice(uint32_t count, const char* program);
