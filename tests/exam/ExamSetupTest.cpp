#include "exam/ExamSetup.h"

#include "support/DatabaseFaults.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <memory>

namespace halvix {
namespace {

using test::readFile;
using test::RecordingSink;
using Rows = std::vector<std::vector<std::string>>;

const Rows kOldPlan = {{"1", "5月1日", "08:00", "旧", "old.mp3", "待完", "语文"}};
const Rows kOldSettings = {{"10", "10", "10", "3", "2", "3", "5", "15"}};

ExamSetup someSetup() {
    ExamSetup setup;
    setup.settings = {12, 12, 12, 3, 2, 3, 5, 15};
    setup.gridDates.fill({2025, 6, 7});
    for (std::size_t i = 0; i < setup.times.size(); ++i)
        setup.times[i] = {8 + static_cast<int>(i / 2), i % 2 ? 50 : 0};
    setup.weekdayValues = {11, 0, 0, 0, 25, 0, 0};
    setup.examKind = 2;
    return setup;
}

bool anyContains(const RecordingSink& sink, const std::string& part) {
    for (const auto& text : sink.texts())
        if (text.find(part) != std::string::npos)
            return true;
    return false;
}

std::string allTexts(const RecordingSink& sink) {
    std::string out;
    for (const auto& text : sink.texts())
        out += "[" + text + "] ";
    return out;
}

// The settings dialog stays open (false) unless the database took the plan and the settings; the
// weekday file and the timetable file are written either way, and nothing stored is lost.
TEST(ExamSetup, ClosesOnlyWhenTheDatabaseTookThePlanAndTheSettings) {
    using enum test::DatabaseFault;
    const struct Case {
        test::DatabaseFault fault;
        const char* reason; // part of the message that says why
    } cases[] = {
        {None, nullptr},
        {Missing, "找不到数据库: 文件夹 "},
        {Garbage, "不是数据库文件"},
        {ReadOnly, "只读"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason ? c.reason : "no fault");
        test::ScheduleFixture folder;
        folder.insertPlan("sjtime", kOldPlan);
        auto fault = std::make_unique<test::FaultyDatabase>(folder.database(), c.fault);
        if (!fault->holds())
            continue; // the superuser writes anyway on this file system
        RecordingSink sink;
        ExamSetup setup = someSetup();
        const bool saved = saveExamSetup(folder.folder(), setup, sink);

        EXPECT_EQ(saved, c.fault == None) << allTexts(sink);
        if (c.fault == None) {
            EXPECT_TRUE(sink.messages.empty()) << allTexts(sink);
            EXPECT_EQ(folder.rows("select * from settable"),
                      (Rows{{"12", "12", "12", "3", "2", "3", "5", "15"}}));
            EXPECT_NE(folder.rows("select * from sjtime"), kOldPlan);
        } else {
            EXPECT_TRUE(anyContains(sink, c.reason)) << allTexts(sink);
            EXPECT_TRUE(sink.saw("数据保存失败!")) << allTexts(sink);
            EXPECT_EQ(sink.messages.back().icon, MessageIcon::Critical);
        }
        if (c.fault == ReadOnly) {
            fault.reset();
            EXPECT_EQ(folder.rows("select * from sjtime"), kOldPlan);
            EXPECT_EQ(folder.rows("select * from settable"), kOldSettings);
        }
        if (c.fault == Garbage) {
            EXPECT_EQ(readFile(folder.database()), test::notADatabase());
        }
        EXPECT_EQ(readFile(folder.folder() / "xqno.txt"), "1125");
        EXPECT_TRUE(readFile(folder.folder() / "tovk/cj1htime.txt").starts_with("800\n850\n900\n"));
    }
}

} // namespace
} // namespace halvix
