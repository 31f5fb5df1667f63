// fencat with no FILE: the window, where there is one to open.
#pragma once

#include <cstdio>

// Replaces this process with the window program where a display is
// available; returns (an exit status, with a message on `err`) only when it
// cannot.
int StartWindow(FILE* err);
