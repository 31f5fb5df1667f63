#include "search/ResultLine.h"

#include <cstdio>

#include "search/Utf8.h"

void AppendEscape(std::string& out, const char* prefix, unsigned value) {
    static const char kDigits[] = "0123456789abcdef";
    out += prefix;
    out += kDigits[(value >> 4) & 0xFu];
    out += kDigits[value & 0xFu];
}

bool IsControlCode(char32_t code) {
    return code < 0x20 || (code >= 0x7F && code < 0xA0) || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

Text VisibleText(const Text& bytes, PathStyle style) {
    // Names are UTF-8 on both systems, where U+0080 to U+009F (C2 80 to
    // C2 9F) are the C1 controls, CSI among them, and the bidirectional
    // controls begin with E2. Only where the backslash is no separator is it
    // escaped too.
    const bool backslashIsText = style == PathStyle::Unix;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    Text out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char byte = s[i];
        char32_t code = byte;
        size_t length = 1;
        // Only those lead bytes can begin a control beyond ASCII, so the
        // rest pass unread.
        if (byte >= 0x80) length = byte == 0xC2 || byte == 0xE2 ? Utf8Sequence(s + i, bytes.size() - i, code) : 0;
        if (length != 0 && IsControlCode(code)) {
            for (size_t k = 0; k < length; ++k) AppendEscape(out, "\\x", s[i + k]);
            i += length - 1;
        } else if (byte == '\\' && backslashIsText) {
            out += "\\\\";
        } else {
            out += bytes[i];
        }
    }
    return out;
}

Text PadRight(const Text& text, size_t width) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t characters = 0;
    for (size_t i = 0; i < text.size() && characters < width; ++characters) {
        char32_t code;
        const size_t length = Utf8Sequence(s + i, text.size() - i, code);
        i += length != 0 ? length : 1;
    }
    return characters < width ? text + Text(width - characters, ' ') : text;
}

Text FormatResultLine(uint32_t pid, const Text& processName, PathStyle style) {
    char id[16];
    std::snprintf(id, sizeof id, "0x%04X  ", static_cast<unsigned>(pid));
    return id + PadRight(VisibleText(processName, style), 20);
}
