#include "search/Uses.h"

namespace {

bool Applies(const Use& use, uint32_t access) { return (access & use.bits) == use.bits; }

}  // namespace

std::string AccessLetters(uint32_t access, bool dots) {
    std::string text;
    for (int column = 0; column < kUseColumns; ++column) {
        char letter = '.';
        for (const Use& use : kUses) {
            if (use.column != column || !Applies(use, access)) continue;
            if ((access & use.hiddenBy) == 0) letter = use.letter;
            break;
        }
        if (letter != '.' || dots) text += letter;
    }
    return text;
}

uint32_t AccessOfLetters(const std::string& letters) {
    uint32_t access = 0;
    for (const char c : letters) {
        for (const Use& use : kUses) {
            if (use.letter != c) continue;
            access |= use.readsAs;
            break;
        }
    }
    return access;
}

std::string UseWords(uint32_t access) {
    std::string words;
    bool spoken[kUseColumns] = {};
    for (const Use& use : kUses) {
        if (spoken[use.column] || !Applies(use, access)) continue;
        spoken[use.column] = true;
        if (!words.empty()) words += ", ";
        words += use.words;
    }
    return words;
}

uint32_t AccessOfWords(const std::string& words) {
    uint32_t access = 0;
    size_t start = 0;
    while (start <= words.size()) {
        size_t end = words.find(", ", start);
        if (end == std::string::npos) end = words.size();
        for (const Use& use : kUses) {
            if (words.compare(start, end - start, use.words) == 0) access |= use.bits;
        }
        start = end + 2;
    }
    return access;
}

const char* WordOfKind(Finding::Kind kind) {
    for (const KindWord& row : kKindWords) {
        if (row.kind == kind) return row.word;
    }
    return "";
}

bool KindOfWord(const std::string& word, Finding::Kind& kind) {
    for (const KindWord& row : kKindWords) {
        if (word != row.word) continue;
        kind = row.kind;
        return true;
    }
    return false;
}
