#include <memory>
#include <vector>

#include "SimFixture.h"
#include "windows/search/SearchSteps.h"
#include "app/core/Drop.h"
#include "search/ResultLine.h"
#include "search/Paths.h"
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

// Names leave the wing as UTF-8, whatever the code page; nothing becomes
// '?', and every unit comes back, lone surrogates too.
TEST_F(TextTest, NamesBecomeUtf8WithNothingLost) {
    EXPECT_EQ(Convert(u"caf\u00E9"), "caf\xC3\xA9");
    EXPECT_EQ(Convert(u"\u0141\u00F3d\u017A.txt"), "\xC5\x81\xC3\xB3" "d\xC5\xBA.txt");
    EXPECT_EQ(Convert(u"A\u4E00B"), "A\xE4\xB8\x80" "B");
    EXPECT_EQ(Convert(u"A\u0100B"), "A\xC4\x80" "B");
    EXPECT_EQ(Convert(u"\U0001F600"), "\xF0\x9F\x98\x80");
    for (const std::u16string& wide : {std::u16string(u"\U0001F600\u0444"), std::u16string(1, u'\xD800'),
                                      std::u16string(u"a\xDC00" u"b")})
        EXPECT_EQ(FromUtf8(ToUtf8(wide)), wide);
    // Bytes that are no UTF-8 stand for themselves, each its own unit.
    EXPECT_EQ(FromUtf8("\xFF\xC3"), std::u16string(u"\xDCFF\xDCC3"));
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
    for (const Case& c : cases) EXPECT_EQ(FinalComponentStart(std::string_view(c.path), PathStyle::Windows), c.offset) << c.path;
}

TEST_F(TextTest, ResultLineFormat) {
    EXPECT_EQ(FormatResultLine(1234, "explorer.exe"), "0x04D2  explorer.exe        ");
    EXPECT_EQ(FormatResultLine(0, ""), "0x0000" + std::string(22, ' '));
    EXPECT_EQ(FormatResultLine(0x12345, "a"), "0x12345  a" + std::string(19, ' '));
    const std::string twenty = "twenty-chars-name.ex";
    EXPECT_EQ(FormatResultLine(0xFFFFFFFF, twenty), "0xFFFFFFFF  " + twenty);
    const std::string longName(300, 'n');
    EXPECT_EQ(FormatResultLine(4, longName), "0x0004  " + longName);
    // A name is data, never a format.
    EXPECT_EQ(FormatResultLine(8, "100%s%n.exe"), "0x0008  100%s%n.exe         ");
    // Names are UTF-8 here too: a C1 control (CSI) is escaped; the
    // backslash, a separator, is not.
    EXPECT_EQ(FormatResultLine(8, "a\xC2\x9B" "2J\\b", PathStyle::Windows),
              "0x0008  a\\xc2\\x9b2J\\b" + std::string(7, ' '));
}

TEST_F(TextTest, ComparisonRuleFollowsTheFileSystem) {
    const char16_t* upper = u"C:\\WINDOWS\\system32\\\u00C9T\u00C9\u0424.DLL";
    const char16_t* lower = u"c:\\windows\\SYSTEM32\\\u00E9t\u00E9\u0444.dll";
    EXPECT_TRUE(NamesMatch(upper, lower));
    EXPECT_FALSE(NamesMatch(u"C:\\a.dll", u"C:\\a.dl"));
    EXPECT_FALSE(NamesMatch(u"C:\\a.dll", u"C:\\b.dll"));
    EXPECT_FALSE(NamesMatch(u"\u0414\u0430\u0442\u0430.txt", u"\u0424\u0430\u0439\u043B.txt"));
    sim::Set().nameCase = sim::NameCase::Exact;
    EXPECT_FALSE(NamesMatch(upper, lower));
    EXPECT_TRUE(NamesMatch(upper, upper));
}

}  // namespace
