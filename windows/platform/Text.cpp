// Text: the system's own comparison of names.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

int CompareStringOrdinal(const WCHAR* a, int countA, const WCHAR* b, int countB, BOOL ignoreCase) {
    return ::CompareStringOrdinal(reinterpret_cast<LPCWCH>(a), countA, reinterpret_cast<LPCWCH>(b), countB, ignoreCase);
}

}  // namespace os
