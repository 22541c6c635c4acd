// The calendar in the database and in CSV files: what is stored comes back, bad rows and lines are
// named and change nothing.
#include "calendar/CalendarStore.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvix {
namespace {

using Rows = std::vector<std::vector<std::string>>;

CalendarEntry entry(const char* start, const char* end, CalendarType type, const char* note,
                    int weekday = 0) {
    return {*readDateText(start), *readDateText(end), type, weekday, note};
}

const std::vector<CalendarEntry> kEntries = {
    entry("2024-10-01", "2024-10-07", CalendarType::Silent, "国庆节"),
    entry("2024-09-29", "2024-09-29", CalendarType::MakeUp, "补国庆", 1),
    entry("2024-02-29", "2024-02-29", CalendarType::Exam, "闰日, 两个逗号,"),
    entry("2024-09-01", "2025-01-31", CalendarType::Autumn, ""),
};

const Rows kStoredRows = {{"2024-10-01", "2024-10-07", "停铃", "", "国庆节"},
                          {"2024-09-29", "2024-09-29", "调休", "1", "补国庆"},
                          {"2024-02-29", "2024-02-29", "考试", "", "闰日, 两个逗号,"},
                          {"2024-09-01", "2025-01-31", "秋季", "", ""}};

TEST(CalendarStore, AnOlderDatabaseGetsTheTableAndSavedEntriesComeBackInOrder) {
    test::ScheduleFixture fx;
    test::RecordingSink sink;
    EXPECT_TRUE(loadCalendar(fx.folder(), sink).empty());
    EXPECT_EQ(fx.rows("select count(*) from calendar"), (Rows{{"0"}})) << "the table was created";

    ASSERT_TRUE(saveCalendar(fx.folder(), kEntries, sink));
    EXPECT_EQ(fx.rows("select * from calendar"), kStoredRows);
    EXPECT_EQ(loadCalendar(fx.folder(), sink), kEntries);

    // Saving nothing empties the table; a stored row that no longer reads is left out and named.
    ASSERT_TRUE(saveCalendar(fx.folder(), {}, sink));
    EXPECT_TRUE(fx.rows("select * from calendar").empty());
    fx.run("insert into calendar values ('2024-05-01','2024-05-05','停铃','','劳动节');"
           "insert into calendar values ('2023-02-29','2023-02-29','停铃','','');");
    EXPECT_EQ(loadCalendar(fx.folder(), sink).size(), 1u);
    EXPECT_TRUE(sink.saw("校历第2行无效, 已忽略: 开始日期无效: \"2023-02-29\""))
        << testing::PrintToString(sink.texts());
    EXPECT_TRUE(sink.messages.size() == 1u);
}

TEST(CalendarStore, ABadRowIsNamedAndNothingIsSaved) {
    const struct {
        CalendarEntry bad;
        std::string message;
    } cases[] = {
        {{{2024, 10, 8}, {2024, 10, 7}, CalendarType::Silent, 0, ""}, "第3行: 结束日期早于开始日期"},
        {{{2023, 2, 29}, {2023, 3, 1}, CalendarType::Exam, 0, ""}, "第3行: 开始日期无效: 2023-02-29"},
        {{{1900, 2, 28}, {1900, 2, 29}, CalendarType::Exam, 0, ""}, "第3行: 结束日期无效: 1900-02-29"},
        {{{2024, 4, 31}, {2024, 5, 1}, CalendarType::Spring, 0, ""}, "第3行: 开始日期无效: 2024-04-31"},
        {{{2024, 4, 6}, {2024, 4, 6}, CalendarType::MakeUp, 0, ""}, "第3行: 调休的参数应为星期几 (1 到 7)"},
        {{{2024, 4, 6}, {2024, 4, 6}, CalendarType::MakeUp, 8, ""}, "第3行: 调休的参数应为星期几 (1 到 7)"},
    };
    test::ScheduleFixture fx;
    test::RecordingSink sink;
    ASSERT_TRUE(saveCalendar(fx.folder(), kEntries, sink));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        sink.clear();
        std::vector<CalendarEntry> entries = {kEntries[0], kEntries[1], c.bad, kEntries[3]};
        EXPECT_FALSE(saveCalendar(fx.folder(), entries, sink));
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].text, c.message + "\n校历未保存。");
        EXPECT_EQ(fx.rows("select * from calendar"), kStoredRows);
    }
    // The last day of February in leap years only, by the full rule.
    for (const char* real : {"2024-02-29", "2000-02-29", "2024/2/29", " 2025-12-31 "})
        EXPECT_TRUE(readDateText(real)) << real;
    for (const char* unreal : {"2100-02-29", "2023-02-29", "2024-13-01", "2024-00-10", "2024-01-32",
                               "24-01-01", "2024-1-1x", "2024-01/01", ""})
        EXPECT_FALSE(readDateText(unreal)) << unreal;
}

TEST(CalendarStore, CsvExportsInCodePage936AndImportsEitherEncodingNamingABadLine) {
    test::ScheduleFixture fx;
    const auto file = fx.folder() / "校历.csv";
    ASSERT_TRUE(writeCalendarCsv(file, {kEntries[0]}));
    EXPECT_EQ(test::readFile(file), "\xBF\xAA\xCA\xBC\xC8\xD5\xC6\xDA,\xBD\xE1\xCA\xF8\xC8\xD5\xC6\xDA,"
                                    "\xC0\xE0\xD0\xCD,\xB2\xCE\xCA\xFD,\xB1\xB8\xD7\xA2,\r\n"
                                    "2024-10-01,2024-10-07,\xCD\xA3\xC1\xE5,,\xB9\xFA\xC7\xEC\xBD\xDA,\r\n");
    std::vector<CalendarEntry> read;
    std::string error;
    ASSERT_TRUE(writeCalendarCsv(file, kEntries));
    ASSERT_TRUE(readCalendarCsv(file, read, error)) << error;
    EXPECT_EQ(read, kEntries) << "notes keep their commas";

    // UTF-8 as another program writes it: no title line, spreadsheet dates, no final commas, blank lines.
    fx.temp().write("utf8.csv", "2024/10/1,2024/10/7,停铃,,国庆节\n\n2024-09-29,2024-09-29, 调休 , 1 \n");
    ASSERT_TRUE(readCalendarCsv(fx.folder() / "utf8.csv", read, error)) << error;
    EXPECT_EQ(read, (std::vector<CalendarEntry>{
                        kEntries[0], entry("2024-09-29", "2024-09-29", CalendarType::MakeUp, "", 1)}));

    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"开始日期,结束日期,类型,参数,备注,\n2024-10-01,2024-10-07,停铃,,,\n2024-10-09,2024-10-08,考试,,,\n",
         "第3行: 结束日期早于开始日期"},
        {"2024-10-01,2024-10-07,放假,,\n",
         "第1行: 未知的类型 \"放假\" (应为 停铃、调休、考试、日常、春季 或 秋季)"},
        {"开始日期,结束日期,类型,参数,备注\n\n2024-10-01,2024-10-07\n",
         "第3行: 应为 开始日期,结束日期,类型,参数,备注"},
        // a first line that is not the titles is an entry, checked like every other
        {"标题\n2024-10-01,2024-10-07,停铃,,\n", "第1行: 应为 开始日期,结束日期,类型,参数,备注"},
        {"2024.10.01,2024-10-07,停铃,,\n2024-10-01,2024-10-07,停铃,,\n",
         "第1行: 开始日期无效: \"2024.10.01\""},
        {"开始日期 , 结束日期,类型,参数,备注,\n2024-10-12,2024-10-12,调休,星期一,\n",
         "第2行: 调休的参数应为星期几 (1 到 7), 不是 \"星期一\""},
        {"开始日期,结束日期,类型,参数,备注\n2024-10-12,2023-02-29,日常,,\n",
         "第2行: 结束日期无效: \"2023-02-29\""},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.text);
        fx.temp().write("bad.csv", c.text);
        read = kEntries;
        EXPECT_FALSE(readCalendarCsv(fx.folder() / "bad.csv", read, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(read, kEntries);
    }
    EXPECT_FALSE(readCalendarCsv(fx.folder() / "none.csv", read, error));
    EXPECT_EQ(error, "无法读取文件");
}

} // namespace
} // namespace halvix
