// Today's mute against another writer of the calendar: an entry saved while the mute is being
// made is kept, because the mute reads and writes in one transaction.
#include "calendar/TodayMute.h"

#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <latch>
#include <thread>

namespace halvix {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST(TodayMute, AnEntrySavedMeanwhileBySomeoneElseIsKept) {
    const CivilDate today{2025, 3, 12};
    const struct {
        const char* what;
        MuteChange (*change)(const std::filesystem::path&, const CivilDate&, MessageSink&);
        Rows notes;
    } cases[] = {
        {"mute", muteDay, {{"国庆节"}, {"校庆"}, {"今日静音"}}},
        {"unmute", unmuteDay, {{"国庆节"}, {"校庆"}}},
    };
    for (const auto& c : cases) {
        test::ScheduleFixture fx;
        fx.run("create table calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);"
               "insert into calendar values ('2025-10-01','2025-10-07','停铃','','国庆节');");
        if (std::string(c.what) == "unmute")
            fx.run("insert into calendar values ('2025-03-12','2025-03-12','停铃','','今日静音');");
        // Another program has begun writing a holiday and commits it a moment later.
        std::latch writing(1);
        std::thread other([&] {
            sqlite3* db = nullptr;
            sqlite3_open(fx.databaseName().c_str(), &db);
            sqlite3_exec(db,
                         "begin immediate; insert into calendar values "
                         "('2025-05-20','2025-05-20','停铃','','校庆');",
                         nullptr, nullptr, nullptr);
            writing.count_down();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        });
        writing.wait();
        test::RecordingSink sink;
        EXPECT_EQ(c.change(fx.folder(), today, sink), MuteChange::Changed) << c.what;
        other.join();
        EXPECT_EQ(fx.rows("select 备注 from calendar order by rowid"), c.notes) << c.what;
    }
}

} // namespace
} // namespace halvix
