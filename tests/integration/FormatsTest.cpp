// fencat --long and --json against real processes; the JSON is read back by
// Python's own parser.
#include <unistd.h>

#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

std::string Unique(const std::string& name) { return std::to_string(getpid()) + "-" + name; }

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

// The output checked to be UTF-8, each JSON line parsed, its members
// checked, its strings turned back into bytes (lone surrogates U+DC80 to
// U+DCFF into the bytes 80 to FF): "pid kind name path file", the strings in
// hexadecimal.
const char kReadBack[] = R"(
import json, sys
sys.argv[1].encode("utf-8")  # JSON text is UTF-8: no raw stray bytes
for line in sys.argv[1].splitlines():
    o = json.loads(line)
    assert sorted(o) == ["access", "cmdline", "container", "exe", "fd", "file", "kind", "name", "parent", "path",
                         "pid", "ppid", "services", "started", "uid", "unit", "use", "user", "user_unit"], sorted(o)
    assert o["use"] and o["use"].startswith("open for ") == (o["access"] in ("f", "F")), o["use"]
    assert type(o["pid"]) is int and o["kind"] in ("module", "handle")
    assert type(o["uid"]) is int and type(o["user"]) is str
    assert (o["kind"] == "module") == (o["access"] in ("m", "e")) and o["access"]
    assert (type(o["fd"]) is int) == (o["access"] in ("f", "F"))
    b = lambda s: s.encode("utf-8", "surrogateescape").hex()
    print(o["pid"], o["kind"], b(o["name"]), b(o["path"]), b(o["file"]))
)";

struct JsonFinding {
    pid_t pid;
    std::string kind, name, path, file;  // bytes, in hexadecimal
};

bool ReadBack(const std::string& out, std::vector<JsonFinding>& findings) {
    RunResult python = RunProgram({"python3", "-c", kReadBack, out});
    EXPECT_EQ(python.status, 0) << python.err << "\n" << out;
    if (python.status != 0) return false;
    std::istringstream in(python.out);
    JsonFinding f;
    while (in >> f.pid >> f.kind >> f.name >> f.path >> f.file) findings.push_back(f);
    return true;
}

bool HavePython() { return RunProgram({"python3", "-c", "pass"}).status == 0; }

class FormatsTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FormatsTest, LongLinesAreTheResultLinesWithTheMatchedPath) {
    // Bytes that are no UTF-8 and a quote are written as they are; control
    // characters (a tab, DEL, CSI as U+009B) and the backslash that escapes
    // are escaped.
    const std::string name = Unique("caf\xE9 \"q\" \\ \t\x7F\xC2\x9B" "2J \xFF.txt");
    std::string held = dir.File(name);
    const std::string shown =
        dir.Path() + "/" + name.substr(0, name.find('\\')) + "\\\\ \\x09\\x7f\\xc2\\x9b2J \xFF.txt";
    std::string mapped = dir.File("mapped.bin", std::string(8192, 'm'));
    Holder holder({"twice", held, "map", mapped});
    ASSERT_TRUE(holder.Ready());
    for (const std::string& path : {held, mapped}) {
        RunResult plain = RunProgram({FENCAT_BINARY, path});
        RunResult wide = RunProgram({FENCAT_BINARY, "--long", path});
        EXPECT_EQ(wide.status, 0) << wide.err;
        const std::vector<std::string> lines = SplitLines(plain.out), longLines = SplitLines(wide.out);
        ASSERT_EQ(longLines.size(), path == held ? 2u : 1u) << wide.out;
        ASSERT_EQ(longLines.size(), lines.size());
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(longLines[i], lines[i] + "  " + (path == held ? shown : path));
    }
}

TEST_F(FormatsTest, JsonCarriesEveryFindingLosslessly) {
    if (!HavePython()) GTEST_SKIP() << "python3 is needed to read the JSON back";
    std::string held = dir.File(Unique("\xFF\xFE caf\xE9 \"q\" \\ \t \xC3\xA9.txt"));
    const std::string name = Unique("m\xE9\xFF \"q\".bin");
    std::string mapped = dir.File(name, std::string(8192, 'm'));
    Holder holder({"read", held, "map", mapped});
    ASSERT_TRUE(holder.Ready());

    RunResult run = RunProgram({FENCAT_BINARY, "--json", held, mapped});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<JsonFinding> findings;
    ASSERT_TRUE(ReadBack(run.out, findings));
    ASSERT_EQ(findings.size(), 2u) << run.out;
    // No headings between the objects: the objects say which FILE they answer.
    EXPECT_EQ(SplitLines(run.out).size(), 2u);
    const std::string holderName = Hex("fencat_test_holder");
    EXPECT_EQ(findings[0].pid, holder.Pid());
    EXPECT_EQ(findings[0].kind, "handle");
    EXPECT_EQ(findings[0].name, holderName);
    EXPECT_EQ(findings[0].path, Hex(held));
    EXPECT_EQ(findings[0].file, Hex(held));
    EXPECT_EQ(findings[1].pid, holder.Pid());
    EXPECT_EQ(findings[1].kind, "module");
    EXPECT_EQ(findings[1].path, Hex(mapped));
    EXPECT_EQ(findings[1].file, Hex(mapped));

    // By name the path is where the file is, and the FILE is the name.
    RunResult byName = RunProgram({FENCAT_BINARY, "--json", "--name", name});
    findings.clear();
    ASSERT_TRUE(ReadBack(byName.out, findings));
    ASSERT_EQ(findings.size(), 1u) << byName.out;
    EXPECT_EQ(findings[0].kind, "module");
    EXPECT_EQ(findings[0].path, Hex(mapped));
    EXPECT_EQ(findings[0].file, Hex(name));
}

TEST_F(FormatsTest, JsonForAFolder) {
    if (!HavePython()) GTEST_SKIP() << "python3 is needed to read the JSON back";
    std::string a = dir.File("a.txt"), b = dir.File("b.txt");
    Holder holder({"read", a, "cwd", dir.Path()});
    ASSERT_TRUE(holder.Ready());
    RunResult run = RunProgram({FENCAT_BINARY, "--json", "--under", dir.Path(), b});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<JsonFinding> findings;
    ASSERT_TRUE(ReadBack(run.out, findings));
    ASSERT_EQ(findings.size(), 2u) << run.out;
    std::multiset<std::string> paths;
    for (const JsonFinding& f : findings) {
        EXPECT_EQ(f.pid, holder.Pid());
        EXPECT_EQ(f.kind, "handle");
        EXPECT_EQ(f.file, Hex(dir.Path()));
        paths.insert(f.path);
    }
    EXPECT_EQ(paths, (std::multiset<std::string>{Hex(a), Hex(dir.Path())}));
}

TEST_F(FormatsTest, FormatsThatCannotBeCombined) {
    std::string file = dir.File("x.txt");
    for (const char* other : {"--long", "-v"}) {
        RunResult both = RunProgram({FENCAT_BINARY, other, "--json", file});
        EXPECT_EQ(both.status, 2);
        EXPECT_EQ(both.out, "");
        EXPECT_NE(both.err.find("--long and --json"), std::string::npos) << both.err;
    }
    // Without a FILE there is nothing to format; no window opens for it.
    RunResult alone = RunProgram({FENCAT_BINARY, "--json"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("no FILE given"), std::string::npos) << alone.err;
}

}  // namespace
