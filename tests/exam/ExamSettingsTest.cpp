#include "exam/ExamSettings.h"

#include "store/ScheduleDatabase.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

using test::RecordingSink;
using test::ScheduleFixture;
using test::TempFolder;

const TextList kDefaults = {"10", "10", "10", "3", "2", "3", "5", "15"};
const ExamSettings kStored = {12, 1, 20, 4, 5, 6, 7, 18};

TEST(ExamSettings, ReadsTheFirstRowAndFillsGapsWithDefaults) {
    struct Case {
        const char* name;
        const char* sql; // after emptying settable
        TextList texts;
    } cases[] = {
        {"one row",
         "insert into settable values ('12','1','20','4','5','6','7','18');",
         {"12", "1", "20", "4", "5", "6", "7", "18"}},
        {"only the first row counts",
         "insert into settable values ('12','1','20','4','5','6','7','18');"
         "insert into settable values ('9','9','9','9','9','9','9','9');",
         {"12", "1", "20", "4", "5", "6", "7", "18"}},
        {"empty table", "", kDefaults},
        {"narrow table, two rows",
         "drop table settable; create table settable (a TEXT, b TEXT, c TEXT);"
         "insert into settable values ('7','8','9'); insert into settable values ('4','4','4');",
         {"7", "8", "9", "3", "2", "3", "5", "15"}},
        {"no table", "drop table settable;", kDefaults},
    };
    for (const auto& c : cases) {
        ScheduleFixture fx;
        fx.run(std::string("delete from settable;") + c.sql);
        RecordingSink sink;
        EXPECT_EQ(readSettings(fx.folder(), sink), c.texts) << c.name;
    }
}

TEST(ExamSettings, MissingDatabaseGivesDefaultsWithoutCreatingIt) {
    TempFolder folder;
    RecordingSink sink;
    EXPECT_EQ(readSettings(folder.path(), sink), kDefaults);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(folder / "jbase.mdb"));
}

TEST(ExamSettings, TextsBecomeNumbersByTheProgramRule) {
    EXPECT_EQ(settingsFromTexts({" 12abc", "-3", "", "x", "5", "6", "7", "8"}),
              (ExamSettings{12, -3, 0, 0, 5, 6, 7, 8}));
    EXPECT_EQ(settingsFromTexts({"1", "2"}), (ExamSettings{1, 2, 10, 3, 2, 3, 5, 15}));
    EXPECT_EQ(settingsToTexts(kStored), (TextList{"12", "1", "20", "4", "5", "6", "7", "18"}));
}

TEST(ExamSettings, FieldReadingStopsAtTheFirstRefusedField) {
    const ExamSettings before = {10, 10, 10, 3, 2, 3, 5, 15};
    const char* const notInteger = "Please enter an integer.";
    const char* const over15 = "Please enter an integer between 1 and 15.";
    const char* const over20 = "Please enter an integer between 1 and 20.";
    struct Case {
        std::array<std::string, 8> texts;
        int failed;
        const char* message;
        ExamSettings after;
    } cases[] = {
        {{"12", "1", "20", "4", "5", "6", "7", "18"}, -1, "", kStored},
        {{" 12 ", "+1", "20", "4", "5", "6", "7", "18"}, -1, "", kStored},
        {{"12", "1", "20", "abc", "5", "6", "7", "18"}, 3, notInteger, {12, 1, 20, 3, 2, 3, 5, 15}},
        {{"12", "1", "20", "4", "", "6", "7", "18"}, 4, notInteger, {12, 1, 20, 4, 2, 3, 5, 15}},
        {{"12abc", "1", "20", "4", "5", "6", "7", "18"}, 0, notInteger, before},
        {{"1.5", "1", "20", "4", "5", "6", "7", "18"}, 0, notInteger, before},
        {{"99999999999", "1", "20", "4", "5", "6", "7", "18"}, 0, notInteger, before},
        {{"12", "1", "20", "0", "5", "6", "7", "18"}, 3, over15, {12, 1, 20, 0, 2, 3, 5, 15}},
        {{"12", "21", "20", "4", "5", "6", "7", "18"}, 1, over20, {12, 21, 10, 3, 2, 3, 5, 15}},
        {{"12", "1", "20", "4", "5", "6", "7", "25"}, 7, over20, {12, 1, 20, 4, 5, 6, 7, 25}},
        {{"12", "1", "20", "4", "5", "6", "-7", "18"}, 6, over15, {12, 1, 20, 4, 5, 6, -7, 15}},
    };
    for (const auto& c : cases) {
        const FieldReading reading = readSettingFields(c.texts, before);
        EXPECT_EQ(reading.failedField, c.failed) << c.texts[0] << ' ' << c.texts[3];
        EXPECT_EQ(reading.message, c.message) << c.failed;
        EXPECT_EQ(reading.settings, c.after) << c.failed;
    }
}

TEST(ExamSettings, RepairPutsIntervalsAndCountdownBackSilently) {
    struct Case {
        ExamSettings in;
        ExamSettings out;
    } cases[] = {
        {{10, 10, 10, 0, 0, 0, 0, 0}, {10, 10, 10, 3, 2, 3, 5, 15}},
        {{10, 10, 10, 16, 16, 16, 16, 21}, {10, 10, 10, 3, 2, 3, 5, 15}},
        {{10, 10, 10, 1, 15, 1, 15, 25}, {10, 10, 10, 1, 15, 1, 15, 15}},
        {{1, 1, 1, 15, 15, 15, 15, 20}, {1, 1, 1, 15, 15, 15, 15, 20}},
        {{20, 20, 20, -4, 7, 99, 5, 1}, {20, 20, 20, 3, 7, 3, 5, 1}},
    };
    for (const auto& c : cases) {
        RecordingSink sink;
        ExamSettings s = c.in;
        EXPECT_TRUE(repairSettings(s, sink));
        EXPECT_EQ(s, c.out);
        EXPECT_TRUE(sink.messages.empty());
    }
}

TEST(ExamSettings, ListeningOutsideItsRangeBlocksTheSave) {
    for (const ExamSettings& bad :
         {ExamSettings{21, 10, 10, 3, 2, 3, 5, 15}, ExamSettings{10, 0, 10, 3, 2, 3, 5, 15},
          ExamSettings{10, 10, -1, 3, 2, 3, 5, 15}}) {
        RecordingSink sink;
        ExamSettings s = bad;
        EXPECT_FALSE(repairSettings(s, sink));
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].text, "听力时长设置错误。");
        EXPECT_EQ(sink.messages[0].caption, "提示");
        EXPECT_EQ(sink.messages[0].icon, MessageIcon::Warning);
    }
}

TEST(ExamSettings, NoListeningSwitchAndItsUndoFromTheStore) {
    const ExamSettings shown = {12, 13, 14, 4, 5, 6, 7, 18};
    EXPECT_EQ(withoutListening(shown), (ExamSettings{1, 1, 1, 4, 5, 6, 7, 18}));
    EXPECT_EQ(withStoredListening(withoutListening(shown), {"9", "8", "7", "1", "1", "1", "1", "1"}),
              (ExamSettings{9, 8, 7, 4, 5, 6, 7, 18}));
}

TEST(ExamSettings, SavedSettingsReplaceTheTableAndReadBack) {
    ScheduleFixture fx;
    fx.run("insert into settable values ('1','1','1','1','1','1','1','1');");
    RecordingSink sink;
    {
        ScheduleDatabase db(fx.folder(), sink);
        db.open();
        EXPECT_TRUE(saveSettings(db, kStored));
        db.close();
    }
    EXPECT_EQ(fx.rows("select * from settable"),
              (std::vector<std::vector<std::string>>{{"12", "1", "20", "4", "5", "6", "7", "18"}}));
    EXPECT_EQ(settingsFromTexts(readSettings(fx.folder(), sink)), kStored);
    EXPECT_TRUE(sink.messages.empty());
}

} // namespace
} // namespace halvix
