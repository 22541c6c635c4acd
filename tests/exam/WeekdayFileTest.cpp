#include "exam/WeekdayFile.h"

#include "support/RecordingSink.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using test::readFile;
using test::RecordingSink;
using test::TempFolder;

WeekdayClicks clicked(std::initializer_list<int> weekdays) {
    WeekdayClicks clicks;
    for (int w : weekdays)
        clicks.click(w);
    return clicks;
}

TEST(WeekdayFile, ClicksNumberTheBoxesAndTheirCaptions) {
    WeekdayClicks clicks = clicked({1, 5, 1});
    EXPECT_EQ(clicks.clickCount(), 3);
    EXPECT_EQ(clicks.weekdayValues(), (WeekdayValues{31, 0, 0, 0, 25, 0, 0}));
    EXPECT_EQ(clicks.caption(1), "星期一  1  3");
    EXPECT_EQ(clicks.caption(5), "星期五  2");
    EXPECT_EQ(clicks.caption(7), "星期日");

    clicks.click(0);
    clicks.click(8);
    EXPECT_EQ(clicks.clickCount(), 3);

    clicks.reset();
    EXPECT_EQ(clicks.clickCount(), 0);
    EXPECT_EQ(clicks.weekdayValues(), WeekdayValues{});
    EXPECT_EQ(clicks.caption(1), "星期一");
    clicks.click(2);
    EXPECT_EQ(clicks.caption(2), "星期二  1");
}

TEST(WeekdayFile, NumberHoldsFirstAndLastClickedWeekday) {
    struct Case {
        std::initializer_list<int> clicks;
        int number;
    } cases[] = {
        {{}, 0},
        {{1, 5}, 1125},
        {{1}, 1111},
        {{2, 5, 2}, 32}, // the first box was clicked again: no first day any more
        {{7, 6, 5, 4, 3, 2, 1}, 1771},
        {{1, 2, 3, 4, 5, 6, 7, 2, 3, 5}, 1105}, // tenth click: 105, only its last two digits
        {{1, 2, 3, 4, 5, 6, 7, 2, 3, 4, 5}, 1115},
    };
    for (const auto& c : cases) {
        const int number = weekdayFileNumber(clicked(c.clicks).weekdayValues());
        EXPECT_EQ(number, c.number) << c.clicks.size();
        // How the day-plan selection reads the two weekdays back.
        if (c.clicks.size() >= 10) {
            EXPECT_EQ((number / 100) % 10, *c.clicks.begin());
            EXPECT_EQ((number % 100) % 10, *(c.clicks.end() - 1));
        }
    }
}

TEST(WeekdayFile, WritesTheBareNumberOverTheOldFile) {
    TempFolder folder;
    folder.write("xqno.txt", "123456\r\n");
    RecordingSink sink;
    EXPECT_TRUE(writeWeekdayFile(folder.path(), clicked({1, 5}).weekdayValues(), sink));
    EXPECT_EQ(readFile(folder / "xqno.txt"), "1125");
    EXPECT_TRUE(writeWeekdayFile(folder.path(), WeekdayValues{}, sink));
    EXPECT_EQ(readFile(folder / "xqno.txt"), "0");
    EXPECT_TRUE(sink.messages.empty());
}

TEST(WeekdayFile, FileThatCannotBeWrittenIsReported) {
    TempFolder folder;
    folder.write("xqno.txt/inside", "x");
    RecordingSink sink;
    EXPECT_FALSE(writeWeekdayFile(folder.path(), clicked({1, 5}).weekdayValues(), sink));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "无法写入 xqno.txt");
}

} // namespace
} // namespace halvix
