// The stand-ins' code pages (UTF-8, 1252) have no double-byte characters.
#include "platform/Api.h"

namespace os {

BOOL IsDBCSLeadByte(BYTE) { return FALSE; }

}  // namespace os
