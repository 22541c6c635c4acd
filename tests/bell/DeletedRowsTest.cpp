// Rows deleted from the plan list while the bell is armed.

#include "support/BellTest.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using namespace test;

TEST_F(BellTest, DeletedRowsNeverMakeTheBellRingTheWrongEntry) {
    const std::vector<Entry> day = {{"08:00:00", "a.mp3"},
                                    {"08:10:00", "b.mp3"},
                                    {"08:20:00", "c.mp3"},
                                    {"08:30:00", "d.mp3"},
                                    {"08:40:00", "e.mp3"}};
    startWith(day, at("07:00:00"));
    tickUntil(at("08:05:00"));
    deleteRow(0); // a, above the armed b
    EXPECT_EQ(engine.currentRow(), 0);
    tickUntil(at("08:15:00"));
    deleteRow(1); // c, the armed row itself
    EXPECT_EQ(engine.currentRow(), 1);
    EXPECT_EQ(countdown.load(), 900);
    tickUntil(at("08:16:00"));
    deleteRow(2); // e, below the armed d: nothing moves
    EXPECT_EQ(engine.currentRow(), 1);
    tickUntil(at("09:00:00"));
    EXPECT_EQ(heard, (Texts{"08:00:00 a.mp3", "08:10:00 b.mp3", "08:30:00 d.mp3"}));

    // The armed last row: nothing is left armed, nothing rings (no folder is made of the gap).
    heard.clear();
    startWith(day, at("08:35:00"));
    tickUntil(at("08:36:00"));
    deleteRow(4);
    EXPECT_EQ(engine.currentRow(), -1);
    tickUntil(at("09:00:00"));
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(track.calls.empty());
}

TEST_F(BellTest, RowsRemovedWithoutNoticeAreCaughtBeforeFiring) {
    startWith({{"08:00:00", "a.mp3"}, {"08:10:00", "b.mp3"}, {"08:20:00", "c.mp3"}}, at("08:05:00"));
    tickUntil(at("08:06:00"));
    plan.remove(0); // no rowRemoved: b's armed position now holds c
    tickUntil(at("08:30:00"));
    EXPECT_EQ(heard, (Texts{"08:10:00 b.mp3", "08:20:00 c.mp3"}));
}

} // namespace
} // namespace halvix
