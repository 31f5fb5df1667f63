// fencat's command line and its three ways of writing findings: the result
// lines, the lines with the matched path, JSON Lines.
#include <algorithm>
#include <cstdio>
#include <random>

#include "SimFixture.h"
#include "cli/Options.h"
#include "cli/Run.h"
#include "cli/Output.h"
#include "cli/Platform.h"
#include "tests/sim/generic/Utf.h"
#include "app/core/Drop.h"
#include "search/ResultLine.h"
#include "search/Search.h"
#include "search/Trace.h"

namespace {

// Reads a JSON string literal into UTF-16 code units, as a JSON parser
// would; raw text must be valid UTF-8 and free of control characters.
bool DecodeJsonString(const std::string& json, std::u16string& units, std::string& why) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') {
        why = "not quoted";
        return false;
    }
    const std::string body = json.substr(1, json.size() - 2);
    std::string raw;
    // Raw text must be valid UTF-8: its conversion then holds no escaped
    // byte (a low surrogate that follows no high one).
    auto flushRaw = [&]() {
        const std::u16string converted = simbase::Utf8ToUtf16(raw.data(), raw.size());
        for (size_t i = 0; i < converted.size(); ++i) {
            const bool afterHigh = i > 0 && converted[i - 1] >= 0xD800 && converted[i - 1] <= 0xDBFF;
            if (converted[i] >= 0xDC00 && converted[i] <= 0xDFFF && !afterHigh) return false;
        }
        units += converted;
        raw.clear();
        return true;
    };
    for (size_t i = 0; i < body.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(body[i]);
        if (c < 0x20 || c == '"') {
            why = "raw control character or quote at " + std::to_string(i);
            return false;
        }
        if (c != '\\') {
            raw += body[i];
            continue;
        }
        if (!flushRaw()) {
            why = "invalid UTF-8 before " + std::to_string(i);
            return false;
        }
        if (++i == body.size()) {
            why = "lone backslash";
            return false;
        }
        switch (body[i]) {
        case '"': units += u'"'; break;
        case '\\': units += u'\\'; break;
        case '/': units += u'/'; break;
        case 'b': units += u'\b'; break;
        case 'f': units += u'\f'; break;
        case 'n': units += u'\n'; break;
        case 'r': units += u'\r'; break;
        case 't': units += u'\t'; break;
        case 'u':
            if (i + 4 >= body.size()) {
                why = "short \\u escape";
                return false;
            }
            units += static_cast<char16_t>(std::stoul(body.substr(i + 1, 4), nullptr, 16));
            i += 4;
            break;
        default: why = "unknown escape"; return false;
        }
    }
    if (!flushRaw()) {
        why = "invalid UTF-8 at the end";
        return false;
    }
    return true;
}

std::string BackToBytes(const std::u16string& units) {
    const int size = simbase::Utf16ToUtf8(units.data(), static_cast<int>(units.size()), nullptr, 0);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) simbase::Utf16ToUtf8(units.data(), static_cast<int>(units.size()), &bytes[0], size);
    return bytes;
}

TEST(JsonStringTest, EscapesWhatJsonRequiresAndKeepsUtf8) {
    struct Case {
        std::string bytes;
        std::string json;
    } cases[] = {
        {"", "\"\""},
        {"/usr/lib/libc.so.6", "\"/usr/lib/libc.so.6\""},
        {"C:\\dir\\\"q\".txt", "\"C:\\\\dir\\\\\\\"q\\\".txt\""},
        {"a\tb\nc\rd\be\ff", "\"a\\tb\\nc\\rd\\be\\ff\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\x7f\""},
        {"\xC3\xA9t\xC3\xA9 \xE4\xB8\x80 \xF0\x9F\x98\x80", "\"\xC3\xA9t\xC3\xA9 \xE4\xB8\x80 \xF0\x9F\x98\x80\""},
        // Bytes that are no part of valid UTF-8, one escape each.
        {"\xFF\xFE", "\"\\udcff\\udcfe\""},
        {"caf\xE9.txt", "\"caf\\udce9.txt\""},
        {"\xC3", "\"\\udcc3\""},                              // cut short
        {"\xC0\xAF", "\"\\udcc0\\udcaf\""},                   // overlong '/'
        {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},        // a surrogate
        {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},  // beyond U+10FFFF
        {"\xE4\xB8" "x", "\"\\udce4\\udcb8x\""},
    };
    for (const Case& c : cases) EXPECT_EQ(JsonString(c.bytes), c.json) << c.json;
}

TEST(JsonStringTest, AnyBytesComeBackExactly) {
    // Bytes drawn to hit the edges: controls, quotes, ASCII, lead and
    // continuation bytes in every mix.
    const unsigned char pool[] = {0x00, 0x01, 0x1F, '"', '\\', '/', 'a', 0x7F, 0x80, 0xBF, 0xC2,
                                  0xC3, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0xA9, 0x9F,
                                  0xE2, 0x81, 0xAE, 0xA6};
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> length(0, 12), pick(0, sizeof pool - 1);
    for (int round = 0; round < 5000; ++round) {
        std::string bytes(length(random), '\0');
        for (char& b : bytes) b = static_cast<char>(pool[pick(random)]);
        const std::string json = JsonString(bytes);
        std::u16string units;
        std::string why;
        ASSERT_TRUE(DecodeJsonString(json, units, why)) << why << ": " << json;
        // The same units as the platform's own UTF-8 reading of the bytes,
        // which keeps invalid bytes the same way.
        ASSERT_EQ(units, simbase::Utf8ToUtf16(bytes.data(), bytes.size())) << json;
        ASSERT_EQ(BackToBytes(units), bytes) << json;
    }
}

TEST(ParseCommandLineTest, OptionsOfTheOutputFoldersAndNames) {
    Options options;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--long", "a.txt", "--under", "/srv", "--name=b.db", "--under=/tmp/x", "--name",
                                  "c", "--", "--under"},
                                 options, error))
        << error;
    EXPECT_EQ(options.format, OutputFormat::Long);
    std::vector<std::pair<std::string, Query::Kind>> queries;
    for (const Query& query : options.queries) queries.emplace_back(query.argument, query.kind);
    // After "--" it is a FILE of that name.
    EXPECT_EQ(queries, (std::vector<std::pair<std::string, Query::Kind>>{{"a.txt", Query::Kind::File},
                                                                         {"/srv", Query::Kind::Tree},
                                                                         {"b.db", Query::Kind::Name},
                                                                         {"/tmp/x", Query::Kind::Tree},
                                                                         {"c", Query::Kind::Name},
                                                                         {"--under", Query::Kind::File}}));

    Options json;
    ASSERT_TRUE(ParseCommandLine({"--json", "--under", "d"}, json, error));
    EXPECT_EQ(json.format, OutputFormat::Json);
    Options plain;
    ASSERT_TRUE(ParseCommandLine({"f"}, plain, error));
    EXPECT_EQ(plain.format, OutputFormat::Lines);
}

TEST(ParseCommandLineTest, SignalsAndWaits) {
    struct Case {
        std::vector<std::string> args;
        int signal;
        double seconds;  // below 0: as long as it takes
        size_t files;
    } cases[] = {
        // TERM is 15 and KILL 9 on both systems.
        {{"-k", "-SIGTERM", "f"}, 15, -1, 1},
        {{"-k", "--signal=SIGKILL", "f"}, 9, -1, 1},
        {{"-k", "--signal", "TERM", "f"}, 15, -1, 1},
        {{"-ki", "-15", "--name", "n"}, 15, -1, 1},
        // -w takes no value: what follows is a FILE.
        {{"-w", "2", "f"}, 0, -1, 2},
        {{"--wait=2.5", "f"}, 0, 2.5, 1},
        {{"-w1", "f"}, 0, 1, 1},
        {{"-tw.5", "f"}, 0, 0.5, 1},
        {{"-wt", "f"}, 0, -1, 1},
    };
    for (const Case& c : cases) {
        Options options;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(c.args, options, error)) << c.args[0] << ": " << error;
        EXPECT_EQ(options.kill ? options.signal : 0, c.signal) << c.args[0];
        EXPECT_EQ(options.wait ? options.waitSeconds : -1, c.seconds) << c.args[0];
        EXPECT_EQ(options.queries.size(), c.files) << c.args[0];
    }
}

TEST(ParseCommandLineTest, CommandLinesThatCannotRun) {
    const std::vector<std::vector<std::string>> bad = {
        {"--under"},
        {"f", "--under"},
        {"--long", "--json", "f"},
        {"-v", "--json", "f"},
        {"--long"},
        {"--json"},
        {"--lon", "f"},
        {"--name"},
        // A name may stand for files never meant: -k asks first.
        {"-k", "--name", "n"},
        {"-w2x", "f"},
    };
    for (const auto& args : bad) {
        Options options;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(args, options, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
    Options help;
    std::string error;
    EXPECT_TRUE(ParseCommandLine({"--json", "--help"}, help, error)) << error;
}

// What the Windows search cannot tell of a process, after its fd.
const std::string kNoIdentity =
    ",\"exe\":null,\"cmdline\":null,\"started\":null,\"ppid\":0,\"parent\":null,\"unit\":null,"
    "\"user_unit\":false,\"container\":null,\"services\":[]";

class PrinterTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::Set().terminateThreadWorks = true;
        sim::AddProcess(8, u"a.exe").Module(0x400000, "C:\\dir\\file.txt");
        sim::AddProcess(0x1234, u"b \"quoted\".exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
        sim::AddProcess(10, u"c.exe").Handle(0x4, "File", u"\\Device\\HarddiskVolume2\\other\\file.txt");
    }

    std::string Print(const std::string& name, OutputFormat format) {
        FILE* out = std::tmpfile();
        std::vector<SearchRequest> requests{SearchRequest(name, DropScope(name))};
        const std::vector<Answer> answers{Answer{name, RunSearch(requests).front()}};
        PrintFindings(out, format, answers);
        std::fflush(out);
        std::rewind(out);
        std::string text;
        char buffer[1024];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
        std::fclose(out);
        // JSON folds alike handles where the platform does.
        const bool folds = format == OutputFormat::Json && FoldsHandles();
        if (format != OutputFormat::Verbose && format != OutputFormat::Terse && !folds) {
            EXPECT_EQ(answers[0].report.findings.size(), static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
        }
        return text;
    }
};

TEST_F(PrinterTest, ResultLinesAreTheDefault) {
    EXPECT_EQ(Print("C:\\dir\\file.txt", OutputFormat::Lines),
              "0x0008  a.exe               \n"
              "0x1234  b \"quoted\".exe      \n");
}

TEST_F(PrinterTest, LongLinesAddThePathInDriveLetterFormWhereADriveHoldsIt) {
    EXPECT_EQ(Print("file.txt", OutputFormat::Long),
              "0x0008  a.exe                 C:\\dir\\file.txt\n"
              "0x1234  b \"quoted\".exe        C:\\dir\\file.txt\n"
              "0x000A  c.exe                 \\Device\\HarddiskVolume2\\other\\file.txt\n");
    // Without drive letters (as on Linux) the path stays as it is.
    sim::Set().dosDevices.clear();
    EXPECT_EQ(Print("file.txt", OutputFormat::Long),
              "0x0008  a.exe                 C:\\dir\\file.txt\n"
              "0x1234  b \"quoted\".exe        \\Device\\HarddiskVolume1\\dir\\file.txt\n"
              "0x000A  c.exe                 \\Device\\HarddiskVolume2\\other\\file.txt\n");
}

TEST_F(PrinterTest, JsonLinesCarryEachFinding) {
    // Where alike handles fold, every object says how many it stands for.
    const std::string one = FoldsHandles() ? ",\"count\":1" : "";
    EXPECT_EQ(Print("C:\\dir\\file.txt", OutputFormat::Json),
              "{\"pid\":8,\"name\":\"a.exe\",\"kind\":\"module\",\"path\":\"C:\\\\dir\\\\file.txt\","
              "\"file\":\"C:\\\\dir\\\\file.txt\",\"uid\":null,\"user\":null,\"access\":\"m\",\"fd\":null,"
              "\"use\":\"mapped\"" + kNoIdentity + one + "}\n"
              "{\"pid\":4660,\"name\":\"b \\\"quoted\\\".exe\",\"kind\":\"handle\",\"path\":\"C:\\\\dir\\\\file.txt\","
              "\"file\":\"C:\\\\dir\\\\file.txt\",\"uid\":null,\"user\":null,\"access\":\"f\",\"fd\":null,"
              "\"use\":\"open\"" + kNoIdentity + one + "}\n");
}

TEST_F(PrinterTest, JsonNamesTheExecutableAndTheServicesAServiceHostRuns) {
    // Started at 2026-12-07T22:57:12.345Z, after its parent.
    sim::FindProcess(8)->Parent(4, 134411578320000000);
    sim::FindProcess(0x1234)->Exe("C:\\Windows\\System32\\svch\xC3\xB6st.exe").Parent(8, 134411578323450000);
    sim::Set().services = {{"Dnscache", 0x1234}, {"Spooler", 99}, {"nsi", 0x1234}};
    const std::string json = Print("C:\\dir\\file.txt", OutputFormat::Json);
    const std::string host = json.substr(json.find('\n') + 1);
    EXPECT_EQ(host.substr(host.find(",\"exe\"")),
              ",\"exe\":\"C:\\\\Windows\\\\System32\\\\svch\xC3\xB6st.exe\",\"cmdline\":null,"
              "\"started\":\"2026-12-07T22:57:12.345Z\",\"ppid\":8,\"parent\":\"a.exe\",\"unit\":null,\"user_unit\":false,\"container\":null,\"services\":[\"Dnscache\",\"nsi\"]" + std::string(FoldsHandles() ? ",\"count\":1" : "") + "}\n");
    EXPECT_EQ(Print("C:\\dir\\file.txt", OutputFormat::Verbose),
              "USER             PID ACCESS COMMAND              UNIT                 PATH\n"
              "?                  8 ....m  a.exe                -                    C:\\dir\\file.txt\n"
              "?               4660 f....  b \"quoted\".exe       Dnscache,nsi         C:\\dir\\file.txt\n");
    EXPECT_GE(sim::Log().serviceEnumerations, 1u);
    EXPECT_TRUE(sim::Log().faults.empty());
    // A parent that started after its child holds a reused ID: not named.
    sim::FindProcess(8)->Parent(4, 134411578330000000);
    EXPECT_NE(Print("C:\\dir\\file.txt", OutputFormat::Json).find("\"ppid\":8,\"parent\":null,"), std::string::npos);
    // A service manager that does not answer takes nothing else away.
    sim::Set().serviceManagerError = os::ERROR_ACCESS_DENIED;
    const std::string refused = Print("C:\\dir\\file.txt", OutputFormat::Json);
    EXPECT_NE(refused.find("svch\xC3\xB6st.exe\",\"cmdline\""), std::string::npos) << refused;
    EXPECT_NE(refused.find("\"services\":[]"), std::string::npos) << refused;
    EXPECT_EQ(sim::OpenObjects(), 0u);
}

// Thousands of handles of one process to one file are one JSON object and
// one table row with their count where the platform folds them (Windows),
// while the result lines keep one line per handle, as the window does.
TEST_F(PrinterTest, ManyHandlesOfOneProcessToOneFile) {
    for (uintptr_t handle = 0x8; handle <= 0x14; handle += 4)
        sim::FindProcess(0x1234)->Handle(handle, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    sim::FindProcess(10)->Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    const std::string lines = Print("C:\\dir\\file.txt", OutputFormat::Lines);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 7);
    const std::string json = Print("C:\\dir\\file.txt", OutputFormat::Json);
    const std::string table = Print("C:\\dir\\file.txt", OutputFormat::Verbose);
    if (FoldsHandles()) {
        EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 3) << json;
        EXPECT_NE(json.find("\"pid\":4660,\"name\":\"b \\\"quoted\\\".exe\",\"kind\":\"handle\""), std::string::npos);
        EXPECT_NE(json.find("\"services\":[],\"count\":5}\n{\"pid\":10,"), std::string::npos) << json;
        EXPECT_NE(json.find(",\"count\":1}\n", json.find("\"pid\":10,")), std::string::npos) << json;
        EXPECT_NE(table.find("4660 f....  b \"quoted\".exe       -                    C:\\dir\\file.txt  (5 handles)\n"), std::string::npos)
            << table;
        EXPECT_NE(table.find("10 f....  c.exe                -                    C:\\dir\\file.txt\n"), std::string::npos) << table;
    } else {
        EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 7) << json;
        EXPECT_EQ(json.find("count"), std::string::npos) << json;
        EXPECT_EQ(table.find("handles)"), std::string::npos) << table;
    }
}

// A run that fails prints no table header above its errors.
TEST_F(PrinterTest, TheTableHeaderOnlyAboveAnAnswer) {
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    PrintFindings(out, OutputFormat::Verbose, {}, false);
    EXPECT_EQ(std::ftell(out), 0L);
    PrintFindings(out, OutputFormat::Verbose, {}, true);
    EXPECT_GT(std::ftell(out), 0L);
    std::fclose(out);

    Options options;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"-v", "no-such-file-here.txt"}, options, error)) << error;
    FILE* printed = std::tmpfile();
    FILE* errors = std::tmpfile();
    EXPECT_EQ(RunSearches(options, printed, errors, nullptr), kFailed);
    EXPECT_EQ(std::ftell(printed), 0L);
    EXPECT_GT(std::ftell(errors), 0L);
    std::fclose(printed);
    std::fclose(errors);
}

TEST_F(PrinterTest, TerseAndVerboseGiveEachProcessOnce) {
    sim::FindProcess(8)->Handle(0x8, "File", u"\\Device\\HarddiskVolume1\\dir\\file.txt");
    EXPECT_EQ(Print("C:\\dir\\file.txt", OutputFormat::Terse), "8\n4660\n");
    EXPECT_EQ(Print("C:\\dir\\file.txt", OutputFormat::Verbose),
              "USER             PID ACCESS COMMAND              UNIT                 PATH\n"
              "?                  8 f...m  a.exe                -                    C:\\dir\\file.txt\n"
              "?               4660 f....  b \"quoted\".exe       -                    C:\\dir\\file.txt\n");
}

// The handle a process's parameters name as its current folder is shown as
// such; any other handle to the folder, or one whose parameters could not
// be read, stays an open handle.
TEST_F(PrinterTest, TheCurrentFolderHandleIsShownAsSuch) {
    sim::AddFile("C:\\work", 1, 0xE0);
    const std::u16string work = u"\\Device\\HarddiskVolume1\\work";
    sim::Process& shell = sim::AddProcess(20, u"shell.exe").CurrentFolder(0x8);
    shell.Handle(0x4, "File", work);
    shell.Handle(0x8, "File", work);
    sim::AddProcess(21, u"refused.exe").CurrentFolder(0x4).Handle(0x4, "File", work);
    sim::FindProcess(21)->denyRead = true;
    sim::AddProcess(22, u"elsewhere.exe").CurrentFolder(0x10).Handle(0x4, "File", work);
    const std::string table = Print("C:\\work", OutputFormat::Verbose);
    EXPECT_NE(table.find("     20 f.c..  shell.exe "), std::string::npos) << table;
    EXPECT_NE(table.find("     21 f....  refused.exe "), std::string::npos) << table;
    EXPECT_NE(table.find("     22 f....  elsewhere.exe "), std::string::npos) << table;
    const std::string json = Print("C:\\work", OutputFormat::Json);
    const size_t folder = json.find("\"use\":\"current folder\"");
    ASSERT_NE(folder, std::string::npos) << json;
    const size_t line = json.rfind('\n', folder) == std::string::npos ? 0 : json.rfind('\n', folder) + 1;
    EXPECT_EQ(json.compare(line, 10, "{\"pid\":20,"), 0) << json;
    EXPECT_EQ(json.find("\"use\":\"current folder\"", folder + 1), std::string::npos) << json;
}

TEST_F(PrinterTest, AProcessGoneFromTheSnapshotHasAnEmptyName) {
    sim::FindProcess(8)->ExitsAfterListings(1);
    EXPECT_EQ(Print("C:\\dir\\file.txt", OutputFormat::Json).substr(0, 40),
              "{\"pid\":8,\"name\":\"\",\"kind\":\"module\",\"path");
}

}  // namespace

namespace {

// The search's own diagnostics name a call; the user is told what it means.
TEST(DeviceReasonTest, ADriveWithoutADeviceIsNamed) {
    SearchStop stop;
    stop.cause = SearchStop::Cause::NoOpenFiles;
#ifdef _WIN32
    EXPECT_EQ(StopReason("C:\\f.txt", stop), "No handle information\n");
    stop.cause = SearchStop::Cause::DeviceUnnamed;
    EXPECT_EQ(StopReason("Q:\\dir\\f.txt", stop),
              "the system names no device for drive Q:, so no open handle to it can be told\n");
#else
    EXPECT_EQ(StopReason("/f", stop), LinuxTraceWords().stopped(stop));
    EXPECT_FALSE(StopReason("/f", stop).empty());
#endif
}

}  // namespace
