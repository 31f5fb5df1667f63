// Text: the ANSI code page is UTF-8, and file names are case-sensitive, so
// names compare as exact bytes.
#include <cstring>

#include "platform/Api.h"
#include "platform/generic/Objects.h"
#include "platform/generic/Utf.h"

namespace os {

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* units, int count, LPSTR out, int size, LPCSTR, BOOL* usedDefault) {
    if (usedDefault != nullptr) *usedDefault = FALSE;
    if ((codePage != CP_ACP && codePage != CP_UTF8) || units == nullptr || size < 0) {
        standin::LastError() = ERROR_INVALID_PARAMETER;
        return 0;
    }
    return standin::Utf16ToUtf8(units, count, out, size);
}

int _mbsicmp(const unsigned char* a, const unsigned char* b) {
    return std::strcmp(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b));
}

int _mbsnbicmp(const unsigned char* a, const unsigned char* b, size_t count) {
    return std::strncmp(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b), count);
}

}  // namespace os
