// How fencat writes what its searches found: the result lines (with the
// matched path, or not), decimal process IDs only, a table, or JSON Lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "search/ResultList.h"

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

// How a process uses the file, in fuser's letters: f open (F for writing),
// r root folder, c current folder, e executable, m mapped; those it lacks as
// dots when `dots`, or left out.
std::string AccessLetters(uint32_t access, bool dots);

// What one search (one FILE or DIR) found, kept until it is written.
class FindingList : public ResultList {
public:
    explicit FindingList(const std::string& query) : m_query(query) {}
    void Clear() override { m_lines.clear(); }
    void Repaint() override {}
    void Begin() override;
    void Append(const char* line, const Finding& finding) override;
    void ProcessesNotExamined(uint32_t count) override { m_notExamined = count; }
    void ProcessesStalled(const std::vector<uint32_t>& pids) override { m_stalled = pids; }

    struct Line {
        std::string text;
        Finding finding;
    };
    const std::string& Query() const { return m_query; }
    const std::vector<Line>& Lines() const { return m_lines; }
    uint32_t NotExamined() const { return m_notExamined; }
    const std::vector<uint32_t>& Stalled() const { return m_stalled; }

private:
    std::string m_query;
    std::vector<Line> m_lines;
    uint32_t m_notExamined = 0;
    std::vector<uint32_t> m_stalled;
};

// Writes the findings of a run's searches in `format`; several searches get
// a "FILE:" heading each, but for the formats that name their FILE
// themselves or have none.
void PrintFindings(FILE* out, OutputFormat format, const std::vector<const FindingList*>& searches);
