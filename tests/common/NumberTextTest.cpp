#include "common/NumberText.h"

#include <climits>
#include <gtest/gtest.h>

namespace halvix {

TEST(NumberText, ReadsLikeTheProgramEverywhere) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"1125", 1125},
        {"  42abc", 42},
        {"-7", -7},
        {"+8", 8},
        {"", 0},
        {"abc", 0},
        {" \t 905\r\n", 905},
        {"- 5", 0},
        {"12 34", 12},
        {"0008", 8},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readNumber(c.text), c.value) << '"' << c.text << '"';
}

} // namespace halvix
