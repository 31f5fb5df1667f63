// How fencat writes what its searches found: the result lines (with the
// matched path, or not), decimal process IDs only, a table, or JSON Lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "search/Search.h"
#include "search/Uses.h"

enum class OutputFormat {
    Lines,    // the result lines, as the window shows them
    Long,     // each result line, two blanks, the matched path
    Json,     // one JSON object per finding
    Terse,    // each process ID once, in decimal
    Verbose,  // a table: user, process ID, access, command, path
};

// `bytes` as a JSON string. Names are bytes that need not be UTF-8: valid
// UTF-8 is kept, quotes, backslashes and control characters are escaped, and
// every other byte becomes \udcXX (XX its value, 80 to ff), a lone
// surrogate that no character can produce, so the bytes can be recovered.
std::string JsonString(const std::string& bytes);

// What one FILE or DIR of the command line found.
struct Answer {
    std::string query;  // as given
    SearchReport report;
};

// Writes the findings of a run's searches in `format`; several searches get
// a "FILE:" heading each, but for the formats that name their FILE
// themselves or have none.
void PrintFindings(FILE* out, OutputFormat format, const std::vector<Answer>& answers);
