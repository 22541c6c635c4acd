// The process is killed at random moments while it rewrites a large table: afterwards the database
// is intact and the table holds exactly the old rows or exactly the new ones, never a mixture.
#include "common/MessageSink.h"
#include "store/ScheduleDatabase.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace halvix {
namespace {

constexpr int kRows = 10000;

TextList rowsMarked(const std::string& marker) {
    TextList values;
    values.reserve(kRows * 7);
    for (int i = 0; i < kRows; ++i)
        for (const std::string& cell :
             {std::to_string(i + 1), marker, std::string("08:00"), std::string("上课"),
              std::string("上课.mp3"), std::string("待完"), marker + std::to_string(i)})
            values.push_back(cell);
    return values;
}

int rounds() {
    const char* text = std::getenv("HALVIX_KILL_ROUNDS");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 20;
}

TEST(KillDuringRewrite, TableHoldsOldOrNewRowsAfterEveryKill) {
    test::ScheduleFixture fx;
    {
        SilentSink sink;
        ScheduleDatabase db(fx.folder(), sink);
        db.open();
        ASSERT_TRUE(db.replaceRows("cjtime", 7, rowsMarked("A")));
    }
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMs(1, 60);
    int sawA = 0;
    int sawB = 0;
    for (int round = 0; round < rounds(); ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Rewrite back and forth until killed.
            SilentSink sink;
            const TextList a = rowsMarked("A");
            const TextList b = rowsMarked("B");
            for (int i = 0;; ++i) {
                ScheduleDatabase db(fx.folder(), sink);
                db.open();
                db.replaceRows("cjtime", 7, i % 2 ? a : b);
                db.close();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        EXPECT_EQ(fx.rows("pragma integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
        const auto summary = fx.rows("select count(*), count(distinct 日期), min(日期),"
                                     " sum(备注 = 日期 || (cast(序号 as integer) - 1)) from cjtime");
        ASSERT_EQ(summary.size(), 1u);
        EXPECT_EQ(summary[0][0], std::to_string(kRows)) << "round " << round;
        EXPECT_EQ(summary[0][1], "1") << "one generation of rows only, round " << round;
        EXPECT_EQ(summary[0][3], std::to_string(kRows)) << "every row whole, round " << round;
        (summary[0][2] == "A" ? sawA : sawB)++;
    }
    std::printf("%d kills: the table held set A %d times, set B %d times, never a mixture\n", rounds(), sawA,
                sawB);
}

} // namespace
} // namespace halvix
