#include "clockdisplay/ClockFace.h"

#include "support/FakeClock.h"
#include "time/LocalTime.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace halvix {
namespace {

using Digits = ClockFace::Digits;
using Shown = ClockFace::Shown;
using test::FakeClock;

constexpr FaceKind M = FaceKind::Minutes;
constexpr FaceKind H = FaceKind::Hours;

TEST(ClockFaceTest, CountdownDigitsAndWords) {
    // Minutes, seconds, hours, weekday (Wednesday = 3), each as tens and units.
    const struct {
        int countdown;
        Shown shown;
        const char* words;
    } cases[] = {
        {500, {M, {0, 8, 2, 0, 0, 0, 0, 3}}, "8 分 20 秒"},
        {499, {M, {0, 8, 1, 9, 0, 0, 0, 3}}, "8 分 19 秒"},
        {59, {M, {0, 0, 5, 9, 0, 0, 0, 3}}, "0 分 59 秒"},
        {3599, {M, {5, 9, 5, 9, 0, 0, 0, 3}}, "59 分 59 秒"},
        // From an hour on the face shows hours first: never read as minutes.
        {3600, {H, {0, 0, 0, 0, 0, 1, 0, 3}}, "1 小时 0 分 0 秒"},
        {3725, {H, {0, 2, 0, 5, 0, 1, 0, 3}}, "1 小时 2 分 5 秒"},
        {5393, {H, {2, 9, 5, 3, 0, 1, 0, 3}}, "1 小时 29 分 53 秒"},
        {36000, {H, {0, 0, 0, 0, 1, 0, 0, 3}}, "10 小时 0 分 0 秒"},
        {86399, {H, {5, 9, 5, 9, 2, 3, 0, 3}}, "23 小时 59 分 59 秒"},
        {1, {M, {0, 0, 0, 1, 0, 0, 0, 3}}, "0 分 1 秒"},
        {0, {M, {0, 0, 0, 0, 0, 0, 0, 3}}, "0 分 0 秒"},
        {-30, {M, {0, 0, 0, 0, 0, 0, 0, 3}}, "0 分 0 秒"},
        {INT_MIN, {M, {0, 0, 0, 0, 0, 0, 0, 3}}, "0 分 0 秒"},
        // Beyond two hour digits the face stays at its largest value instead of showing a wrong one.
        {359999, {H, {5, 9, 5, 9, 9, 9, 0, 3}}, "99 小时 59 分 59 秒"},
        {360000, {H, {5, 9, 5, 9, 9, 9, 0, 3}}, "99 小时 59 分 59 秒"},
        {INT_MAX, {H, {5, 9, 5, 9, 9, 9, 0, 3}}, "99 小时 59 分 59 秒"},
    };
    for (const auto& c : cases) {
        const Shown shown = ClockFace::shownFor(c.countdown, 3);
        EXPECT_EQ(shown, c.shown) << "countdown " << c.countdown;
        EXPECT_EQ(ClockFace::countdownText(shown), c.words) << "countdown " << c.countdown;
    }
}

TEST(ClockFaceTest, AnyCountdownReadsBackFromTheDigits) {
    std::mt19937 random(20250312);
    std::uniform_int_distribution<int> seconds(0, 99 * 3600 + 59 * 60 + 59);
    for (int round = 0; round < 20000; ++round) {
        const int countdown = seconds(random);
        const Shown shown = ClockFace::shownFor(countdown, 1 + round % 7);
        const Digits& d = shown.digits;
        const int read = (d[ClockFace::HourTens] * 10 + d[ClockFace::HourUnits]) * 3600 +
                         (d[ClockFace::MinuteTens] * 10 + d[ClockFace::MinuteUnits]) * 60 +
                         d[ClockFace::SecondTens] * 10 + d[ClockFace::SecondUnits];
        ASSERT_EQ(read, countdown);
        ASSERT_EQ(shown.kind, countdown >= 3600 ? H : M) << countdown;
        // Every digit fits the four bits the face keeps it in.
        for (const int digit : d)
            ASSERT_TRUE(digit >= 0 && digit <= 9) << countdown;
    }
}

TEST(ClockFaceTest, WeekdayCountsFromSunday) {
    const struct {
        int weekday; // 1 Monday ... 7 Sunday
        int shown;
    } cases[] = {{7, 0}, {1, 1}, {5, 5}, {6, 6}};
    for (const auto& c : cases) {
        for (const int countdown : {100, 7200}) {
            const Digits digits = ClockFace::shownFor(countdown, c.weekday).digits;
            EXPECT_EQ(digits[ClockFace::WeekdayTens], 0) << "weekday " << c.weekday;
            EXPECT_EQ(digits[ClockFace::WeekdayUnits], c.shown) << "weekday " << c.weekday;
        }
    }
}

TEST(ClockFaceTest, EachTickShowsTheCountdownThenDecrementsIt) {
    ClockFace face;
    std::atomic<int> countdown{500};
    const FakeClock saturday({.weekday = 6});

    face.updateDigits(countdown, saturday);
    EXPECT_EQ(face.shown(), (Shown{M, {0, 8, 2, 0, 0, 0, 0, 6}}));
    EXPECT_EQ(countdown.load(), 499);

    face.updateDigits(countdown, FakeClock({.weekday = 7}));
    EXPECT_EQ(face.shown(), (Shown{M, {0, 8, 1, 9, 0, 0, 0, 0}}));

    // The hour's last second shows the hours face, the next one the minutes face.
    countdown = 3600;
    face.updateDigits(countdown, saturday);
    EXPECT_EQ(face.shown(), (Shown{H, {0, 0, 0, 0, 0, 1, 0, 6}}));
    face.updateDigits(countdown, saturday);
    EXPECT_EQ(face.shown(), (Shown{M, {5, 9, 5, 9, 0, 0, 0, 6}}));

    // Below zero the face shows zeros while the count goes on falling until the bell sets it again.
    countdown = 0;
    face.updateDigits(countdown, saturday);
    face.updateDigits(countdown, saturday);
    EXPECT_EQ(face.shown(), (Shown{M, {0, 0, 0, 0, 0, 0, 0, 6}}));
    EXPECT_EQ(countdown.load(), -2);
}

TEST(ClockFaceTest, LayoutCellsFitTheBackgroundAndDoNotOverlap) {
    for (const FaceKind kind : {M, H}) {
        const auto& cells = ClockFace::layout(kind);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const FaceCell& a = cells[i];
            EXPECT_GE(a.x, 0);
            EXPECT_GE(a.y, 0);
            EXPECT_LE(a.x + a.width, ClockFace::kBackgroundWidth) << "cell " << i;
            EXPECT_LE(a.y + a.height, ClockFace::kBackgroundHeight) << "cell " << i;
            for (std::size_t j = i + 1; j < cells.size(); ++j) {
                const FaceCell& b = cells[j];
                const bool apart = a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y ||
                                   b.y + b.height <= a.y;
                EXPECT_TRUE(apart || !a.shown || !b.shown) << "cells " << i << " and " << j << " overlap";
            }
        }
    }
    // Read left to right: hours, minutes, seconds on the hours face; minutes, seconds otherwise.
    const auto& hours = ClockFace::layout(H);
    EXPECT_LT(hours[ClockFace::HourUnits].x, hours[ClockFace::MinuteTens].x);
    EXPECT_LT(hours[ClockFace::MinuteUnits].x, hours[ClockFace::SecondTens].x);
    EXPECT_FALSE(ClockFace::layout(M)[ClockFace::HourTens].shown);
    EXPECT_FALSE(ClockFace::layout(M)[ClockFace::HourUnits].shown);
}

} // namespace
} // namespace halvix
