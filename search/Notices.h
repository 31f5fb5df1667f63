// What front ends say on the side of their findings: the processes that
// could not be examined, and those whose loaded files this build could not
// list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/Search.h"

// What a front end says when processes could not be examined (refused,
// hidden, or given up as stalled); empty for none.
std::string NotExaminedNotice(const SearchReport& report);
std::string NotExaminedNotice(uint32_t count, const std::vector<uint32_t>& stalled = {});
// What such a notice says of processes refused or stalled: the window looks
// for it in what fencat run as root says.
inline constexpr char kNotExaminedPhrase[] = "could not be examined";

// What a 32-bit Windows program says of the processes whose modules it
// could not list (see SearchReport::loadedUnlisted); empty for none.
// `program` names the 64-bit one that sees them.
std::string UnlistedNotice(uint32_t count, const char* program);
