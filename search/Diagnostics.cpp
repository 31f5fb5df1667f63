#include "search/Diagnostics.h"

#include <cstdarg>

namespace {
FILE* g_stream = nullptr;  // null: standard output
bool g_discard = false;
}

void SetDiagnosticStream(FILE* stream) {
    g_stream = stream;
    g_discard = false;
}

void DiscardDiagnostics() { g_discard = true; }

void Diag(const char* format, ...) {
    if (g_discard) return;
    FILE* out = g_stream != nullptr ? g_stream : stdout;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fflush(out);
}
