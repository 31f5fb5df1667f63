#include <cstdio>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "cli/Platform.h"
#include "cli/Run.h"
#include "search/ResultLine.h"

int main(int argc, char** argv) {
    std::vector<std::string> args = StartCommandLine(argc, argv);
    Options options;
    std::string error;
    if (!ParseCommandLine(args, options, error)) {
        if (args.empty())
            std::fputs(kShortUsage, stderr);
        else
            std::fprintf(stderr, "fencat: %s\nTry 'fencat --help' for more information.\n", VisibleText(error).c_str());
        return kFailed;
    }
    if (options.help || options.version || options.listSignals) {
        if (options.help) {
            Put(stdout, "%s", HelpText().c_str());
        } else if (options.version) {
            Put(stdout, "fencat %s\n", kVersion);
        } else {
            for (size_t i = 0; i < Signals().size(); ++i) Put(stdout, "%s%s", i == 0 ? "" : " ", Signals()[i].name);
            Put(stdout, "\n");
        }
        return FinishOutput(stdout, stderr) ? 0 : kFailed;
    }
    return RunSearches(options, stdout, stderr, stdin);
}
