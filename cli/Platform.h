// What fencat's command line does differently on each platform: its help,
// the signals it can send and how, and whose a process is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/ResultList.h"

struct Signal {
    const char* name;  // without "SIG"
    int number;
};

// The help of this platform's fencat, and the short usage of a bare call.
extern const char kUsage[];
extern const char kShortUsage[];

// The signals -k can send here, and the one it sends unless told.
const std::vector<Signal>& Signals();
int DefaultSignal();

// Whether -m (every file on a file system) can be answered here.
bool CanSearchFileSystems();

// Whether `arg` asks for help in this platform's own way (as /? on Windows).
bool IsPlatformHelp(const std::string& arg);

// Sends `signal` to process `pid`. A process that has ended meanwhile is no
// failure; any other is, with its reason in `error`.
bool SendSignal(uint32_t pid, int signal, std::string& error);

// This process, which -k never signals.
uint32_t OwnProcessId();

// The name of the user who owns the finding's process; empty when unknown.
std::string UserName(const Finding& finding);
