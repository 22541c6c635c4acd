#include "clockdisplay/ClockFace.h"

#include "support/FakeClock.h"
#include "time/LocalTime.h"

#include <gtest/gtest.h>

#include <climits>

namespace halvix {
namespace {

using Digits = ClockFace::Digits;
using test::FakeClock;

TEST(ClockFaceTest, CountdownDigits) {
    // Minutes, seconds, hours, weekday (Wednesday = 3), each as tens and units.
    const struct {
        int countdown;
        Digits shown;
    } cases[] = {
        {500, {0, 8, 2, 0, 0, 0, 0, 3}},
        {499, {0, 8, 1, 9, 0, 0, 0, 3}},
        {3725, {0, 2, 0, 5, 0, 1, 0, 3}},
        {59, {0, 0, 5, 9, 0, 0, 0, 3}},
        {3600, {0, 0, 0, 0, 0, 1, 0, 3}},
        {86399, {5, 9, 5, 9, 2, 3, 0, 3}},
        {1, {0, 0, 0, 1, 0, 0, 0, 3}},
        {0, {0, 0, 0, 0, 0, 0, 0, 3}},
        {-30, {0, 0, 0, 0, 0, 0, 0, 3}},
        {INT_MIN, {0, 0, 0, 0, 0, 0, 0, 3}},
        // Beyond two hour digits the face stays at its largest value instead of showing a wrong one.
        {359999, {5, 9, 5, 9, 9, 9, 0, 3}},
        {360000, {5, 9, 5, 9, 9, 9, 0, 3}},
        {INT_MAX, {5, 9, 5, 9, 9, 9, 0, 3}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClockFace::digitsFor(c.countdown, 3), c.shown) << "countdown " << c.countdown;
}

TEST(ClockFaceTest, WeekdayCountsFromSunday) {
    const struct {
        int weekday; // 1 Monday ... 7 Sunday
        int shown;
    } cases[] = {{7, 0}, {1, 1}, {5, 5}, {6, 6}};
    for (const auto& c : cases) {
        const Digits digits = ClockFace::digitsFor(100, c.weekday);
        EXPECT_EQ(digits[ClockFace::WeekdayTens], 0) << "weekday " << c.weekday;
        EXPECT_EQ(digits[ClockFace::WeekdayUnits], c.shown) << "weekday " << c.weekday;
    }
}

TEST(ClockFaceTest, EachTickShowsTheCountdownThenDecrementsIt) {
    ClockFace face;
    std::atomic<int> countdown{500};
    const FakeClock saturday({.weekday = 6});

    face.updateDigits(countdown, saturday);
    EXPECT_EQ(face.digits(), (Digits{0, 8, 2, 0, 0, 0, 0, 6}));
    EXPECT_EQ(countdown.load(), 499);

    face.updateDigits(countdown, FakeClock({.weekday = 7}));
    EXPECT_EQ(face.digits(), (Digits{0, 8, 1, 9, 0, 0, 0, 0}));

    // Below zero the face shows zeros while the count goes on falling until the bell sets it again.
    countdown = 0;
    face.updateDigits(countdown, saturday);
    face.updateDigits(countdown, saturday);
    EXPECT_EQ(face.digits(), (Digits{0, 0, 0, 0, 0, 0, 0, 6}));
    EXPECT_EQ(countdown.load(), -2);
}

TEST(ClockFaceTest, LayoutCellsFitTheBackgroundAndDoNotOverlap) {
    const auto& cells = ClockFace::layout();
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
            EXPECT_TRUE(apart) << "cells " << i << " and " << j << " overlap";
        }
    }
}

} // namespace
} // namespace halvix
