#include <cstdio>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Platform.h"
#include "search/UsageSearch.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!ParseCommandLine(args, options, error)) {
        if (args.empty())
            std::fputs(kShortUsage, stderr);
        else
            std::fprintf(stderr, "fencat: %s\nTry 'fencat --help' for more information.\n", VisibleText(error).c_str());
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
    if (options.listSignals) {
        for (size_t i = 0; i < Signals().size(); ++i) std::printf("%s%s", i == 0 ? "" : " ", Signals()[i].name);
        std::printf("\n");
        return 0;
    }
    // As the window does at start, so that an administrator sees every process.
    EnableSearchPrivileges();
    return RunSearches(options, stdout, stderr, stdin);
}
