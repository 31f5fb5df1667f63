#include "search/ResultLine.h"

#include <cstdio>

#include "search/Paths.h"
#include "search/Utf8.h"

void AppendEscape(std::string& out, const char* prefix, unsigned value) {
    static const char kDigits[] = "0123456789abcdef";
    out += prefix;
    out += kDigits[(value >> 4) & 0xFu];
    out += kDigits[value & 0xFu];
}

Text VisibleText(const Text& bytes) {
    // Names are UTF-8 on both systems, where U+0080 to U+009F (C2 80 to
    // C2 9F) are the C1 controls, CSI among them. Only where the backslash
    // is no separator is it escaped too.
    const bool backslashIsText = kPathStyle == PathStyle::Unix;
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

Text FormatResultLine(uint32_t pid, const Text& processName) {
    static const char kFormat[] = "0x%04X  %-20s";
    const Text name = VisibleText(processName);
    int length = std::snprintf(nullptr, 0, kFormat, static_cast<unsigned>(pid), name.c_str());
    if (length <= 0) return Text();
    Text line(static_cast<size_t>(length), '\0');
    std::snprintf(&line[0], line.size() + 1, kFormat, static_cast<unsigned>(pid), name.c_str());
    return line;
}

std::string PassHeader(size_t ruleLength) {
    char header[64];
    std::snprintf(header, sizeof header, "%-6s  %-20s  %s\n", "PID", "Name", "Path");
    return header + std::string(ruleLength, '-') + "\n";
}

std::string NotExaminedNotice(const SearchReport& report) {
    auto processes = [](size_t count) { return std::to_string(count) + (count == 1 ? " process" : " processes"); };
    std::string notice;
    if (report.refused != 0 && !report.privileged) {
        notice = "fencat: " + processes(report.refused) + " " + kNotExaminedPhrase +
                 " (access denied); run fencat as root or administrator to include other users' processes.\n";
    } else if (report.refused != 0) {
        notice = "fencat: " + processes(report.refused) + " " + kNotExaminedPhrase + " (access denied, even to root):";
        for (const uint32_t pid : report.someRefused) notice += " " + std::to_string(pid);
        if (report.refused > report.someRefused.size())
            notice += " and " + std::to_string(report.refused - report.someRefused.size()) + " more";
        notice += ".\n";
    }
    if (!report.hidden.empty()) notice += "fencat: " + report.hidden + "\n";
    if (report.exhausted != 0) {
        notice += "fencat: " + processes(report.exhausted) + " " + kNotExaminedPhrase +
                  " (out of descriptors or memory; see ulimit -n):";
        for (const uint32_t pid : report.someExhausted) notice += " " + std::to_string(pid);
        if (report.exhausted > report.someExhausted.size())
            notice += " and " + std::to_string(report.exhausted - report.someExhausted.size()) + " more";
        notice += ".\n";
    }
    if (!report.stalled.empty()) {
        notice += "fencat: " + processes(report.stalled.size()) + " " + kNotExaminedPhrase +
                  " (reading made no progress):";
        for (const uint32_t pid : report.stalled) notice += " " + std::to_string(pid);
        notice += "\n";
    }
    return notice;
}

std::string UnlistedNotice(uint32_t count, const char* program) {
    if (count == 0) return std::string();
    return "The modules of " + std::to_string(count) + (count == 1 ? " process" : " processes") +
           " could not be listed by this 32-bit program; the 64-bit " + program + " lists them.\n";
}

std::string NotExaminedNotice(uint32_t count, const std::vector<uint32_t>& stalled) {
    SearchReport report;
    report.refused = count;
    report.stalled = stalled;
    return NotExaminedNotice(report);
}
