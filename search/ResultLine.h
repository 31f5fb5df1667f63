// How findings are written as text: the result line, names made safe to
// show, the pass headers and the notice of processes left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "search/Finding.h"
#include "search/Search.h"

// "0x%04X  %-20s", never cut; the name as VisibleText writes it.
Text FormatResultLine(uint32_t pid, const Text& processName);

// `bytes` as a line of text shows them: control characters (C0, DEL, and
// the C1 controls as UTF-8 writes them) as \xHH and, where the backslash is no separator, a backslash as \\, so that
// no name can end a line, forge one or steer a terminal.
Text VisibleText(const Text& bytes);

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
