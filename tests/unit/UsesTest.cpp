// The words of uses, kinds and exits that fencat writes and the window reads
// back: fuser's letters, the window's words, and the help's exit paragraph.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/Options.h"
#include "search/OnEach.h"
#include "search/Uses.h"

namespace {

constexpr uint32_t kAllBits = Finding::kMapped | Finding::kExecutable | Finding::kRead | Finding::kWrite |
                              Finding::kCurrentFolder | Finding::kRootFolder | Finding::kOpen;

TEST(UsesTest, LettersAreFusersInItsColumns) {
    EXPECT_EQ(AccessLetters(0, true), ".....");
    EXPECT_EQ(AccessLetters(0, false), "");
    EXPECT_EQ(AccessLetters(Finding::kOpen, true), "f....");
    EXPECT_EQ(AccessLetters(Finding::kOpen | Finding::kRead, true), "f....");
    // Writing shows, whether or not reading is known.
    EXPECT_EQ(AccessLetters(Finding::kWrite, true), "F....");
    EXPECT_EQ(AccessLetters(Finding::kOpen | Finding::kRead | Finding::kWrite, false), "F");
    EXPECT_EQ(AccessLetters(Finding::kRootFolder | Finding::kCurrentFolder, true), ".rc..");
    EXPECT_EQ(AccessLetters(Finding::kMapped, true), "....m");
    // The executable is mapped too; fuser names it 'e' alone.
    EXPECT_EQ(AccessLetters(Finding::kMapped | Finding::kExecutable, true), "...e.");
    EXPECT_EQ(AccessLetters(kAllBits, true), "Frce.");
    EXPECT_EQ(AccessLetters(Finding::kOpen | Finding::kMapped | Finding::kCurrentFolder, false), "fcm");
}

TEST(UsesTest, LettersReadBackAsWhatTheyShow) {
    EXPECT_EQ(AccessOfLetters("f"), uint32_t(Finding::kOpen));
    EXPECT_EQ(AccessOfLetters("F.c.."), uint32_t(Finding::kOpen | Finding::kWrite | Finding::kCurrentFolder));
    EXPECT_EQ(AccessOfLetters("...e."), uint32_t(Finding::kExecutable));
    EXPECT_EQ(AccessOfLetters("x?-"), 0u);
    // Whatever the bits, their letters read back show the same letters.
    for (uint32_t access = 0; access <= kAllBits; ++access) {
        if ((access & ~kAllBits) != 0) continue;
        const std::string letters = AccessLetters(access, true);
        EXPECT_EQ(AccessLetters(AccessOfLetters(letters), true), letters) << access;
    }
}

TEST(UsesTest, TheWindowSaysEachUseOnceInWords) {
    EXPECT_EQ(UseWords(0), "");
    EXPECT_EQ(UseWords(Finding::kOpen), "open");
    EXPECT_EQ(UseWords(Finding::kOpen | Finding::kRead), "open for reading");
    EXPECT_EQ(UseWords(Finding::kWrite), "open for writing");
    EXPECT_EQ(UseWords(kAllBits),
              "open for reading and writing, mapped, executable, current folder, root folder");
    EXPECT_EQ(UseWords(Finding::kRootFolder | Finding::kMapped), "mapped, root folder");
}

TEST(UsesTest, KindWordsGoBothWays) {
    Finding::Kind kind = Finding::Kind::Handle;
    ASSERT_TRUE(KindOfWord("mapped", kind));
    EXPECT_EQ(kind, Finding::Kind::Mapped);
    ASSERT_TRUE(KindOfWord("module", kind));
    EXPECT_EQ(kind, Finding::Kind::Module);
    EXPECT_FALSE(KindOfWord("Module", kind));
    EXPECT_FALSE(KindOfWord("", kind));
    for (const Finding::Kind each : {Finding::Kind::Module, Finding::Kind::Handle, Finding::Kind::Mapped}) {
        ASSERT_TRUE(KindOfWord(WordOfKind(each), kind)) << WordOfKind(each);
        EXPECT_EQ(kind, each);
    }
    EXPECT_STREQ(WordOfKind(Finding::Kind::Handle), "handle");
}

TEST(ExitStatusHelpTest, TheParagraphNamesEveryStatusFilledToTheHelpsWidth) {
    EXPECT_EQ(ExitStatusHelp(),
              OnEach("Exit status: 0 if a process was found (with -w: once the files are free),\n"
                     "1 if none was (with -w: when the time ran out), 2 on error or when a\n"
                     "process could not be signalled, 3 with -w when no process it could\n"
                     "examine uses the files, but some could not be examined.\n",
                     "Exit status: 0 if a process was found (with -w: once the files are free),\n"
                     "1 if none was (with -w: when the time ran out), 2 on error or when a\n"
                     "process could not be ended, 3 with -w when no process it could examine\n"
                     "uses the files, but some could not be examined.\n"));
    // The whole help fits a terminal of 80 columns, and ends with the statuses.
    const std::string help = HelpText();
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 79u) << line;
    EXPECT_EQ(help.substr(help.size() - ExitStatusHelp().size() - 2), "\n\n" + ExitStatusHelp());
}

}  // namespace
