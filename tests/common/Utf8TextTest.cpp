#include "common/Utf8Text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace halvix {

namespace {

// The UTF-8 of one code point, written out as the standard's table gives it.
std::string encode(std::uint32_t c) {
    const auto byte = [](std::uint32_t b) { return static_cast<char>(b); };
    if (c < 0x80)
        return {byte(c)};
    if (c < 0x800)
        return {byte(0xC0 | (c >> 6)), byte(0x80 | (c & 0x3F))};
    if (c < 0x10000)
        return {byte(0xE0 | (c >> 12)), byte(0x80 | ((c >> 6) & 0x3F)), byte(0x80 | (c & 0x3F))};
    return {byte(0xF0 | (c >> 18)), byte(0x80 | ((c >> 12) & 0x3F)), byte(0x80 | ((c >> 6) & 0x3F)),
            byte(0x80 | (c & 0x3F))};
}

} // namespace

TEST(Utf8Text, TellsUtf8FromOtherBytes) {
    struct Case {
        const char* what;
        std::string bytes;
        bool valid;
    } cases[] = {
        {"empty", "", true},
        {"ASCII", "a,b\r\n", true},
        {"Chinese", "时间,星期一", true},
        {"four-byte", "\xF0\xA0\x80\x80", true},
        {"code page 936 text", "\xCA\xB1\xBC\xE4", false},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three-byte", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"cut off", "\xE6\x97", false},
        {"stray continuation", "a\x80", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.what;
}

TEST(Utf8Text, EveryCodePointIsOneSequenceAndNoSurrogateOrCutIs) {
    std::mt19937 random(20261210);
    std::uniform_int_distribution<std::uint32_t> codePoint(0, 0x10FFFF);
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t c = codePoint(random);
        const std::string bytes = encode(c);
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        EXPECT_EQ(isValidUtf8(bytes), !surrogate) << std::hex << c;
        EXPECT_EQ(utf8SequenceLength(bytes + "x"), surrogate ? 0 : bytes.size()) << std::hex << c;
        // Cut anywhere inside, or followed by a stray continuation byte, it is no longer UTF-8.
        for (std::size_t cut = 1; cut < bytes.size(); ++cut)
            EXPECT_FALSE(isValidUtf8(bytes.substr(0, cut))) << std::hex << c << " cut at " << cut;
        EXPECT_FALSE(isValidUtf8(bytes + "\x80")) << std::hex << c;
    }
}

} // namespace halvix
