#include "tests/sim/State.h"

namespace sim {
namespace detail {

char16_t FoldUnit(char16_t c, bool ignoreCase) {
    if (!ignoreCase) return c;
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    // Latin-1, Greek and Cyrillic small letters, as the system's table has them.
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

bool SameUnits(const std::u16string& a, const std::u16string& b, bool ignoreCase) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldUnit(a[i], ignoreCase) != FoldUnit(b[i], ignoreCase)) return false;
    }
    return true;
}

}  // namespace detail
}  // namespace sim

namespace os {

using namespace sim::detail;

int CompareStringOrdinal(const WCHAR* lpString1, int cchCount1, const WCHAR* lpString2, int cchCount2,
                         BOOL bIgnoreCase) {
    if (lpString1 == nullptr || lpString2 == nullptr) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return 0;
    }
    bool ignoreCase;
    {
        std::lock_guard<std::mutex> lock(Sim().mutex);
        ignoreCase = bIgnoreCase != FALSE && Sim().data.settings.nameCase == sim::NameCase::Ignore;
    }
    const size_t n1 = cchCount1 < 0 ? std::char_traits<char16_t>::length(lpString1) : static_cast<size_t>(cchCount1);
    const size_t n2 = cchCount2 < 0 ? std::char_traits<char16_t>::length(lpString2) : static_cast<size_t>(cchCount2);
    for (size_t i = 0; i < n1 && i < n2; ++i) {
        const char16_t a = FoldUnit(lpString1[i], ignoreCase), b = FoldUnit(lpString2[i], ignoreCase);
        if (a != b) return a < b ? 1 : 3;
    }
    return n1 == n2 ? CSTR_EQUAL : n1 < n2 ? 1 : 3;
}

}  // namespace os
