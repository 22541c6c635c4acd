// The process is killed at random moments while it saves the calendar: afterwards the table holds
// exactly the old entries or exactly the new ones.
#include "calendar/CalendarStore.h"
#include "common/MessageSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace halvix {
namespace {

constexpr int kEntries = 2000;

// kEntries single days from 2000-01-01 on, every note marked.
std::vector<CalendarEntry> entriesMarked(const std::string& marker) {
    std::vector<CalendarEntry> entries;
    for (int i = 0; i < kEntries; ++i) {
        const CivilDate day = dateFromDayNumber(dayNumber(CivilDate{2000, 1, 1}) + i);
        entries.push_back({day, day, CalendarType::Silent, 0, marker});
    }
    return entries;
}

TEST(CalendarKill, TableHoldsOldOrNewEntriesAfterEveryKill) {
    test::ScheduleFixture fx;
    SilentSink sink;
    const auto a = entriesMarked("A");
    const auto b = entriesMarked("B");
    ASSERT_TRUE(saveCalendar(fx.folder(), a, sink));
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> delayMs(1, 40);
    int sawB = 0;
    for (int round = 0; round < 8; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                saveCalendar(fx.folder(), i % 2 ? a : b, sink);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        const auto summary = fx.rows("select count(*), count(distinct 备注) from calendar");
        EXPECT_EQ(summary, (std::vector<std::vector<std::string>>{{std::to_string(kEntries), "1"}}))
            << "round " << round;
        const auto loaded = loadCalendar(fx.folder(), sink);
        EXPECT_TRUE(loaded == a || loaded == b) << "round " << round;
        sawB += loaded == b;
    }
    std::printf("8 kills: the table held the second set %d times, never a mixture\n", sawB);
}

} // namespace
} // namespace halvix
