#include "calendar/CalendarColours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace halvix;

namespace {

// Relative luminance and contrast ratio as the accessibility guidelines define them (sRGB).
double luminance(const Rgb& c) {
    const auto linear = [](int channel) {
        const double v = channel / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

double contrast(const Rgb& a, const Rgb& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

TEST(CalendarColours, TheFormulaKnowsItsEnds) {
    EXPECT_NEAR(contrast({0, 0, 0}, {255, 255, 255}), 21.0, 1e-9);
    EXPECT_NEAR(contrast({0x77, 0x77, 0x77}, {255, 255, 255}), 4.48, 0.01); // the classic borderline grey
    // The old 停铃 pair, grey on grey, is what this check exists to refuse.
    EXPECT_LT(contrast({0x60, 0x60, 0x60}, {0xc8, 0xc8, 0xc8}), 4.5);
}

TEST(CalendarColours, EveryKindIsReadable) {
    for (const DayColours& kind : kDayColours)
        EXPECT_GE(contrast(kind.text, kind.background), 4.5) << std::string(kind.name);
}

TEST(CalendarColours, KindsCanBeToldApart) {
    for (std::size_t i = 0; i < kDayColours.size(); ++i)
        for (std::size_t j = i + 1; j < kDayColours.size(); ++j) {
            const Rgb& a = kDayColours[i].background;
            const Rgb& b = kDayColours[j].background;
            EXPECT_FALSE(a.red == b.red && a.green == b.green && a.blue == b.blue)
                << std::string(kDayColours[i].name) << " and " << std::string(kDayColours[j].name);
        }
}

TEST(CalendarColours, WeekendRedIsReadableOnEveryMark) {
    // A Saturday or Sunday keeps its red on whatever mark it has, and the red is not black.
    for (const DayColours& kind : kDayColours)
        EXPECT_GE(contrast(kWeekendText, kind.background), 4.5) << std::string(kind.name);
    EXPECT_GE(kWeekendText.red, 0x80);
    EXPECT_EQ(kWeekendText.green + kWeekendText.blue, 0);
}
