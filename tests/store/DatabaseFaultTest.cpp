// The database file goes wrong under the program: read-only, locked by another process for longer
// than the busy timeout, deleted, replaced by garbage, or out of room. Every read and write must
// fail with a Chinese message saying why (never an exception), and what is stored must stay
// exactly as it was.
#include "bell/DayPlanSelector.h"
#include "store/ScheduleDatabase.h"
#include "store/TextTable.h"
#include "support/DatabaseFaults.h"
#include "support/PlanTitles.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace halvix {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

// Wednesday 12 March 2025; with the school-week file "0" a Wednesday uses zccjtime.
const LocalTime kWednesday{2025, 3, 12, 7, 30, 0, 3};

const Rows kStoredPlan = {{"1", "星期三", "08:00", "上课", "上课.mp3", "待完", ""},
                          {"2", "星期三", "08:45", "下课", "下课.mp3", "待完", ""}};

bool hasText(const test::RecordingSink& sink, const std::string& part) {
    for (const auto& text : sink.texts())
        if (text.find(part) != std::string::npos)
            return true;
    return false;
}

std::string allTexts(const test::RecordingSink& sink) {
    std::string out;
    for (const auto& text : sink.texts())
        out += "[" + text + "] ";
    return out;
}

enum class Fault { ReadOnly, Locked, Deleted, Garbage };

struct FaultCase {
    const char* name;
    Fault fault;
    int dayTypeRead;         // what readDayType returns (the stored value is 2)
    bool readQuietly;        // reading the day type shows nothing
    bool planLoads;          // loadDayPlan still reads today's plan
    const char* explanation; // part of the Chinese message of a failed write
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class DatabaseFault : public testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        fx.writeWeekFile("0");
        fx.run("delete from lxtime; insert into lxtime values ('2');");
        fx.insertPlan("zccjtime", kStoredPlan);
        stored = test::readFile(fx.database());
    }

    // Injects the fault for the lifetime of the returned guard (if any).
    std::shared_ptr<void> inject(Fault fault) {
        switch (fault) {
        case Fault::ReadOnly: {
            auto readOnly = std::make_shared<test::ReadOnlyFile>(fx.database());
            injected = readOnly->holds();
            return readOnly;
        }
        case Fault::Locked: {
            auto lock = std::make_shared<test::LockingProcess>(fx.database());
            EXPECT_TRUE(lock->locked());
            return lock;
        }
        case Fault::Deleted:
            fs::remove(fx.database());
            return nullptr;
        case Fault::Garbage:
            fx.temp().write("jbase.mdb", test::notADatabase());
            return nullptr;
        }
        return nullptr;
    }

    test::ScheduleFixture fx;
    std::string stored;
    bool injected = true;
};

TEST_P(DatabaseFault, EveryOperationFailsWithAChineseReasonAndNothingStoredChanges) {
    const FaultCase& c = GetParam();
    const std::string before = c.fault == Fault::Garbage ? test::notADatabase() : stored;
    {
        const auto guard = inject(c.fault);
        if (!injected)
            GTEST_SKIP() << "cannot make the file read-only for the superuser here";

        test::RecordingSink readSink;
        EXPECT_EQ(readDayType(fx.folder(), readSink), c.dayTypeRead);
        EXPECT_EQ(readSink.messages.empty(), c.readQuietly) << allTexts(readSink);

        test::RecordingSink writeSink;
        EXPECT_FALSE(writeDayType(fx.folder(), 1, writeSink));
        EXPECT_TRUE(hasText(writeSink, c.explanation)) << allTexts(writeSink);
        EXPECT_TRUE(writeSink.saw("数据保存失败!")) << allTexts(writeSink);

        // The plan the bell has is kept when today's cannot be read.
        TextTable plan;
        plan.fill(test::kPlanTitles, {"1", "昨天", "09:00", "旧的", "旧.mp3", "待完", ""});
        test::RecordingSink loadSink;
        EXPECT_EQ(loadDayPlan(fx.folder(), kDailyDay, kSpring, kWednesday, plan, loadSink) ==
                      LoadResult::Loaded,
                  c.planLoads)
            << allTexts(loadSink);
        EXPECT_EQ(plan.cell(0, 3), c.planLoads ? "上课" : "旧的");
        if (!c.planLoads) {
            EXPECT_FALSE(loadSink.messages.empty()) << "a plan that cannot be read is reported";
        }

        test::RecordingSink saveSink;
        ScheduleDatabase db(fx.folder(), saveSink);
        db.open();
        EXPECT_FALSE(db.replaceRows("zccjtime", 7, {"1", "", "09:00", "新的", "新.mp3", "待完", ""}));
        db.close();
        EXPECT_TRUE(saveSink.saw("数据保存失败!")) << allTexts(saveSink);
        for (const test::RecordingSink* sink : {&readSink, &writeSink, &loadSink, &saveSink})
            EXPECT_FALSE(test::hasLatinLetter(allTexts(*sink))) << allTexts(*sink);

        if (c.fault == Fault::Deleted) {
            EXPECT_FALSE(fs::exists(fx.database())) << "a deleted database is never made anew, empty";
            return;
        }
    }
    EXPECT_EQ(test::readFile(fx.database()), before) << "the file is byte for byte as it was";
    if (c.fault != Fault::Garbage) {
        EXPECT_EQ(fx.rows("select * from zccjtime"), kStoredPlan);
        EXPECT_EQ(fx.rows("select * from lxtime"), (Rows{{"2"}}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DatabaseFault,
    testing::Values(FaultCase{"ReadOnly", Fault::ReadOnly, 2, true, true, "只读"},
                    FaultCase{"LockedByAnotherProcess", Fault::Locked, 1, false, false, "占用"},
                    FaultCase{"Deleted", Fault::Deleted, 1, true, false, "找不到"},
                    FaultCase{"ReplacedByGarbage", Fault::Garbage, 1, false, false, "不是数据库"}),
    [](const testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

TEST(DatabaseLock, AShortLockIsWaitedFor) {
    test::ScheduleFixture fx;
    test::LockingProcess lock(fx.database(), 1000);
    ASSERT_TRUE(lock.locked());
    test::RecordingSink sink;
    EXPECT_TRUE(writeDayType(fx.folder(), 2, sink)) << allTexts(sink);
    EXPECT_TRUE(sink.messages.empty());
    lock.release();
    EXPECT_EQ(fx.rows("select * from lxtime"), (Rows{{"2"}}));
}

TEST(DatabaseFull, ARewriteThatDoesNotFitKeepsTheOldRows) {
    test::ScheduleFixture fx;
    fx.insertPlan("cjtime", kStoredPlan);
    TextList many;
    for (int i = 0; i < 5000; ++i)
        for (const std::string& cell : {std::to_string(i + 1), std::string("星期一"), std::string("08:00"),
                                        std::string("一段很长的事件说明, 让每一行都占不少地方"),
                                        std::string("上课.mp3"), std::string("待完"), std::string("")})
            many.push_back(cell);

    test::RecordingSink sink;
    ScheduleDatabase db(fx.folder(), sink);
    db.open();
    // The file may not grow: the disk is full as far as this connection can tell.
    const auto pages = fx.rows("pragma page_count");
    ASSERT_TRUE(db.execute("pragma max_page_count = " + pages.at(0).at(0)));
    EXPECT_FALSE(db.replaceRows("cjtime", 7, many));
    db.close();

    EXPECT_TRUE(hasText(sink, "磁盘已满")) << allTexts(sink);
    EXPECT_TRUE(sink.saw("数据保存失败!"));
    EXPECT_EQ(fx.rows("pragma integrity_check"), (Rows{{"ok"}}));
    EXPECT_EQ(fx.rows("select * from cjtime"), kStoredPlan);
}

} // namespace
} // namespace halvix
