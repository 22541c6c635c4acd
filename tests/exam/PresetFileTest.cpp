#include "exam/PresetFile.h"

#include "support/RecordingSink.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>

namespace halvix {
namespace {

using test::readFile;
using test::RecordingSink;
using test::TempFolder;

PresetTimes timesFrom(const std::vector<int>& values) {
    PresetTimes times{};
    for (std::size_t i = 0; i < values.size(); ++i)
        times[i] = {values[i] / 100, values[i] % 100};
    return times;
}

// A recognisable timetable per kind, so that a mixed-up file shows.
PresetTimes kindTimes(int kind) {
    PresetTimes times{};
    for (std::size_t i = 0; i < times.size(); ++i)
        times[i] = {static_cast<int>(i) + kind, kind * 7 + static_cast<int>(i)};
    return times;
}

TEST(PresetFile, EveryKindRoundTripsThroughItsOwnFile) {
    TempFolder folder;
    RecordingSink sink;
    for (int kind = 1; kind <= kExamKindCount; ++kind)
        ASSERT_TRUE(savePreset(folder.path(), kind, kindTimes(kind), sink));

    const std::map<int, std::string> files = {{1, "cbhtime.txt"},   {2, "cj1htime.txt"},
                                              {3, "cj2htime.txt"},  {4, "cjqmhtime.txt"},
                                              {5, "qjbqhtime.txt"}, {6, "qjqmtime.txt"}};
    for (const auto& [kind, file] : files) {
        EXPECT_TRUE(std::filesystem::exists(folder / "tovk" / file)) << file;
        PresetTimes loaded{};
        EXPECT_TRUE(loadPreset(folder.path(), kind, loaded, sink));
        EXPECT_EQ(loaded, kindTimes(kind)) << file;
    }
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "tovk"), {}), 6);
}

TEST(PresetFile, WritesOneValuePerLineAsHourTimesHundredPlusMinute) {
    TempFolder folder;
    RecordingSink sink;
    const std::vector<int> values = {800, 1000, 0, 0, 905, 1130, 1400, 1559, 0,
                                     0,   0,    0, 0, 0,   0,    0,    2359, 100};
    ASSERT_TRUE(savePreset(folder.path(), 4, timesFrom(values), sink));
    std::string expected;
    for (int v : values)
        expected += std::to_string(v) + "\n";
    EXPECT_EQ(readFile(folder / "tovk/cjqmhtime.txt"), expected);
}

TEST(PresetFile, ReadsValuesSeparatedByAnyWhiteSpace) {
    const std::vector<int> values = {800, 1000, 0, 0, 905, 1130, 1400, 1559, 0,
                                     0,   0,    0, 0, 0,   0,    0,    2359, 100};
    const char* layouts[] = {
        "800 1000 0 0 905 1130 1400 1559 0 0 0 0 0 0 0 0 2359 100",
        "800\r\n1000\r\n0\r\n0\r\n905\r\n1130\r\n1400\r\n1559\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n2359"
        "\r\n100\r\n",
        "\xEF\xBB\xBF  800\t1000\n\n0 0\n905 1130 1400 1559\n0 0 0 0 0 0 0 0\n2359 100",
    };
    for (const char* layout : layouts) {
        TempFolder folder;
        folder.write("tovk/cbhtime.txt", layout);
        RecordingSink sink;
        PresetTimes loaded = kindTimes(3);
        EXPECT_TRUE(loadPreset(folder.path(), 1, loaded, sink)) << layout;
        EXPECT_EQ(loaded, timesFrom(values)) << layout;
        EXPECT_EQ(loaded[4], (PresetTime{9, 5}));
        EXPECT_TRUE(sink.messages.empty());
    }
}

TEST(PresetFile, UnreadableFileLeavesTheTimesAndSaysWhich) {
    for (const char* made : {"", "tovk/", "tovk/qjqmtime.txt/"}) {
        TempFolder folder;
        if (*made)
            std::filesystem::create_directories(folder / made);
        RecordingSink sink;
        PresetTimes times = kindTimes(2);
        EXPECT_FALSE(loadPreset(folder.path(), 6, times, sink));
        EXPECT_EQ(times, kindTimes(2));
        ASSERT_EQ(sink.messages.size(), 1u) << made;
        EXPECT_EQ(sink.messages[0].text, "无法读取考试时间文件:qjqmtime.txt");
        EXPECT_EQ(sink.messages[0].caption, "提示");
    }
}

TEST(PresetFile, BadOrMissingValuesBecomeNoExamAndTheRestApply) {
    struct Case {
        const char* content;
        std::vector<int> values;
    } cases[] = {
        {"800 1000 905", {800, 1000, 905}},
        {"", {}},
        {"800 2400 1260 905 -100 abc 8:00 1130 0 0 0 0 0 0 0 0 0 1700",
         {800, 0, 0, 905, 0, 0, 0, 1130, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1700}},
        {"800 1000 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1x", {800, 1000}},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        folder.write("tovk/cj2htime.txt", c.content);
        RecordingSink sink;
        PresetTimes loaded = kindTimes(5);
        EXPECT_FALSE(loadPreset(folder.path(), 3, loaded, sink)) << c.content;
        EXPECT_EQ(loaded, timesFrom(c.values)) << c.content;
        ASSERT_EQ(sink.messages.size(), 1u) << c.content;
        EXPECT_NE(sink.messages[0].text.find("cj2htime.txt"), std::string::npos);
    }
}

TEST(PresetFile, SavingCreatesTheFolderAndTouchesOnlyItsKind) {
    TempFolder folder;
    RecordingSink sink;
    folder.write("tovk/cbhtime.txt", "keep me");
    ASSERT_TRUE(savePreset(folder.path(), 4, kindTimes(4), sink));
    EXPECT_EQ(readFile(folder / "tovk/cbhtime.txt"), "keep me");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "tovk"), {}), 2);

    TempFolder fresh;
    EXPECT_TRUE(savePreset(fresh.path(), 5, kindTimes(5), sink));
    EXPECT_TRUE(std::filesystem::exists(fresh / "tovk/qjbqhtime.txt"));
    EXPECT_TRUE(sink.messages.empty());
}

TEST(PresetFile, FileThatCannotBeWrittenIsReportedAndKept) {
    TempFolder blockedFolder;
    blockedFolder.write("tovk", "a file where the folder belongs");
    TempFolder blockedFile;
    std::filesystem::create_directories(blockedFile / "tovk/cbhtime.txt");
    blockedFile.write("tovk/cbhtime.txt/inside", "x");

    for (const TempFolder* folder : {&blockedFolder, &blockedFile}) {
        RecordingSink sink;
        EXPECT_FALSE(savePreset(folder->path(), 1, kindTimes(1), sink));
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].text, "无法保存考试时间文件:cbhtime.txt");
        EXPECT_EQ(sink.messages[0].caption, "提示");
    }
    EXPECT_EQ(readFile(blockedFolder / "tovk"), "a file where the folder belongs");
    EXPECT_EQ(readFile(blockedFile / "tovk/cbhtime.txt/inside"), "x");
}

} // namespace
} // namespace halvix
