// fencat's command-line parser on any arguments: the input's bytes split at
// each NUL. Whatever it accepts must be a command that can run; whatever it
// refuses, it must say why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/Options.h"

namespace {

bool SameQueries(const std::vector<Query>& a, const std::vector<Query>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].argument != b[i].argument || a[i].kind != b[i].kind) return false;
    return true;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args;  // without the program's name
    std::string arg;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(data[i]);
        }
    }
    if (!arg.empty() || size == 0) args.push_back(arg);
    if (args.size() > 64) return 0;

    Options options;
    std::string error;
    const bool ok = ParseCommandLine(args, options, error);
    if (!ok && error.empty()) __builtin_trap();
    // The same arguments, the same answer.
    Options again;
    std::string againError;
    if (ParseCommandLine(args, again, againError) != ok || againError != error) __builtin_trap();
    if (!ok) return 0;
    if (!SameQueries(options.queries, again.queries)) __builtin_trap();
    // Help, the version and the signal list are all such a command does.
    if (options.help || options.version || options.listSignals) return 0;
    if (options.wait && !(options.waitSeconds == -1 || (options.waitSeconds >= 0 && options.waitSeconds <= 1e9)))
        __builtin_trap();
    if (options.kill && (options.signal <= 0 || options.signal > 64)) __builtin_trap();
    // Every query is an argument as given, or the value at an argument's end.
    for (const Query& query : options.queries) {
        bool given = false;
        for (size_t i = 0; i < args.size() && !given; ++i) given = EndsWith(args[i], query.argument);
        if (!given) __builtin_trap();
    }
    return 0;
}
