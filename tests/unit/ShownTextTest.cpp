// Names as lines of text show them: controls that could reorder or steer
// what a reader sees are escaped, and columns are counted in characters.
#include <gtest/gtest.h>

#include <string>

#include "cli/Output.h"
#include "search/ResultLine.h"

namespace {

TEST(ShownTextTest, BidirectionalControlsAreEscapedLikeC1) {
    struct Case {
        std::string bytes;
        std::string shown;
        std::string json;
    } cases[] = {
        // U+202E (right-to-left override) would show "txt.exe" as "exe.txt".
        {"a\xE2\x80\xAE" "txt.exe", "a\\xe2\\x80\\xaetxt.exe", "\"a\\u202etxt.exe\""},
        {"\xE2\x80\xAA", "\\xe2\\x80\\xaa", "\"\\u202a\""},
        {"\xE2\x81\xA6x\xE2\x81\xA9", "\\xe2\\x81\\xa6x\\xe2\\x81\\xa9", "\"\\u2066x\\u2069\""},
        // Their neighbours are ordinary text.
        {"\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA", "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
         "\"\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\""},
        {"\xE2\x82\xAC", "\xE2\x82\xAC", "\"\xE2\x82\xAC\""},
        // C1 as before; a lead byte cut short is no control.
        {"\xC2\x9B" "2J", "\\xc2\\x9b2J", "\"\\u009b2J\""},
        {"\xE2\x80", "\xE2\x80", "\"\\udce2\\udc80\""},
        {"\x80\xAE", "\x80\xAE", "\"\\udc80\\udcae\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VisibleText(c.bytes), c.shown) << c.shown;
        EXPECT_EQ(JsonString(c.bytes), c.json) << c.json;
    }
    for (char32_t code = 0x2000; code < 0x2100; ++code) {
        const bool bidi = (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
        EXPECT_EQ(IsControlCode(code), bidi) << std::hex << static_cast<unsigned>(code);
    }
}

TEST(ShownTextTest, ColumnsCountCharactersNotBytes) {
    // Two bytes a letter, three a CJK character, four an emoji: all pad to
    // the same column as ASCII does.
    EXPECT_EQ(FormatResultLine(8, "\xC3\x84pfel.exe"), "0x0008  \xC3\x84pfel.exe" + std::string(11, ' '));
    EXPECT_EQ(FormatResultLine(8, "\xE6\x96\x87\xE4\xBB\xB6.exe"),
              "0x0008  \xE6\x96\x87\xE4\xBB\xB6.exe" + std::string(14, ' '));
    EXPECT_EQ(FormatResultLine(8, "\xF0\x9F\x98\x80"), "0x0008  \xF0\x9F\x98\x80" + std::string(19, ' '));
    // A byte that begins no character counts as one; an escape as what it
    // shows.
    EXPECT_EQ(FormatResultLine(8, "caf\xE9"), "0x0008  caf\xE9" + std::string(16, ' '));
    EXPECT_EQ(FormatResultLine(8, "a\x01"), "0x0008  a\\x01" + std::string(15, ' '));
    // Never cut.
    const std::string twenty = "\xD0\x96" + std::string(19, 'x');
    EXPECT_EQ(FormatResultLine(8, twenty), "0x0008  " + twenty);
    EXPECT_EQ(FormatResultLine(8, twenty + "y"), "0x0008  " + twenty + "y");
    EXPECT_EQ(PadRight("\xD0\x96\xD0\x96", 3), "\xD0\x96\xD0\x96 ");
    EXPECT_EQ(PadRight("", 0), "");
}

}  // namespace
