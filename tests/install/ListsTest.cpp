// The lists written by hand beside fencat (the bash and zsh completion, the
// man page, the README) against the tables the program itself answers
// from: an option, a signal, an exit status or an access letter in one but
// not the other fails here, whichever side it was added to.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/Options.h"
#include "cli/Platform.h"
#include "search/Exits.h"
#include "search/Uses.h"

namespace {

using Words = std::set<std::string>;

std::string Read(const std::string& relative) {
    std::ifstream in(std::string(FENCAT_SOURCE_DIR) + "/" + relative, std::ios::binary);
    EXPECT_TRUE(in.good()) << relative;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text from the first `from` on to the next `to` after it.
std::string Between(const std::string& text, const std::string& from, const std::string& to) {
    const size_t start = text.find(from);
    if (start == std::string::npos) {
        ADD_FAILURE() << "no " << from;
        return std::string();
    }
    const size_t end = text.find(to, start + from.size());
    return text.substr(start + from.size(), end == std::string::npos ? std::string::npos : end - start - from.size());
}

// Every first capture of `pattern` in `text`.
Words Captures(const std::string& text, const std::string& pattern) {
    Words found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
        found.insert((*it)[1].str());
    return found;
}

Words Split(const std::string& text) {
    Words words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.insert(word);
    return words;
}

// What the table offers here, as "--name" and "-x".
Words LongOptions() {
    Words names;
    for (size_t i = 0; i < kOptionCount; ++i) {
        if (kOptionRows[i].help != nullptr) names.insert(std::string("--") + kOptionRows[i].name);
    }
    return names;
}

Words ShortOptions() {
    Words letters;
    for (size_t i = 0; i < kOptionCount; ++i) {
        if (kOptionRows[i].help != nullptr && kOptionRows[i].letter != 0)
            letters.insert(std::string("-") + kOptionRows[i].letter);
    }
    return letters;
}

Words SignalNames() {
    Words names;
    for (const Signal& signal : Signals()) names.insert(signal.name);
    return names;
}

Words ExitNumbers() {
    Words numbers;
    for (const ExitRow& row : kExitStatuses) numbers.insert(std::to_string(row.status));
    return numbers;
}

Words AccessLetterSet() {
    Words letters;
    for (const Use& use : kUses) letters.insert(std::string(1, use.letter));
    return letters;
}

// "--signal=" and "--wait=" as bash offers them, where a value follows.
Words LongOptionsAsBashOffersThem() {
    Words words;
    for (size_t i = 0; i < kOptionCount; ++i) {
        const OptionRow& row = kOptionRows[i];
        if (row.help == nullptr) continue;
        const std::string name = std::string("--") + row.name;
        const bool glued = row.argLabel[0] == '=' || row.arg == Arg::Optional;
        if (row.arg != Arg::Required || !glued) words.insert(name);
        if (glued) words.insert(name + "=");
    }
    return words;
}

TEST(ShippedListsTest, BashCompletionOffersTheOptionsAndSignalsOfTheTables) {
    const std::string script = Read("packaging/completion/fencat.bash");
    EXPECT_EQ(Split(Between(Between(script, "--*)", ";;"), "compgen -W '", "'")), LongOptionsAsBashOffersThem());
    Words shorts = ShortOptions();
    shorts.insert("--");
    EXPECT_EQ(Split(Between(Between(script, "\n        -*)", ";;"), "compgen -W '", "'")), shorts);
    // Only what fencat -l lists: the shell's own list has names fencat refuses.
    EXPECT_EQ(Split(Between(script, "local signals='", "'")), SignalNames());
    EXPECT_EQ(script.find("compgen -A signal"), std::string::npos);
}

TEST(ShippedListsTest, ZshCompletionNamesTheOptionsAndSignalsOfTheTables) {
    std::string script = Read("packaging/completion/_fencat");
    const std::string flags = "_arguments -s -S";
    ASSERT_NE(script.find(flags), std::string::npos);
    script.erase(script.find(flags), flags.size());
    EXPECT_EQ(Captures(script, R"((--[a-z][a-z-]*))"), LongOptions());
    EXPECT_EQ(Captures(script, R"((?:^|[^\w-])(-[a-zA-Z])(?![\w-]))"), ShortOptions());
    EXPECT_EQ(Split(Between(script, ":signal:(", ")")), SignalNames());
}

TEST(ShippedListsTest, ManPageDescribesTheOptionsExitStatusesAndLettersOfTheTables) {
    // Roff's "\-" is the minus of an option.
    const std::string page = std::regex_replace(Read("packaging/fencat.1"), std::regex(R"(\\-)"), "-");
    const std::string options = Between(page, "\n.SH OPTIONS", "\n.SH ");
    // An item's tag is the line after .TP or .TQ.
    std::string tags;
    for (const std::string& tag : Captures(options, R"(\n\.T[PQ](?: \d+)?\n([^\n]*))")) tags += tag + "\n";
    EXPECT_EQ(Captures(tags, R"((--[a-z][a-z-]*))"), LongOptions());
    EXPECT_EQ(Captures(tags, R"((?:^|[ "])(-[a-zA-Z])(?![\w-]))"), ShortOptions());
    EXPECT_EQ(Captures(Between(options, "\n.RS\n", "\n.RE"), R"(\n\.B (\w)\n)"), AccessLetterSet());
    EXPECT_EQ(Captures(Between(page, "\n.SH \"EXIT STATUS\"", "\n.SH "), R"(\n\.TP\n\.B (\d+)\n)"), ExitNumbers());
}

TEST(ShippedListsTest, ReadmeListsTheOptionsExitStatusesAndLettersOfTheTables) {
    const std::string section = Between(Read("README.md"), "\n## fencat\n", "\n## ");
    const std::string options = Between(section, "| Option | |\n", "\n\n");
    Words longs, shorts;
    for (const std::string& cell : Captures(options, R"(\n\| ([^|]*) \|)")) {
        for (const std::string& name : Captures(cell, R"(`(--[a-z][a-z-]*))")) longs.insert(name);
        for (const std::string& letter : Captures(cell, R"(`(-[a-zA-Z])`)")) shorts.insert(letter);
    }
    EXPECT_EQ(longs, LongOptions());
    EXPECT_EQ(shorts, ShortOptions());
    EXPECT_EQ(Captures(Between(section, "| Status | |\n", "\n\n"), R"(\n *\| (\d+) \|)"), ExitNumbers());
    EXPECT_EQ(Captures(Between(section, "ACCESS has `fuser`'s letters:", ".\n"), R"(`(\w)`)"), AccessLetterSet());
}

}  // namespace
