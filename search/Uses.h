// How a process uses a file, in every vocabulary the front ends speak: the
// finding's bits, fuser's letters (-v, --json, and the window's check as
// root reading them back), the window's words, and the kind's JSON word.
#pragma once

#include <cstdint>
#include <string>

#include "search/Finding.h"

struct Use {
    uint32_t bits;      // the row applies when the finding has every one of these
    char letter;        // fuser's letter
    int column;         // where the letter stands in ACCESS: f r c e m
    uint32_t hiddenBy;  // no letter when the finding has any of these too
    uint32_t readsAs;   // what the letter reads back as (its first row speaks for it)
    const char* words;  // the window's words
};

// In the order the window names them. Within a column the first row that
// applies speaks for the column, so the open rows go from most to least
// known.
inline constexpr Use kUses[] = {
    {Finding::kRead | Finding::kWrite, 'F', 0, 0, Finding::kOpen | Finding::kWrite, "open for reading and writing"},
    {Finding::kRead, 'f', 0, 0, Finding::kOpen, "open for reading"},
    {Finding::kWrite, 'F', 0, 0, Finding::kOpen | Finding::kWrite, "open for writing"},
    {Finding::kOpen, 'f', 0, 0, Finding::kOpen, "open"},
    // fuser gives the executable 'e' alone, though it is mapped too.
    {Finding::kMapped, 'm', 4, Finding::kExecutable, Finding::kMapped, "mapped"},
    {Finding::kExecutable, 'e', 3, 0, Finding::kExecutable, "executable"},
    {Finding::kCurrentFolder, 'c', 2, 0, Finding::kCurrentFolder, "current folder"},
    {Finding::kRootFolder, 'r', 1, 0, Finding::kRootFolder, "root folder"},
};
inline constexpr int kUseColumns = 5;

struct KindWord {
    Finding::Kind kind;
    const char* word;
};
inline constexpr KindWord kKindWords[] = {
    {Finding::Kind::Module, "module"},
    {Finding::Kind::Handle, "handle"},
    {Finding::Kind::Mapped, "mapped"},
};

// fuser's letters for `access`, in its column order; those it lacks as dots
// when `dots`, or left out.
std::string AccessLetters(uint32_t access, bool dots);
// The letters read back as bits; other characters are skipped.
uint32_t AccessOfLetters(const std::string& letters);
// The window's words for `access`, joined by ", ".
std::string UseWords(uint32_t access);
// Those words read back as bits; words no use has are skipped.
uint32_t AccessOfWords(const std::string& words);

const char* WordOfKind(Finding::Kind kind);
// False for a word no kind has.
bool KindOfWord(const std::string& word, Finding::Kind& kind);
