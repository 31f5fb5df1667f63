// The system's own headers, for Windows code above and in this backend.
// platform/Api.h comes first: the system's macros (TRUE, MAX_PATH, ERROR_…)
// would otherwise break the os:: constants. After this header, use the
// system's names; the os:: constants are not reachable by name any more.
#pragma once

#include "windows/platform/Api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
