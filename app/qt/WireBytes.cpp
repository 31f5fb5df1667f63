#include "app/qt/WireBytes.h"

#include "search/Utf8.h"

namespace {

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string BytesOfUtf16(const char16_t* units, size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        const char16_t unit = units[i];
        if (unit >= 0xDC80 && unit <= 0xDCFF && !(i > 0 && IsHigh(units[i - 1]))) {
            bytes += static_cast<char>(unit & 0xFF);
        } else if (IsHigh(unit) && i + 1 < count && IsLow(units[i + 1])) {
            AppendUtf8(bytes, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (IsHigh(unit) || IsLow(unit)) {
            bytes += '?';
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}
