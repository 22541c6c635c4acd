#include "exam/ExamPlan.h"

#include "exam/ExamSettings.h"
#include "store/ScheduleDatabase.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <utility>

namespace halvix {
namespace {

using test::RecordingSink;
using test::ScheduleFixture;

ExamSettings settings(int l7, int l8, int l9, int i1 = 3, int i2 = 2, int i3 = 3, int i4 = 5,
                      int countdown = 15) {
    return {l7, l8, l9, i1, i2, i3, i4, countdown};
}

ExamSubject subject(std::string_view name, int month, int day, int startHour, int startMinute, int endHour,
                    int endMinute) {
    return {std::string(name), month, day, startHour, startMinute, endHour, endMinute};
}

// The nine subjects without an exam, in generation order.
std::vector<ExamSubject> emptyTimetable() {
    std::vector<ExamSubject> subjects;
    for (auto name : kSubjectNames)
        subjects.push_back(subject(name, 6, 18, 0, 0, 0, 0));
    return subjects;
}

ExamSubject& named(std::vector<ExamSubject>& subjects, std::string_view name) {
    for (auto& s : subjects)
        if (s.name == name)
            return s;
    throw std::logic_error("no such subject");
}

// (time, sound) of every row, the part of a row that decides what rings when.
std::vector<std::pair<std::string, std::string>> schedule(const std::vector<PlanRow>& rows) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& r : rows)
        out.emplace_back(r.time, r.sound);
    return out;
}

TEST(ExamPlan, EnglishWithListeningTestsRowByRow) {
    auto subjects = emptyTimetable();
    named(subjects, "英语") = subject("英语", 6, 18, 9, 0, 11, 0);
    const auto rows = generateExamPlan(subjects, settings(10, 1, 20), false);

    const std::vector<PlanRow> expected = {
        {"1", "6月18日", "08:47", "组织进入考场", "h01组织进入考场.mp3", "待完", "英语"},
        {"2", "6月18日", "08:55", "分发试卷", "h04分发试卷.mp3", "待完", "英语"},
        {"3", "6月18日", "09:00", "开始答题", "h05开始答题.mp3", "待完", "英语"},
        {"4", "6月18日", "09:02", "初一听力", "h08初一听力.mp3", "待完", "英语"},
        {"5", "6月18日", "09:12", "初三听力", "h10初三听力.mp3", "待完", "英语"},
        {"6", "6月18日", "10:45", "倒计时", "h06倒计时.mp3", "待完", "英语"},
        {"7", "6月18日", "11:00", "考试结束", "h07考试结束.mp3", "待完", "英语"},
    };
    EXPECT_EQ(rows, expected);
}

TEST(ExamPlan, ListeningTestsFollowOneAnotherAndSkipGradesWithoutOne) {
    struct Case {
        int l7, l8, l9;
        std::vector<std::pair<std::string, std::string>> listening;
    } cases[] = {
        {1, 1, 1, {}},
        {5, 1, 1, {{"09:02", "h08初一听力.mp3"}}},
        {1, 5, 1, {{"09:02", "h09初二听力.mp3"}}},
        {1, 1, 15, {{"09:02", "h10初三听力.mp3"}}},
        {1, 10, 10, {{"09:02", "h09初二听力.mp3"}, {"09:12", "h10初三听力.mp3"}}},
        {5, 6, 1, {{"09:02", "h08初一听力.mp3"}, {"09:07", "h09初二听力.mp3"}}},
        {20,
         20,
         20,
         {{"09:02", "h08初一听力.mp3"}, {"09:22", "h09初二听力.mp3"}, {"09:42", "h10初三听力.mp3"}}},
        {2, 2, 2, {{"09:02", "h08初一听力.mp3"}, {"09:04", "h09初二听力.mp3"}, {"09:06", "h10初三听力.mp3"}}},
    };
    for (const auto& c : cases) {
        auto subjects = emptyTimetable();
        named(subjects, "英语") = subject("英语", 6, 18, 9, 0, 11, 0);
        auto expected = decltype(c.listening){
            {"08:47", "h01组织进入考场.mp3"}, {"08:55", "h04分发试卷.mp3"}, {"09:00", "h05开始答题.mp3"}};
        expected.insert(expected.end(), c.listening.begin(), c.listening.end());
        expected.push_back({"10:45", "h06倒计时.mp3"});
        expected.push_back({"11:00", "h07考试结束.mp3"});
        EXPECT_EQ(schedule(generateExamPlan(subjects, settings(c.l7, c.l8, c.l9), false)), expected)
            << c.l7 << ", " << c.l8 << ", " << c.l9;
    }
}

TEST(ExamPlan, OnlyEnglishHasListeningTests) {
    auto subjects = emptyTimetable();
    for (auto& s : subjects)
        s.startHour = 9, s.endHour = 11;
    const auto rows = generateExamPlan(subjects, settings(10, 10, 10), false);
    int procedureRows = 0;
    for (const auto& r : rows) {
        const bool listening =
            r.sound.starts_with("h08") || r.sound.starts_with("h09") || r.sound.starts_with("h10");
        if (listening)
            EXPECT_EQ(r.extra, "英语") << r.sound;
        else
            ++procedureRows;
    }
    EXPECT_EQ(procedureRows, 9 * 5);
    EXPECT_EQ(rows.size(), 9u * 5 + 3);
}

TEST(ExamPlan, StartInTheFirstHourMeansNoExam) {
    struct Case {
        int hour, minute;
        std::size_t rows;
    } cases[] = {{0, 0, 0}, {0, 30, 0}, {0, 59, 0}, {1, 0, 5}};
    for (const auto& c : cases) {
        auto subjects = emptyTimetable();
        named(subjects, "数学") = subject("数学", 6, 7, c.hour, c.minute, 3, 0);
        EXPECT_EQ(generateExamPlan(subjects, settings(10, 10, 10), false).size(), c.rows)
            << c.hour << ':' << c.minute;
    }
}

TEST(ExamPlan, NumbersRunAcrossSubjectsAndDatesInSubjectOrder) {
    auto subjects = emptyTimetable();
    named(subjects, "生物") = subject("生物", 12, 31, 8, 0, 9, 30);
    named(subjects, "语文") = subject("语文", 6, 7, 14, 0, 16, 0);
    named(subjects, "英语") = subject("英语", 6, 8, 9, 0, 11, 0);
    const auto rows = generateExamPlan(subjects, settings(10, 1, 1), false);

    ASSERT_EQ(rows.size(), 5u + 6u + 5u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].number, std::to_string(i + 1));
    EXPECT_EQ(rows[0].extra, "语文");
    EXPECT_EQ(rows[0].date, "6月7日");
    EXPECT_EQ(rows[5].extra, "英语");
    EXPECT_EQ(rows[5].date, "6月8日");
    EXPECT_EQ(rows[11].extra, "生物");
    EXPECT_EQ(rows[11].date, "12月31日");
    // Subject order, not time order: 生物 at 07:47 comes after 语文 in the afternoon.
    EXPECT_EQ(rows[11].time, "07:47");
}

TEST(ExamPlan, TimeArithmeticBorrowsAndCarriesOnce) {
    struct Case {
        bool before;
        int hour, minute, n;
        const char* text;
    } cases[] = {
        {true, 8, 5, 5, "08:00"},    {true, 8, 4, 5, "07:59"},    {true, 8, 0, 60, "07:00"},
        {true, 8, 59, 60, "07:59"},  {true, 10, 10, 20, "09:50"}, {true, 1, 0, 60, "00:00"},
        {true, 8, 0, 0, "08:00"},    {false, 8, 57, 2, "08:59"},  {false, 8, 58, 2, "09:00"},
        {false, 8, 59, 59, "09:58"}, {false, 8, 0, 59, "08:59"},  {false, 23, 30, 42, "24:12"},
    };
    for (const auto& c : cases) {
        const auto text = ClockTime::of(c.hour, c.minute).plus(c.before ? -c.n : c.n).text();
        EXPECT_EQ(text, c.text) << (c.before ? "before " : "after ") << c.hour << ':' << c.minute << ' '
                                << c.n;
    }
}

// With the answer-card steps switched on; the worked example above has them off.
TEST(ExamPlan, LongestIntervalsAndCountdownStayWithinOneHour) {
    auto subjects = emptyTimetable();
    named(subjects, "物理") = subject("物理", 6, 20, 8, 5, 10, 10);
    const auto rows = generateExamPlan(subjects, settings(10, 10, 10, 15, 15, 15, 15, 20), true);
    const decltype(schedule(rows)) expected = {
        {"07:05", "h01组织进入考场.mp3"}, {"07:20", "h02发机读卡.mp3"}, {"07:35", "h03开启试卷袋.mp3"},
        {"07:50", "h04分发试卷.mp3"},     {"08:05", "h05开始答题.mp3"}, {"09:50", "h06倒计时.mp3"},
        {"10:10", "h07考试结束.mp3"},
    };
    EXPECT_EQ(schedule(rows), expected);
}

TEST(ExamPlan, TimesOutsideTheDayAreLeftOutAndNumbersStayUnbroken) {
    auto subjects = emptyTimetable();
    named(subjects, "英语") = subject("英语", 6, 18, 23, 20, 23, 58);
    named(subjects, "地理") = subject("地理", 6, 19, 1, 0, 0, 10);
    const auto rows = generateExamPlan(subjects, settings(20, 20, 20), false);
    const decltype(schedule(rows)) expected = {
        {"23:07", "h01组织进入考场.mp3"},
        {"23:15", "h04分发试卷.mp3"},
        {"23:20", "h05开始答题.mp3"},
        {"23:22", "h08初一听力.mp3"},
        {"23:42", "h09初二听力.mp3"}, // h10 at 24:02 cannot ring
        {"23:43", "h06倒计时.mp3"},
        {"23:58", "h07考试结束.mp3"},
        {"00:47", "h01组织进入考场.mp3"},
        {"00:55", "h04分发试卷.mp3"},
        {"01:00", "h05开始答题.mp3"},
        // the countdown 15 minutes before 00:10 would be the day before
        {"00:10", "h07考试结束.mp3"},
    };
    EXPECT_EQ(schedule(rows), expected);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].number, std::to_string(i + 1));
}

TEST(ExamPlan, WritingReplacesEveryEarlierRowButNeverEmptiesTheTable) {
    ScheduleFixture fx;
    fx.insertPlan("sjtime", {{"1", "5月1日", "08:00", "旧", "old.mp3", "待完", "语文"},
                             {"2", "5月2日", "08:00", "旧", "old.mp3", "待完", "数学"}});
    RecordingSink sink;
    {
        ScheduleDatabase db(fx.folder(), sink);
        db.open();
        EXPECT_FALSE(writeExamPlan(db, generateExamPlan(emptyTimetable(), settings(10, 10, 10), false)));
        db.close();
    }
    EXPECT_EQ(fx.rows("select * from sjtime").size(), 2u);

    auto subjects = emptyTimetable();
    named(subjects, "语文") = subject("语文", 6, 7, 8, 0, 10, 0);
    const auto rows = generateExamPlan(subjects, settings(10, 10, 10), false);
    {
        ScheduleDatabase db(fx.folder(), sink);
        db.open();
        EXPECT_TRUE(writeExamPlan(db, rows));
        db.close();
    }
    const auto stored = fx.rows("select * from sjtime");
    ASSERT_EQ(stored.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(stored[i], rows[i].cells());
    EXPECT_TRUE(sink.messages.empty());
}

} // namespace
} // namespace halvix
