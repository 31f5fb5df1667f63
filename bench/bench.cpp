// Times fencat beside fuser, lsof and the yardstick on the same question, in
// the same run, and prints the ratios.
//
//   fencat_bench [--runs N] [--sizes 125,500,2000] [--files 20] [--no-libc]
//                [--compare FENCAT] [--wait-size 1000] [--wait-seconds 3]
//   fencat_bench --hold N [--files 20]
//
// Each size starts that many helper processes holding --files files open
// each; ten of them hold the target among them. Each load is also asked
// about 40 FILEs at once, by fencat and by fuser, beside the single FILE.
// --compare times another fencat build beside this one, in the same runs.
// Last, a load of --wait-size helpers is waited on for --wait-seconds while
// the target stays held: the CPU that fencat -w spends per second of waiting.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Tool {
    std::string name;
    std::vector<std::string> argv;  // the target is appended
    std::vector<double> times;      // milliseconds
    std::vector<double> cpu;        // milliseconds, user and system
    long peakKiB = 0;
};

struct Outcome {
    double ms;
    double cpuMs;
    long peakKiB;
    std::string out;
};

Outcome RunOnce(const std::vector<std::string>& argv, bool capture) {
    int pipeFds[2] = {-1, -1};
    if (capture && pipe(pipeFds) != 0) std::exit(3);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(capture ? pipeFds[1] : null, 1);
        dup2(null, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    Outcome outcome{0, 0, 0, ""};
    if (capture) {
        close(pipeFds[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) outcome.out.append(buffer, static_cast<size_t>(n));
        close(pipeFds[0]);
    }
    int status;
    rusage usage;
    wait4(pid, &status, 0, &usage);
    outcome.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    outcome.peakKiB = usage.ru_maxrss;
    auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
    outcome.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    return outcome;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

std::set<long> Pids(const std::string& out, bool hexLines) {
    std::set<long> pids;
    std::istringstream in(out);
    std::string word;
    while (in >> word) {
        if (hexLines && word.compare(0, 2, "0x") == 0) pids.insert(std::strtol(word.c_str() + 2, nullptr, 16));
        if (!hexLines && std::isdigit(static_cast<unsigned char>(word[0]))) pids.insert(std::strtol(word.c_str(), nullptr, 10));
    }
    return pids;
}

// Helper processes that hold files open until the load is destroyed.
class Load {
public:
    Load(size_t processes, size_t files, const std::string& dir, const std::string& target) {
        int ready[2];
        if (pipe(ready) != 0) std::exit(3);
        for (size_t p = 0; p < processes; ++p) {
            pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                close(ready[0]);
                for (size_t f = 0; f < files; ++f) {
                    std::string path = p < 10 && f == 0 ? target : dir + "/" + std::to_string(p) + "_" + std::to_string(f);
                    open(path.c_str(), O_RDONLY | O_CREAT, 0600);
                }
                char c = 'r';
                if (write(ready[1], &c, 1) != 1) _exit(1);
                for (;;) pause();
            }
            m_pids.push_back(pid);
        }
        close(ready[1]);
        char c;
        for (size_t p = 0; p < processes; ++p) {
            if (read(ready[0], &c, 1) != 1) break;
        }
        close(ready[0]);
    }
    ~Load() {
        for (pid_t pid : m_pids) kill(pid, SIGKILL);
        for (pid_t pid : m_pids) waitpid(pid, nullptr, 0);
    }

private:
    std::vector<pid_t> m_pids;
};

size_t ProcessCount() {
    std::vector<std::string> argv{"sh", "-c", "ls /proc | grep -c '^[0-9]'"};
    return static_cast<size_t>(std::strtoul(RunOnce(argv, true).out.c_str(), nullptr, 10));
}

// Another fencat build to time beside this one, or empty.
std::string g_compare;

// `many`: 40 FILEs, the target first.
void Measure(const std::string& title, const std::vector<std::string>& many, int runs) {
    const std::string& target = many.front();
    std::vector<Tool> tools = {
        {"fencat", {FENCAT_BINARY, target}, {}, {}, 0},
        {"fuser", {"fuser", target}, {}, {}, 0},
        {"lsof", {"lsof", target}, {}, {}, 0},
    };
    if (!g_compare.empty()) tools.push_back({"compared", {g_compare, target}, {}, {}, 0});
    if (std::strlen(FLOOR_BINARY) != 0) tools.push_back({"yardstick", {FLOOR_BINARY, target}, {}, {}, 0});
    tools.push_back({"least scan", {LEAST_SCAN_BINARY, target}, {}, {}, 0});
    Tool fencatMany{"fencat x40", {FENCAT_BINARY}, {}, {}, 0}, fuserMany{"fuser x40", {"fuser"}, {}, {}, 0};
    fencatMany.argv.insert(fencatMany.argv.end(), many.begin(), many.end());
    fuserMany.argv.insert(fuserMany.argv.end(), many.begin(), many.end());
    tools.push_back(fencatMany);
    tools.push_back(fuserMany);

    // Both must name the same processes, or the times compare nothing.
    std::set<long> fencatPids = Pids(RunOnce(tools[0].argv, true).out, true);
    std::set<long> fuserPids = Pids(RunOnce(tools[1].argv, true).out, false);
    size_t extra = 0;
    for (long pid : fencatPids) extra += fuserPids.count(pid) == 0;
    size_t missed = 0;
    for (long pid : fuserPids) missed += fencatPids.count(pid) == 0;

    for (int warm = 0; warm < 2; ++warm)
        for (Tool& tool : tools) RunOnce(tool.argv, false);
    // Round-robin, so that drift in the machine's load hits every tool alike.
    for (int run = 0; run < runs; ++run) {
        for (Tool& tool : tools) {
            Outcome outcome = RunOnce(tool.argv, false);
            tool.times.push_back(outcome.ms);
            tool.cpu.push_back(outcome.cpuMs);
            tool.peakKiB = std::max(tool.peakKiB, outcome.peakKiB);
        }
    }
    const double fencat = Median(tools[0].times), fencatCpu = Median(tools[0].cpu);
    std::printf("\n%s (%zu processes; fencat found %zu, fuser %zu; fencat only %zu, fuser only %zu)\n", title.c_str(),
                ProcessCount(), fencatPids.size(), fuserPids.size(), extra, missed);
    std::printf("  %-11s %10s %12s %10s %12s %10s\n", "tool", "median ms", "fencat / it", "cpu ms", "fencat / it",
                "peak KiB");
    for (const Tool& tool : tools) {
        const double median = Median(tool.times), cpu = Median(tool.cpu);
        std::printf("  %-11s %10.2f %12.2f %10.2f %12.2f %10ld\n", tool.name.c_str(), median,
                    median > 0 ? fencat / median : 0.0, cpu, cpu > 0 ? fencatCpu / cpu : 0.0, tool.peakKiB);
    }
    const Tool& forty = tools[tools.size() - 2];
    std::printf("  40 FILEs over one: fencat %.2f (wall), %.2f (peak memory)\n", Median(forty.times) / fencat,
                static_cast<double>(forty.peakKiB) / static_cast<double>(tools[0].peakKiB));
}

// The CPU that fencat -w spends per second of waiting on a file that stays
// in use (each look re-checks the users only), beside what one search of
// every process costs at that load; medians of `runs`, interleaved.
void MeasureWait(size_t size, size_t files, double seconds, int runs) {
    char dir[] = "/tmp/fencat-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) std::exit(3);
    const std::string target = std::string(dir) + "/target";
    {
        Load load(size, files, dir, target);
        const std::string wait = "--wait=" + std::to_string(seconds);
        std::printf("\nWaiting %.1f s on the target, held by 10 of %zu helpers x %zu files (%zu processes);"
                    " medians of %d runs\n",
                    seconds, size, files, ProcessCount(), runs);
        std::printf("  %-11s %10s %10s %14s %16s\n", "tool", "wall ms", "cpu ms", "cpu ms per s", "one search cpu");
        std::vector<std::pair<std::string, std::string>> builds{{"fencat", FENCAT_BINARY}};
        if (!g_compare.empty()) builds.emplace_back("compared", g_compare);
        std::vector<std::vector<double>> wall(builds.size()), cpu(builds.size()), once(builds.size());
        for (int run = 0; run < runs; ++run) {
            for (size_t b = 0; b < builds.size(); ++b) {
                const Outcome waited = RunOnce({builds[b].second, wait, target}, false);
                wall[b].push_back(waited.ms);
                cpu[b].push_back(waited.cpuMs);
                once[b].push_back(RunOnce({builds[b].second, target}, false).cpuMs);
            }
        }
        for (size_t b = 0; b < builds.size(); ++b) {
            std::printf("  %-11s %10.0f %10.1f %14.1f %16.1f\n", builds[b].first.c_str(), Median(wall[b]),
                        Median(cpu[b]), Median(cpu[b]) * 1000.0 / Median(wall[b]), Median(once[b]));
        }
    }
    RunOnce({"rm", "-rf", dir}, false);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 15;
    size_t files = 20;
    bool libc = true;
    std::vector<size_t> sizes = {125, 500, 2000};
    size_t waitSize = 1000;
    double waitSeconds = 3;
    size_t hold = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--files" && i + 1 < argc) {
            files = static_cast<size_t>(std::atoi(argv[++i]));
        } else if (arg == "--sizes" && i + 1 < argc) {
            sizes.clear();
            std::istringstream list(argv[++i]);
            std::string size;
            while (std::getline(list, size, ',')) sizes.push_back(static_cast<size_t>(std::atoi(size.c_str())));
        } else if (arg == "--no-libc") {
            libc = false;
        } else if (arg == "--compare" && i + 1 < argc) {
            g_compare = argv[++i];
        } else if (arg == "--wait-size" && i + 1 < argc) {
            waitSize = static_cast<size_t>(std::atoi(argv[++i]));
        } else if (arg == "--wait-seconds" && i + 1 < argc) {
            waitSeconds = std::atof(argv[++i]);
        } else if (arg == "--hold" && i + 1 < argc) {
            hold = static_cast<size_t>(std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr,
                         "usage: fencat_bench [--runs N] [--sizes A,B,...] [--files N] [--no-libc] [--compare FENCAT]"
                         " [--wait-size N] [--wait-seconds S]\n       fencat_bench --hold N [--files N]\n");
            return 2;
        }
    }
    if (hold != 0) {
        char dir[] = "/tmp/fencat-bench-XXXXXX";
        if (mkdtemp(dir) == nullptr) return 3;
        {
            Load load(hold, files, dir, std::string(dir) + "/target");
            std::printf("%s/target is held by 10 of %zu helpers; end the input to end them\n", dir, hold);
            std::fflush(stdout);
            char c;
            while (read(0, &c, 1) > 0) {
            }
        }
        RunOnce({"rm", "-rf", dir}, false);
        return 0;
    }
    // What the machine was doing meanwhile, to judge the figures by.
    std::printf("fencat: %s\n", FENCAT_BINARY);
    if (!g_compare.empty()) std::printf("compared: %s\n", g_compare.c_str());
    std::printf("%s", RunOnce({"uptime"}, true).out.c_str());
    std::printf("%s", RunOnce({"nproc"}, true).out.c_str());
    std::printf("Median wall and CPU time of %d runs each, interleaved; 'fencat / it' is fencat's time over the"
                " tool's.\n", runs);
    if (libc) {
        // libc and 39 more libraries of the system.
        std::vector<std::string> many{"/usr/lib/x86_64-linux-gnu/libc.so.6"};
        std::istringstream names(RunOnce({"sh", "-c", "ls /usr/lib/x86_64-linux-gnu/*.so.* | head -n 39"}, true).out);
        for (std::string name; std::getline(names, name) && many.size() < 40;) many.push_back(name);
        Measure("libc", many, runs);
    }
    for (size_t size : sizes) {
        char dir[] = "/tmp/fencat-bench-XXXXXX";
        if (mkdtemp(dir) == nullptr) return 3;
        std::string target = std::string(dir) + "/target";
        {
            Load load(size, files, dir, target);
            std::vector<std::string> many{target};
            for (size_t i = 1; i < 40; ++i) many.push_back(std::string(dir) + "/" + std::to_string(i) + "_1");
            Measure(std::to_string(size) + " helpers x " + std::to_string(files) + " files, target held by 10",
                    many, runs);
        }
        RunOnce({"rm", "-rf", dir}, false);
    }
    if (waitSize != 0) MeasureWait(waitSize, files, waitSeconds, 3);
    std::printf("\n%s", RunOnce({"uptime"}, true).out.c_str());
    return 0;
}
