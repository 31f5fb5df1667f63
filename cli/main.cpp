#include <cstdio>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/WindowStart.h"
#include "sysinfo/Diagnostics.h"
#include "search/UsageSearch.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!ParseCommandLine(args, options, error)) {
        std::fprintf(stderr, "fencat: %s\n%s", error.c_str(), kUsage);
        return kFailed;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("fencat %s\n", kVersion);
        return 0;
    }
    if (options.queries.empty()) return StartWindow(stderr);
    // As the window does at start, so that root sees every process.
    SetDiagnosticStream(stderr);
    EnableSearchPrivileges();
    return RunSearches(options, stdout, stderr);
}
