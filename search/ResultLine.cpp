#include "search/ResultLine.h"

#include <cstdio>

#include "search/Utf8.h"

void AppendEscape(std::string& out, const char* prefix, unsigned value) {
    static const char kDigits[] = "0123456789abcdef";
    out += prefix;
    out += kDigits[(value >> 4) & 0xFu];
    out += kDigits[value & 0xFu];
}

Text VisibleText(const Text& bytes, PathStyle style) {
    // Names are UTF-8 on both systems, where U+0080 to U+009F (C2 80 to
    // C2 9F) are the C1 controls, CSI among them. Only where the backslash
    // is no separator is it escaped too.
    const bool backslashIsText = style == PathStyle::Unix;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    Text out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char byte = s[i];
        char32_t code;
        // Only a C2 lead byte can begin one, so the rest pass unread.
        const bool c1 = byte == 0xC2 && Utf8Sequence(s + i, bytes.size() - i, code) == 2 && code < 0xA0;
        if (byte < 0x20 || byte == 0x7F) {
            AppendEscape(out, "\\x", byte);
        } else if (c1) {
            AppendEscape(out, "\\x", byte);
            AppendEscape(out, "\\x", s[++i]);
        } else if (byte == '\\' && backslashIsText) {
            out += "\\\\";
        } else {
            out += bytes[i];
        }
    }
    return out;
}

Text FormatResultLine(uint32_t pid, const Text& processName, PathStyle style) {
    static const char kFormat[] = "0x%04X  %-20s";
    const Text name = VisibleText(processName, style);
    int length = std::snprintf(nullptr, 0, kFormat, static_cast<unsigned>(pid), name.c_str());
    if (length <= 0) return Text();
    Text line(static_cast<size_t>(length), '\0');
    std::snprintf(&line[0], line.size() + 1, kFormat, static_cast<unsigned>(pid), name.c_str());
    return line;
}
