// Diagnostic lines of the system: formatted print, each ending in "\n".
// They go to standard output unless a front end sends them elsewhere.
#pragma once

#include <cstdio>

void SetDiagnosticStream(FILE* stream);
// Drops every diagnostic line until a stream is set again.
void DiscardDiagnostics();
void Diag(const char* format, ...) __attribute__((format(printf, 1, 2)));
