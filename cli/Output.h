// How fencat writes what a search found: the result lines, the result lines
// with the matched path, or JSON Lines; and what it says about processes it
// could not examine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "search/ResultList.h"

enum class OutputFormat {
    Lines,  // the result lines, as the window shows them
    Long,   // each result line, two blanks, the matched path
    Json,   // one JSON object per finding
};

// `bytes` as a JSON string. Names are bytes that need not be UTF-8: valid
// UTF-8 is kept, quotes, backslashes and control characters are escaped, and
// every other byte becomes \udcXX (XX its value, 80 to ff), a lone
// surrogate that no character can produce, so the bytes can be recovered.
std::string JsonString(const std::string& bytes);

// Writes the findings of one search to `out`. `query` is the FILE or DIR as
// given, which JSON objects carry along.
class FindingPrinter : public ResultList {
public:
    // `heading`: whether the search's lines follow a "FILE:" line of their own.
    FindingPrinter(FILE* out, OutputFormat format, const std::string& query, bool heading = false)
        : m_out(out), m_format(format), m_query(query), m_heading(heading) {}
    void Clear() override {}
    void Repaint() override {}
    void Begin() override;
    void Append(const char* line, const Finding& finding) override;
    void ProcessesNotExamined(uint32_t count) override { m_notExamined = count; }
    void ProcessesStalled(const std::vector<uint32_t>& pids) override { m_stalled = pids; }

    size_t Lines() const { return m_lines; }
    uint32_t NotExamined() const { return m_notExamined; }
    const std::vector<uint32_t>& Stalled() const { return m_stalled; }

private:
    FILE* m_out;
    OutputFormat m_format;
    std::string m_query;
    bool m_heading;
    size_t m_lines = 0;
    uint32_t m_notExamined = 0;
    std::vector<uint32_t> m_stalled;
};

