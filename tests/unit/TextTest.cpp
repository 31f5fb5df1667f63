#include <memory>
#include <vector>

#include "SimFixture.h"
#include "windows/search/SearchSteps.h"
#include "app/core/Drop.h"
#include "search/ResultLine.h"
#include "search/Search.h"
#include "windows/sysinfo/Text.h"

namespace {

using TextTest = SimTest;

Text Convert(const char16_t* unicode) {
    Text text = "previous";
    UnicodeToText(unicode, text);
    return text;
}

Text ConvertCounted(const char16_t* buffer, os::USHORT length, os::USHORT capacity) {
    os::UNICODE_STRING string;
    string.Length = length;
    string.MaximumLength = capacity;
    string.Buffer = const_cast<os::PWSTR>(buffer);
    Text text = "previous";
    UnicodeStringToText(&string, text);
    return text;
}

TEST_F(TextTest, NullAndEmptyInputGiveTheEmptyText) {
    EXPECT_EQ(Convert(nullptr), "");
    EXPECT_EQ(Convert(u""), "");
    // Length and capacity both 0: empty, whatever the buffer holds.
    EXPECT_EQ(ConvertCounted(u"abc", 0, 0), "");
    // Length 0 with room: the buffer holds an empty string.
    EXPECT_EQ(ConvertCounted(u"\0abc", 0, 8), "");
}

TEST_F(TextTest, Latin1LettersFollowTheAnsiCodePage) {
    EXPECT_EQ(Convert(u"caf\u00E9"), "caf\xE9");
    sim::Set().ansiCodePage = sim::CodePage::Utf8;
    EXPECT_EQ(Convert(u"caf\u00E9"), "caf\xC3\xA9");
}

TEST_F(TextTest, CharactersBeyondLatin1AreNeitherCutToTheirLowByteNorEndTheText) {
    EXPECT_EQ(Convert(u"\u0141\u00F3d\u017A.txt"), "?\xF3" "d?.txt");
    EXPECT_EQ(Convert(u"A\u4E00B"), "A?B");
    EXPECT_EQ(Convert(u"A\u0100B"), "A?B");
    sim::Set().ansiCodePage = sim::CodePage::Utf8;
    EXPECT_EQ(Convert(u"\u0141\u00F3d\u017A.txt"), "\xC5\x81\xC3\xB3" "d\xC5\xBA.txt");
    EXPECT_EQ(Convert(u"A\u4E00B"), "A\xE4\xB8\x80" "B");
    EXPECT_EQ(Convert(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST_F(TextTest, CountedStringEndsAtItsTerminatorOrItsCapacity) {
    // The terminator ends it before the length does.
    EXPECT_EQ(ConvertCounted(u"ab\0cd", 8, 10), "ab");
    // No terminator within the capacity: the capacity ends it, not the length.
    std::vector<char16_t> unterminated = {u'a', u'b', u'c', u'X', u'Y'};
    EXPECT_EQ(ConvertCounted(unterminated.data(), 4, 6), "abc");
    // A buffer of exactly its capacity is never read beyond (the sanitizer
    // build sees any overread).
    std::unique_ptr<char16_t[]> exact(new char16_t[3]{u'a', u'b', u'c'});
    EXPECT_EQ(ConvertCounted(exact.get(), 6, 6), "abc");
}

TEST_F(TextTest, FinalComponentOfAPath) {
    struct Case {
        const char* path;
        size_t offset;
    } cases[] = {
        {"C:\\dir\\file.txt", 7},
        {"C:\\dir\\", 7},  // ends in a separator: the empty text at its end
        {"\\file.txt", 0},  // the first character is never a separator
        {"\\", 0},
        {"", 0},
        {"file.txt", 0},
        {"dir/file.txt", 4},
        {"C:/a\\b", 5},
        {"a/", 2},
    };
    for (const Case& c : cases) EXPECT_EQ(GetFileNamePart(c.path), c.path + c.offset) << c.path;
}

TEST_F(TextTest, ResultLineFormat) {
    EXPECT_EQ(FormatResultLine(1234, "explorer.exe"), "0x04D2  explorer.exe        ");
    EXPECT_EQ(FormatResultLine(1234, "explorer.exe").size(), 28u);
    EXPECT_EQ(FormatResultLine(0, ""), "0x0000" + std::string(22, ' '));
    EXPECT_EQ(FormatResultLine(0x12345, "a"), "0x12345  a" + std::string(19, ' '));
    const std::string twenty = "twenty-chars-name.ex";
    EXPECT_EQ(FormatResultLine(0xFFFFFFFF, twenty), "0xFFFFFFFF  " + twenty);
    const std::string longName(300, 'n');
    EXPECT_EQ(FormatResultLine(4, longName), "0x0004  " + longName);
    // A name is data, never a format.
    EXPECT_EQ(FormatResultLine(8, "100%s%n.exe"), "0x0008  100%s%n.exe         ");
}

TEST_F(TextTest, ComparisonRuleFollowsTheFileSystem) {
    const char* upper = "C:\\WINDOWS\\system32\\\xC9T\xC9.DLL";
    const char* lower = "c:\\windows\\SYSTEM32\\\xE9t\xE9.dll";
    EXPECT_TRUE(NamesMatch(upper, lower));
    EXPECT_FALSE(NamesMatch("C:\\a.dll", "C:\\a.dl"));
    EXPECT_FALSE(NamesMatch("C:\\a.dll", "C:\\b.dll"));
    sim::Set().nameCase = sim::NameCase::Exact;
    EXPECT_FALSE(NamesMatch(upper, lower));
    EXPECT_TRUE(NamesMatch(upper, upper));
}

}  // namespace
