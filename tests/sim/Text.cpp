#include <string>

#include "tests/sim/generic/Utf.h"
#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

namespace {

sim::CodePage AnsiCodePage() {
    std::lock_guard<std::mutex> lock(Sim().mutex);
    return Sim().data.settings.ansiCodePage;
}

// A code page 1252 conversion with the default character: marks (and
// replaces) each character that the code page cannot show.
bool UseDefaultChar(const WCHAR* units, int count, char* out, int written, char defaultChar) {
    std::string converted(static_cast<size_t>(written), '\0');
    simbase::Utf16ToCp1252(units, count, &converted[0], written);
    size_t n = count < 0 ? std::char_traits<char16_t>::length(units) + 1 : static_cast<size_t>(count);
    bool used = false;
    size_t byte = 0;
    for (size_t i = 0; i < n && byte < converted.size(); ++i, ++byte) {
        char16_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) ++i;
        if (converted[byte] == '?' && unit != u'?') {
            used = true;
            if (out != nullptr) out[byte] = defaultChar;
        }
    }
    return used;
}

// The C library's upper-casing in the ANSI code page, for comparisons.
unsigned Fold(unsigned char c, bool ignoreCase, bool latin1) {
    if (!ignoreCase) return c;
    if (c >= 'a' && c <= 'z') return c - 0x20u;
    if (latin1) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20u;
        if (c == 0x9A || c == 0x9C || c == 0x9E) return c - 0x10u;
        if (c == 0xFF) return 0x9F;
    }
    return c;
}

int Compare(const unsigned char* a, const unsigned char* b, size_t count) {
    bool ignoreCase, latin1;
    {
        std::lock_guard<std::mutex> lock(Sim().mutex);
        ignoreCase = Sim().data.settings.nameCase == sim::NameCase::Ignore;
        latin1 = Sim().data.settings.ansiCodePage == sim::CodePage::Cp1252;
    }
    for (size_t i = 0; i < count; ++i) {
        unsigned x = Fold(a[i], ignoreCase, latin1);
        unsigned y = Fold(b[i], ignoreCase, latin1);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
    return 0;
}

}  // namespace

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, const WCHAR* lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, BOOL* lpUsedDefaultChar) {
    (void)dwFlags;
    bool utf8 = CodePage == CP_UTF8 || (CodePage == CP_ACP && AnsiCodePage() == sim::CodePage::Utf8);
    if ((CodePage != CP_ACP && CodePage != CP_UTF8 && CodePage != 1252) || lpWideCharStr == nullptr ||
        cchWideChar == 0 || cbMultiByte < 0 || (cbMultiByte > 0 && lpMultiByteStr == nullptr) ||
        (utf8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr))) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return 0;
    }
    if (utf8) return simbase::Utf16ToUtf8(lpWideCharStr, cchWideChar, lpMultiByteStr, cbMultiByte);
    int written = simbase::Utf16ToCp1252(lpWideCharStr, cchWideChar, lpMultiByteStr, cbMultiByte);
    if (written > 0 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) {
        bool used = UseDefaultChar(lpWideCharStr, cchWideChar, cbMultiByte != 0 ? lpMultiByteStr : nullptr, written,
                                   lpDefaultChar != nullptr ? *lpDefaultChar : '?');
        if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used ? TRUE : FALSE;
    }
    return written;
}

int _mbsicmp(const unsigned char* string1, const unsigned char* string2) {
    return Compare(string1, string2, static_cast<size_t>(-1));
}

int _mbsnbicmp(const unsigned char* string1, const unsigned char* string2, size_t count) {
    return Compare(string1, string2, count);
}

}  // namespace os
