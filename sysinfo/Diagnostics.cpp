#include "sysinfo/Diagnostics.h"

#include <cstdarg>

namespace {
FILE* g_stream = nullptr;  // null: standard output
}

void SetDiagnosticStream(FILE* stream) { g_stream = stream; }

void Diag(const char* format, ...) {
    FILE* out = g_stream != nullptr ? g_stream : stdout;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fflush(out);
}
