#include "cli/Output.h"

#include "search/UsageSearch.h"
#include "sysinfo/Diagnostics.h"

namespace {

// Length of the valid UTF-8 sequence at s (at most `left` bytes), or 0:
// overlong forms, surrogates and values beyond U+10FFFF are not valid.
size_t Utf8Sequence(const unsigned char* s, size_t left) {
    const unsigned char b = s[0];
    size_t length;
    char32_t code, min;
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) {
        length = 2, min = 0x80, code = b & 0x1Fu;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, min = 0x800, code = b & 0x0Fu;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, code = b & 0x07u;
    } else {
        return 0;
    }
    if (length > left) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (s[i] & 0x3Fu);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

void AppendEscape(std::string& out, const char* prefix, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "%s%02x", prefix, value & 0xFFu);
    out += escape;
}

}  // namespace

std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = s[i];
        const size_t n = Utf8Sequence(s + i, bytes.size() - i);
        if (n == 0) {
            AppendEscape(out, "\\udc", c);
            ++i;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20)
                AppendEscape(out, "\\u00", c);
            else
                out.append(bytes, i, n);
        }
        i += n;
    }
    out += '"';
    return out;
}

void FindingPrinter::Begin() {
    // JSON objects name their FILE themselves; a heading would break the stream.
    if (m_heading && m_format != OutputFormat::Json) std::fprintf(m_out, "%s:\n", VisibleText(m_query).c_str());
    // Each FILE is searched as a drop of that one file would be.
    Diag("DragDrop\n");
}

void FindingPrinter::Append(const char* line, const Finding& finding) {
    ++m_lines;
    switch (m_format) {
    case OutputFormat::Lines: std::fprintf(m_out, "%s\n", line); break;
    case OutputFormat::Long: std::fprintf(m_out, "%s  %s\n", line, VisibleText(DisplayPath(finding)).c_str()); break;
    case OutputFormat::Json: {
        const char* kind = finding.kind == Finding::Kind::Module ? "module" : "handle";
        std::fprintf(m_out, "{\"pid\":%u,\"name\":%s,\"kind\":\"%s\",\"path\":%s,\"file\":%s}\n",
                     static_cast<unsigned>(finding.pid), JsonString(finding.processName).c_str(), kind,
                     JsonString(DisplayPath(finding)).c_str(), JsonString(m_query).c_str());
        break;
    }
    }
}
