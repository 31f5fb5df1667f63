// Who the processes found are (command line, start, parent, unit or
// container), and --pid, which keeps to the processes named.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "Processes.h"

namespace {

bool HavePython() { return RunProgram({"python3", "-c", "pass"}).status == 0; }

// The JSON lines' members for each process, read by Python's own parser:
// "pid|exe|cmdline joined by spaces|started|ppid|parent|unit|user_unit|container runtime:id".
std::vector<std::string> Who(const std::string& out) {
    const char kRead[] = R"(
import json, sys, datetime
for line in sys.argv[1].splitlines():
    o = json.loads(line)
    started = datetime.datetime.strptime(o["started"], "%Y-%m-%dT%H:%M:%S.%fZ")
    c = o["container"]
    print("|".join(str(x) for x in [o["pid"], o["exe"], " ".join(o["cmdline"]), o["started"], o["ppid"],
                                    o["parent"], o["unit"], o["user_unit"], c and c["runtime"] + ":" + c["id"]]))
)";
    RunResult python = RunProgram({"python3", "-c", kRead, out});
    EXPECT_EQ(python.status, 0) << python.err << "\n" << out;
    return SplitLines(python.out);
}

std::string Field(const std::string& row, size_t index) {
    std::istringstream in(row);
    std::string field;
    for (size_t i = 0; i <= index; ++i) std::getline(in, field, '|');
    return field;
}

class WhoTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(WhoTest, TwoHoldersOfOneProgramAreToldApartByCommandLineAndStart) {
    if (!HavePython()) GTEST_SKIP() << "no python3 to read the JSON back";
    const std::string file = dir.File("shared.txt"), other = dir.File("other.txt");
    Holder first({"read", file});
    usleep(30 * 1000);  // so that the starts differ by more than the clock's tick
    Holder second({"read", other, "read", file});
    ASSERT_TRUE(first.Ready() && second.Ready());
    RunResult run = RunProgram({FENCAT_BINARY, "--json", file});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> rows = Who(run.out);
    ASSERT_EQ(rows.size(), 2u) << run.out;
    const std::string& a = Field(rows[0], 0) == std::to_string(first.Pid()) ? rows[0] : rows[1];
    const std::string& b = &a == &rows[0] ? rows[1] : rows[0];
    char exe[PATH_MAX];
    ASSERT_NE(realpath(HOLDER_BINARY, exe), nullptr);
    EXPECT_EQ(Field(a, 1), exe);
    EXPECT_EQ(Field(b, 1), exe);
    EXPECT_EQ(Field(a, 2), std::string(HOLDER_BINARY) + " read " + file);
    EXPECT_EQ(Field(b, 2), std::string(HOLDER_BINARY) + " read " + other + " read " + file);
    // ISO 8601 sorts as time does.
    EXPECT_LT(Field(a, 3), Field(b, 3));
    // The parent is this test, by the name ps gives it.
    EXPECT_EQ(Field(a, 4), std::to_string(getpid()));
    EXPECT_EQ(Field(a, 5), "fencat_integration_tests");
}

// A control group of the test's own in each hierarchy systemd would use,
// removed at the end; Join moves a process into it.
class OwnGroup {
public:
    explicit OwnGroup(const std::string& path) {
        std::ifstream mounts("/proc/self/mountinfo");
        for (std::string line; std::getline(mounts, line);) {
            std::istringstream in(line);
            std::vector<std::string> f;
            for (std::string word; in >> word;) f.push_back(word);
            const auto dash = std::find(f.begin(), f.end(), "-");
            if (f.size() < 5 || dash == f.end() || f.end() - dash < 4) continue;
            const std::string type = *(dash + 1), options = *(dash + 3);
            if (type != "cgroup2" && !(type == "cgroup" && options.find("name=systemd") != std::string::npos))
                continue;
            std::string made = f[4];
            for (size_t at = 0; at != std::string::npos;) {
                const size_t next = path.find('/', at + 1);
                made += path.substr(at, next - at);
                if (mkdir(made.c_str(), 0755) == 0) m_made.push_back(made);
                at = next;
            }
            m_groups.push_back(made);
        }
    }
    ~OwnGroup() {
        for (auto made = m_made.rbegin(); made != m_made.rend(); ++made) rmdir(made->c_str());
    }
    bool Join(pid_t pid) {
        bool joined = !m_groups.empty();
        for (const std::string& group : m_groups) {
            std::ofstream procs(group + "/cgroup.procs");
            procs << pid << std::flush;
            joined = joined && procs.good();
        }
        return joined;
    }

private:
    std::vector<std::string> m_groups, m_made;
};

TEST_F(WhoTest, AHolderInAUnitsOrAContainersGroupIsPlacedThere) {
    if (geteuid() != 0 || !HavePython()) GTEST_SKIP() << "needs root to make control groups, and python3";
    const std::string unit = "fencat-test-" + std::to_string(getpid()) + ".scope";
    const std::string id = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    OwnGroup inUnit("/" + unit);
    OwnGroup inContainer("/fencat-test-" + std::to_string(getpid()) + ".slice/docker-" + id + ".scope");
    const std::string file = dir.File("placed.txt");
    Holder a({"read", file}), b({"read", file});
    ASSERT_TRUE(a.Ready() && b.Ready());
    if (!inUnit.Join(a.Pid()) || !inContainer.Join(b.Pid())) GTEST_SKIP() << "no control group could be made here";

    RunResult verbose = RunProgram({FENCAT_BINARY, "-v", file});
    ASSERT_EQ(verbose.status, 0) << verbose.err;
    const std::vector<std::string> lines = SplitLines(verbose.out);
    ASSERT_EQ(lines.size(), 3u) << verbose.out;
    EXPECT_NE(lines[0].find(" UNIT "), std::string::npos) << lines[0];
    for (const std::string& line : {lines[1], lines[2]}) {
        const bool isA = line.find(" " + std::to_string(a.Pid()) + " ") != std::string::npos;
        EXPECT_NE(line.find(isA ? unit : "docker:0123456789ab "), std::string::npos) << line;
    }
    RunResult json = RunProgram({FENCAT_BINARY, "--json", file});
    for (const std::string& row : Who(json.out)) {
        const bool isA = Field(row, 0) == std::to_string(a.Pid());
        EXPECT_EQ(Field(row, 6), isA ? unit : "docker-" + id + ".scope") << row;
        EXPECT_EQ(Field(row, 7), "False") << row;
        EXPECT_EQ(Field(row, 8), isA ? "None" : "docker:" + id) << row;
    }
    a.Wait();
    b.Wait();
}

TEST_F(WhoTest, PidKeepsToTheProcessesNamedAndSignalsOnlyThoseThatStillUseTheFile) {
    const std::string file = dir.File("kept.txt"), elsewhere = dir.File("elsewhere.txt");
    Holder kept({"read", file}), spared({"read", file}), bystander({"read", elsewhere});
    ASSERT_TRUE(kept.Ready() && spared.Ready() && bystander.Ready());
    const std::string pid = std::to_string(kept.Pid());

    RunResult listed = RunProgram({FENCAT_BINARY, "-t", "--pid", pid, "--pid=" + std::to_string(bystander.Pid()), file});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, pid + "\n");

    // A process that does not use the file is not signalled, nor is anyone.
    RunResult none = RunProgram({FENCAT_BINARY, "-k", "-TERM", "--pid", std::to_string(bystander.Pid()), file});
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_EQ(none.out, "");
    EXPECT_TRUE(kill(kept.Pid(), 0) == 0 && kill(spared.Pid(), 0) == 0 && kill(bystander.Pid(), 0) == 0);

    RunResult killed = RunProgram({FENCAT_BINARY, "-k", "-TERM", "--pid", pid, file});
    EXPECT_EQ(killed.status, 0) << killed.err;
    const int status = kept.Wait(false);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(kill(spared.Pid(), 0), 0);
    EXPECT_EQ(kill(bystander.Pid(), 0), 0);

    // A thread's ID opens a /proc folder too, but it is no process's.
    Holder threaded({"thread-open", file});
    ASSERT_TRUE(threaded.Ready());
    std::string thread;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(threaded.Pid()) + "/task")) {
        if (task.path().filename() != std::to_string(threaded.Pid())) thread = task.path().filename();
    }
    ASSERT_FALSE(thread.empty());
    RunResult byThread = RunProgram({FENCAT_BINARY, "-k", "--pid", thread, file});
    EXPECT_EQ(byThread.status, 1) << byThread.err;
    EXPECT_EQ(byThread.out, "");
    EXPECT_EQ(kill(threaded.Pid(), 0), 0);

    for (const std::string bad : {"", "0", "-5", "12x", "4294967296", "99999999999"}) {
        RunResult run = RunProgram({FENCAT_BINARY, "--pid", bad, file});
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_EQ(run.err.find("fencat: invalid process ID '" + bad + "'"), 0u) << run.err;
    }
    RunResult waited = RunProgram({FENCAT_BINARY, "-w", "--pid", pid, file});
    EXPECT_EQ(waited.status, 2);
    EXPECT_NE(waited.err.find("--pid"), std::string::npos) << waited.err;
}

}  // namespace
