#include "editing/TextCodec.h"

#include <gtest/gtest.h>
#include <string>

namespace halvix {

namespace {
const std::string kReplacement = "\xEF\xBF\xBD";

// Bytes in, and the text they should give.
struct Conversion {
    const char* what;
    std::string in;
    std::string out;
};
} // namespace

TEST(TextCodec, ConvertsCodePage936BothWays) {
    struct Case {
        std::string gb;
        std::string utf8;
    } cases[] = {
        {"", ""},
        {"08:00,a b", "08:00,a b"},
        {"\xCA\xB1\xBC\xE4", "时间"},
        {"\xD0\xC7\xC6\xDA\xD2\xBB,\xB4\xFD\xCD\xEA", "星期一,待完"},
        {"\x95\x32\x82\x36", "\xF0\xA0\x80\x80"}, // four-byte GB18030: U+20000
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gb18030ToUtf8(c.gb), c.utf8) << c.utf8;
        EXPECT_EQ(utf8ToGb18030(c.utf8), c.gb) << c.utf8;
    }
}

TEST(TextCodec, ReplacesBytesItCannotConvertAndKeepsTheRest) {
    const Conversion cases[] = {
        {"lead byte before a separator", "\x81,x", kReplacement + ",x"},
        {"byte that leads nothing",
         "a\xFF"
         "b",
         "a" + kReplacement + "b"},
        {"character cut off at the end", "ab\xD0", "ab" + kReplacement},
        {"four-byte sequence cut off", "\x95\x32\r\n", kReplacement + "2\r\n"},
        {"euro sign of code page 936",
         "\x80"
         "5",
         "\xE2\x82\xAC"
         "5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gb18030ToUtf8(c.in), c.out) << c.what;

    // Text that is not UTF-8 (a stored value of unknown origin) is written with U+FFFD in its place.
    EXPECT_EQ(utf8ToGb18030("a\xFF"
                            "b,\xE4\xB8"),
              "a\x84\x31\xA4\x37"
              "b,\x84\x31\xA4\x37\x84\x31\xA4\x37");
}

TEST(TextCodec, DecodesAFileByItsContent) {
    const Conversion cases[] = {
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF时间,a", "时间,a"},
        {"UTF-8 without byte-order mark", "时间,a", "时间,a"},
        {"code page 936", "\xCA\xB1\xBC\xE4,a", "时间,a"},
        {"mark but a broken byte",
         "\xEF\xBB\xBF"
         "a\xFF,b",
         "a" + kReplacement + ",b"},
        {"one byte of 936 makes the whole file 936", "\xC1\xE5,\xE9\x93\x83", "铃,閾" + kReplacement},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeFileText(c.in), c.out) << c.what;
}

TEST(TextCodec, SpreadsheetTextIsCodePage936UnlessACharacterHasNoCodeThere) {
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* what;
        std::string text;
        bool codePage936; // otherwise UTF-8 after a byte-order mark
    } cases[] = {
        {"nothing", "", true},
        {"ASCII", "08:00,a b\n", true},
        {"Chinese of the log", "时刻,计划时间,事件,声音,结果\n2025-03-12,第一节,上课.mp3,已响铃\n", true},
        {"a rare ideograph (U+20000)", "上课\xF0\xA0\x80\x80.mp3", false},
        {"an emoji", "下课 \xF0\x9F\x94\x94", false},
        {"a byte that is not UTF-8",
         "a\xFF"
         "b",
         false},
        {"a character cut off", "铃\xE4\xB8", false},
    };
    for (const auto& c : cases) {
        const std::string written = spreadsheetText(c.text);
        if (c.codePage936) {
            EXPECT_EQ(written, utf8ToGb18030(c.text)) << c.what;
            EXPECT_FALSE(hasUtf8Bom(written)) << c.what;
        } else {
            EXPECT_TRUE(hasUtf8Bom(written)) << c.what;
        }
        // Either way the program reads back what it wrote, every character that was one whole.
        EXPECT_EQ(decodeFileText(written), decodeFileText(bom + c.text)) << c.what;
    }
}

} // namespace halvix
