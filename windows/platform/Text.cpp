// Text: the system's code page conversion and the C runtime's multibyte
// comparisons, which follow the ANSI code page from program start.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

#include <mbstring.h>

namespace os {

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* units, int count, LPSTR out, int size,
                        LPCSTR defaultChar, BOOL* usedDefault) {
    return ::WideCharToMultiByte(codePage, flags, reinterpret_cast<LPCWCH>(units), count, out, size, defaultChar,
                                 usedDefault);
}

BOOL IsDBCSLeadByte(BYTE byte) { return ::IsDBCSLeadByte(byte); }

int _mbsicmp(const unsigned char* a, const unsigned char* b) { return ::_mbsicmp(a, b); }

int _mbsnbicmp(const unsigned char* a, const unsigned char* b, size_t count) { return ::_mbsnbicmp(a, b, count); }

}  // namespace os
