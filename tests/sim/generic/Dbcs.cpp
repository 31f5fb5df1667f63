// The simulated system's code pages (UTF-8, 1252) have no double-byte characters.
#include "windows/platform/Api.h"

namespace os {

BOOL IsDBCSLeadByte(BYTE) { return FALSE; }

}  // namespace os
