#include "cli/WindowStart.h"

#include "cli/CommandLine.h"

// The Windows window is its own program, TolvarFencat.exe; the console
// program needs a FILE.
int StartWindow(FILE* err) {
    std::fprintf(err, "fencat: no FILE given\n%s", kUsage);
    return kFailed;
}
