// The sound checks before the day: what makes an entry's sound missing or unplayable, read by the
// players' own rules.
#include "ringlog/SoundCheck.h"
#include "bell/DayPlan.h"
#include "ringlog/RingLog.h"
#include "store/TextTable.h"
#include "support/RingWords.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

const std::string kWav = std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16) + std::string(32, '\0');
const std::string kMp3Tagged = "ID3\x04" + std::string(60, '\0');
const std::string kMp3Frame = std::string("\xFF\xFB\x90\x64", 4) + std::string(60, '\0');
const std::string kWma = std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9", 10) + std::string(40, '\0');

struct Case {
    const char* sound;
    std::string result; // empty: plays
    const char* reasonPart;
};

TEST(SoundCheck, FilesAndFoldersByThePlayersRules) {
    test::TempFolder program;
    program.write("voic/上课.mp3", kMp3Tagged);
    program.write("voic/frame.mp3", kMp3Frame);
    program.write("voic/下课.wav", kWav);
    program.write("voic/old.wma", kWma);
    program.write("voic/empty.mp3", "");
    program.write("voic/text.mp3", "this is no sound at all");
    program.write("voic/Case.mp3", kMp3Tagged);
    program.write("voic/早操/1.mp3", kMp3Tagged);
    program.write("voic/坏/1.mp3", "no sound");
    program.write("voic/坏/notes.txt", "");
    program.write("voic/空/readme.txt", "not a track");
    std::filesystem::create_directories(program / "voic/dir.mp3");

    const Case cases[] = {
        {"上课.mp3", "", ""},
        {"frame.mp3", "", ""},
        {"下课.wav", "", ""},
        {"old.wma", "", ""},
        {"missing.mp3", test::word(RingResult::Missing), "voic 中没有文件 missing.mp3"},
        {"case.mp3", test::word(RingResult::Missing), "case.mp3"}, // the listing decides, letter for letter
        {"empty.mp3", test::word(RingResult::Unplayable), "空文件"},
        {"text.mp3", test::word(RingResult::Unplayable), "不是可播放的声音文件"},
        {"dir.mp3", test::word(RingResult::Missing), "是文件夹"},
        {"", test::word(RingResult::Missing), "没有指定声音"},
        {"voic/早操", "", ""},
        {"voic\\早操", "", ""},
        {"voic/空", test::word(RingResult::Missing), "中没有可播放的文件"},
        {"voic/坏", test::word(RingResult::Unplayable), "中没有可播放的声音文件"},
        {"voic/没有", test::word(RingResult::Missing), "没有文件夹 voic/没有"},
    };
    for (const Case& c : cases) {
        const auto problem = checkSound(program.path(), c.sound);
        if (std::string(c.result).empty()) {
            EXPECT_FALSE(problem) << c.sound << ": " << problem->reason;
            continue;
        }
        ASSERT_TRUE(problem) << c.sound;
        EXPECT_EQ(problem->result, c.result) << c.sound;
        EXPECT_NE(problem->reason.find(c.reasonPart), std::string::npos)
            << c.sound << ": " << problem->reason;
    }
}

TEST(SoundCheck, PlanChecksPendingEntriesOnlyAndSummarises) {
    test::TempFolder program;
    program.write("voic/上课.mp3", kMp3Tagged);
    TextTable plan;
    plan.fill({"序号", "日期", "时间", "事件", "声音", "状态", "备注"},
              {"1",        "",     "07:00",    "早",    "gone.mp3", "完成",  "", // rang already: not checked
               "2",        "",     "08:00",    "上课",  "上课.mp3", "待完",  "",     "3",       "",
               "09:00",    "缺",   "gone.mp3", "待完",  "",         "4",     "",     "10:00",   "缺",
               "gone.mp3", "待完", "",         "5",     "",         "11:00", "坏",   "voic/无", "待完",
               "",         "6",    "",         "12:00", "坏",       "x.wav", "待完", ""});
    const auto problems = checkPlanSounds(program.path(), DayPlan::fromTable(plan));
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0].time, "09:00");
    EXPECT_EQ(problems[3].time, "12:00");
    EXPECT_EQ(problemCountText(problems.size()), "4 个铃声有问题");
    EXPECT_EQ(problemSummary(problems, 2), "09:00 gone.mp3: voic 中没有文件 gone.mp3\n"
                                           "10:00 gone.mp3: voic 中没有文件 gone.mp3\n……等 4 个");
}

TEST(SoundCheck, VoicSoundsListsFilesThenFoldersByName) {
    test::TempFolder program;
    program.write("voic/b.mp3", kMp3Tagged);
    program.write("voic/a.wav", kWav);
    program.write("voic/noextension", "");
    program.write("voic/早操/1.mp3", kMp3Tagged);
    EXPECT_EQ(voicSounds(program.path()), (std::vector<std::string>{"a.wav", "b.mp3", "voic/早操"}));
    EXPECT_EQ(voicSounds(program / "nowhere"), std::vector<std::string>{});
}

} // namespace
} // namespace halvix
