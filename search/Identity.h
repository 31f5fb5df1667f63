// Who a process is, written the same way by every front end.
#pragma once

#include <cstdint>
#include <string>

#include "search/Finding.h"

// The unit or container a process was placed in, short enough for a column:
// "docker:3f4e5a6b7c8d" (the ID's first 12 digits), "user:app.service" (a
// user's own unit), "cron.service", or a Windows service host's services
// ("Dnscache,nsi"); empty for none, or where unknown.
Text PlaceText(const ProcessIdentity& identity);

// Milliseconds since 1970 as ISO 8601 in UTC ("2026-12-07T22:57:12.340Z");
// empty for ProcessIdentity::kUnknown.
std::string IsoTime(int64_t ms);
