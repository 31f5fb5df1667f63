#include "cli/Output.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <map>
#include <tuple>

#include "cli/Platform.h"
#include "search/Identity.h"
#include "search/ResultLine.h"
#include "search/Utf8.h"

namespace {

int g_firstWriteError = 0;

}  // namespace

int Put(FILE* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(out, format, args);
    va_end(args);
    if (written < 0 && g_firstWriteError == 0) g_firstWriteError = errno;
    return written;
}

int FirstWriteError() { return g_firstWriteError; }

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
            // The C1 controls too (CSI steers a terminal), and the
            // bidirectional ones, which reorder what a reader sees.
            if (code < 0x20 || (code >= 0x80 && IsControlCode(code))) {
                AppendEscape(out, "\\u", static_cast<unsigned>(code >> 8));
                AppendEscape(out, "", static_cast<unsigned>(code & 0xFF));
            } else {
                out.append(bytes, i, n);
            }
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

// A finding, standing for `count` alike: handles of one process to one
// file, with the same access, where the platform folds them.
struct Folded {
    const Finding* finding;
    size_t count;
};

std::vector<Folded> Fold(const std::vector<Finding>& findings) {
    std::vector<Folded> folded;
    std::map<std::tuple<uint32_t, std::string, uint32_t>, size_t> seen;
    for (const Finding& f : findings) {
        if (f.kind == Finding::Kind::Handle && FoldsHandles()) {
            const auto added = seen.emplace(std::make_tuple(f.pid, f.path, f.access), folded.size());
            if (!added.second) {
                ++folded[added.first->second].count;
                continue;
            }
        }
        folded.push_back(Folded{&f, 1});
    }
    return folded;
}

void PrintJson(FILE* out, const Answer& answer) {
    for (const Folded& folded : Fold(answer.report.findings)) {
        const Finding& f = *folded.finding;
        const std::string user = UserName(f);
        const std::string count = FoldsHandles() ? ",\"count\":" + std::to_string(folded.count) : "";
        Put(out,
            "{\"pid\":%u,\"name\":%s,\"kind\":\"%s\",\"path\":%s,\"file\":%s,\"uid\":%s,\"user\":%s,"
            "\"access\":\"%s\",\"fd\":%s,\"use\":%s%s}\n",
            static_cast<unsigned>(f.pid), JsonString(f.processName).c_str(), WordOfKind(f.kind),
            JsonString(DisplayPath(f)).c_str(), JsonString(answer.query).c_str(), Number(f.uid).c_str(),
            user.empty() ? "null" : JsonString(user).c_str(), AccessLetters(f.access, false).c_str(),
            Number(f.descriptor).c_str(), JsonString(UseWords(f.access)).c_str(), (IdentityJson(f) + count).c_str());
    }
}

// One row per process, with all the ways it uses the file; the path of its
// first finding, and where handles fold, how many it holds.
void PrintTable(FILE* out, const Answer& answer) {
    struct Row {
        const Finding* first;
        uint32_t access;
        size_t handles;
    };
    std::vector<Row> rows;
    for (const Finding& finding : answer.report.findings) {
        size_t i = 0;
        while (i < rows.size() && rows[i].first->pid != finding.pid) ++i;
        if (i == rows.size()) rows.push_back(Row{&finding, 0, 0});
        rows[i].access |= finding.access;
        if (finding.kind == Finding::Kind::Handle) ++rows[i].handles;
    }
    for (const Row& row : rows) {
        const Finding& f = *row.first;
        std::string user = UserName(f);
        if (user.empty()) user = "?";
        const PathStyle style = answer.report.style;
        std::string path = VisibleText(DisplayPath(f), style);
        if (FoldsHandles() && row.handles > 1) path += "  (" + std::to_string(row.handles) + " handles)";
        // "?" where the place could not be read, "-" where there is none.
        std::string place = f.identity && f.identity->placeRead ? PlaceText(*f.identity) : "?";
        if (place.empty()) place = "-";
        Put(out, "%s %7u %-6s %s %s %s\n", PadRight(VisibleText(user), 12).c_str(), static_cast<unsigned>(f.pid),
            AccessLetters(row.access, true).c_str(), PadRight(VisibleText(f.processName, style), 20).c_str(),
            PadRight(VisibleText(place, style), 20).c_str(), path.c_str());
    }
}

}  // namespace

void PrintFindings(FILE* out, OutputFormat format, const std::vector<Answer>& answers, bool header) {
    if (format == OutputFormat::Terse) {
        std::vector<uint32_t> pids;
        for (const Answer& answer : answers) {
            for (const Finding& finding : answer.report.findings) pids.push_back(finding.pid);
        }
        std::sort(pids.begin(), pids.end());
        pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
        for (const uint32_t pid : pids) Put(out, "%u\n", static_cast<unsigned>(pid));
        return;
    }
    if (format == OutputFormat::Verbose && header)
        Put(out, "%-12s %7s %-6s %-20s %-20s %s\n", "USER", "PID", "ACCESS", "COMMAND", "UNIT", "PATH");
    for (const Answer& answer : answers) {
        // JSON objects name their FILE themselves; a heading would break the stream.
        if (answers.size() > 1 && format != OutputFormat::Json) Put(out, "%s:\n", VisibleText(answer.query).c_str());
        switch (format) {
        case OutputFormat::Json: PrintJson(out, answer); break;
        case OutputFormat::Verbose: PrintTable(out, answer); break;
        default:
            for (const Finding& finding : answer.report.findings) {
                const Text line = FormatResultLine(finding.pid, finding.processName, answer.report.style);
                if (format == OutputFormat::Long)
                    Put(out, "%s  %s\n", line.c_str(), VisibleText(DisplayPath(finding), answer.report.style).c_str());
                else
                    Put(out, "%s\n", line.c_str());
            }
        }
    }
}
