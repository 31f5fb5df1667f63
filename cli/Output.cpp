#include "cli/Output.h"

#include <algorithm>

#include "cli/Platform.h"
#include "search/Identity.h"
#include "search/ResultLine.h"
#include "search/Utf8.h"

std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = s[i];
        char32_t code;
        const size_t n = Utf8Sequence(s + i, bytes.size() - i, code);
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
            // The C1 controls (U+0080 to U+009F) too: CSI steers a terminal.
            if (code < 0x20 || (code >= 0x80 && code < 0xA0))
                AppendEscape(out, "\\u00", static_cast<unsigned>(code));
            else
                out.append(bytes, i, n);
        }
        i += n;
    }
    out += '"';
    return out;
}

namespace {

std::string Number(int64_t value) { return value == Finding::kUnknown ? "null" : std::to_string(value); }

std::string JsonText(const Text& text) { return text.empty() ? "null" : JsonString(text); }

std::string JsonList(const std::vector<Text>& texts) {
    std::string list = "[";
    for (const Text& text : texts) list += (list.size() == 1 ? "" : ",") + JsonString(text);
    return list + "]";
}

// Who the process is: every member null where the search could not tell.
std::string IdentityJson(const Finding& f) {
    static const ProcessIdentity kUnread;
    const ProcessIdentity& id = f.identity ? *f.identity : kUnread;
    const Container& c = id.container;
    std::string json = ",\"exe\":" + JsonText(id.exe);
    json += ",\"cmdline\":" + (id.commandLineRead ? JsonList(id.commandLine) : std::string("null"));
    const std::string started = IsoTime(id.startedMs);
    json += ",\"started\":" + (started.empty() ? std::string("null") : JsonString(started));
    json += ",\"ppid\":" + Number(id.parentPid) + ",\"parent\":" + JsonText(id.parentName);
    json += ",\"unit\":" + JsonText(id.unit) + ",\"user_unit\":" + (id.userUnit ? "true" : "false");
    json += ",\"container\":" + (c.runtime.empty() ? std::string("null")
                                                   : "{\"runtime\":" + JsonString(c.runtime) + ",\"id\":" +
                                                         JsonString(c.id) + ",\"pod\":" + JsonText(c.pod) + "}");
    return json + ",\"services\":" + JsonList(id.services);
}

void PrintJson(FILE* out, const Answer& answer) {
    for (const Finding& f : answer.report.findings) {
        const std::string user = UserName(f);
        std::fprintf(out,
                     "{\"pid\":%u,\"name\":%s,\"kind\":\"%s\",\"path\":%s,\"file\":%s,\"uid\":%s,\"user\":%s,"
                     "\"access\":\"%s\",\"fd\":%s,\"use\":%s%s}\n",
                     static_cast<unsigned>(f.pid), JsonString(f.processName).c_str(),
                     WordOfKind(f.kind), JsonString(DisplayPath(f)).c_str(),
                     JsonString(answer.query).c_str(), Number(f.uid).c_str(),
                     user.empty() ? "null" : JsonString(user).c_str(), AccessLetters(f.access, false).c_str(),
                     Number(f.descriptor).c_str(), JsonString(UseWords(f.access)).c_str(), IdentityJson(f).c_str());
    }
}

// One row per process, with all the ways it uses the file; the path of its
// first finding.
void PrintTable(FILE* out, const Answer& answer) {
    std::vector<const Finding*> firsts;
    std::vector<uint32_t> access;
    for (const Finding& finding : answer.report.findings) {
        size_t i = 0;
        while (i < firsts.size() && firsts[i]->pid != finding.pid) ++i;
        if (i == firsts.size()) {
            firsts.push_back(&finding);
            access.push_back(0);
        }
        access[i] |= finding.access;
    }
    for (size_t i = 0; i < firsts.size(); ++i) {
        const Finding& f = *firsts[i];
        std::string user = UserName(f);
        if (user.empty()) user = "?";
        // "?" where the place could not be read, "-" where there is none.
        std::string place = f.identity && f.identity->placeRead ? PlaceText(*f.identity) : "?";
        if (place.empty()) place = "-";
        std::fprintf(out, "%-12s %7u %-6s %-20s %-20s %s\n", VisibleText(user).c_str(), static_cast<unsigned>(f.pid),
                     AccessLetters(access[i], true).c_str(), VisibleText(f.processName, answer.report.style).c_str(),
                     VisibleText(place, answer.report.style).c_str(),
                     VisibleText(DisplayPath(f), answer.report.style).c_str());
    }
}

}  // namespace

void PrintFindings(FILE* out, OutputFormat format, const std::vector<Answer>& answers) {
    if (format == OutputFormat::Terse) {
        std::vector<uint32_t> pids;
        for (const Answer& answer : answers) {
            for (const Finding& finding : answer.report.findings) pids.push_back(finding.pid);
        }
        std::sort(pids.begin(), pids.end());
        pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
        for (const uint32_t pid : pids) std::fprintf(out, "%u\n", static_cast<unsigned>(pid));
        return;
    }
    if (format == OutputFormat::Verbose)
        std::fprintf(out, "%-12s %7s %-6s %-20s %-20s %s\n", "USER", "PID", "ACCESS", "COMMAND", "UNIT", "PATH");
    for (const Answer& answer : answers) {
        // JSON objects name their FILE themselves; a heading would break the stream.
        if (answers.size() > 1 && format != OutputFormat::Json)
            std::fprintf(out, "%s:\n", VisibleText(answer.query).c_str());
        switch (format) {
        case OutputFormat::Json: PrintJson(out, answer); break;
        case OutputFormat::Verbose: PrintTable(out, answer); break;
        default:
            for (const Finding& finding : answer.report.findings) {
                const Text line = FormatResultLine(finding.pid, finding.processName, answer.report.style);
                if (format == OutputFormat::Long)
                    std::fprintf(out, "%s  %s\n", line.c_str(),
                                 VisibleText(DisplayPath(finding), answer.report.style).c_str());
                else
                    std::fprintf(out, "%s\n", line.c_str());
            }
        }
    }
}
