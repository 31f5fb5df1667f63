#include "tests/sim/generic/Utf.h"

#include <cstring>

#include "tests/sim/generic/Objects.h"

namespace simbase {

namespace {

// Length of the valid UTF-8 sequence at s (at most `left` bytes), or 0.
size_t ValidSequence(const unsigned char* s, size_t left, char32_t& code) {
    unsigned char b = s[0];
    size_t length;
    char32_t min;
    if (b < 0x80) {
        code = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2, min = 0x80, code = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, min = 0x800, code = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, code = b & 0x07;
    } else {
        return 0;
    }
    if (length > left) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (s[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// Shared frame of both conversions: `encode` writes one code point's bytes
// (or reports their number when out is null).
template <typename Encode>
int Convert(const os::WCHAR* units, int count, char* out, int size, Encode encode) {
    size_t n = count < 0 ? std::char_traits<char16_t>::length(units) + 1 : static_cast<size_t>(count);
    size_t written = 0;
    char buffer[4];
    for (size_t i = 0; i < n; ++i) {
        char32_t code = units[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        size_t bytes = encode(code, buffer);
        if (size != 0) {
            if (written + bytes > static_cast<size_t>(size)) {
                LastError() = os::ERROR_INSUFFICIENT_BUFFER;
                return 0;
            }
            std::memcpy(out + written, buffer, bytes);
        }
        written += bytes;
    }
    return static_cast<int>(written);
}

}  // namespace

std::u16string Utf8ToUtf16(const char* bytes, size_t length) {
    std::u16string result;
    result.reserve(length);
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0;
    while (i < length) {
        char32_t code;
        size_t n = ValidSequence(s + i, length - i, code);
        if (n == 0) {
            result.push_back(static_cast<char16_t>(0xDC00 + s[i]));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            result.push_back(static_cast<char16_t>(code));
        }
        i += n;
    }
    return result;
}

int Utf16ToUtf8(const os::WCHAR* units, int count, char* out, int size) {
    return Convert(units, count, out, size, [](char32_t code, char* b) -> size_t {
        if (code >= 0xDC80 && code <= 0xDCFF) {  // an escaped byte
            b[0] = static_cast<char>(code - 0xDC00);
            return 1;
        }
        if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
        if (code < 0x80) {
            b[0] = static_cast<char>(code);
            return 1;
        }
        if (code < 0x800) {
            b[0] = static_cast<char>(0xC0 | (code >> 6));
            b[1] = static_cast<char>(0x80 | (code & 0x3F));
            return 2;
        }
        if (code < 0x10000) {
            b[0] = static_cast<char>(0xE0 | (code >> 12));
            b[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            b[2] = static_cast<char>(0x80 | (code & 0x3F));
            return 3;
        }
        b[0] = static_cast<char>(0xF0 | (code >> 18));
        b[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        b[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        b[3] = static_cast<char>(0x80 | (code & 0x3F));
        return 4;
    });
}

}  // namespace simbase
