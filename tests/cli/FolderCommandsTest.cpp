// plan, check and log on a program folder: what they print and the exit status; the day's mute.
#include "cli/FolderCommands.h"
#include "calendar/TodayMute.h"
#include "editing/CsvFile.h"
#include "editing/TextCodec.h"
#include "ringlog/RingLog.h"
#include "support/RecordingSink.h"
#include "support/ScheduleFixture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace halvix {
namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome run(const std::filesystem::path& folder, const TextList& words,
            const SoundOutputCheck& soundOutput = {}) {
    std::string error;
    const auto command = parseCommand(words, error);
    EXPECT_TRUE(command) << error;
    std::ostringstream out;
    std::ostringstream err;
    const int status = runFolderCommand(*command, folder, CivilDate{2025, 3, 12}, out, err, soundOutput);
    return {status, out.str(), err.str()};
}

// Spring, daily, school week Monday to Friday; Wednesday 12 March 2025 rings zccjtime.
struct Folder {
    Folder() {
        fx.temp().write("xqno.txt", "1125");
        fx.temp().write("voic/上课.mp3", "ID3 not really sound, but bytes");
        fx.temp().write("voic/空.mp3", "");
        fx.temp().write("voic/操/1.mp3", "ID3 a tag, then the sound");
        fx.temp().write("voic/空文件夹/说明.txt", "no track");
        fx.run("insert into zccjtime values ('1','','08:00','上课','上课.mp3','待完','');"
               "insert into zccjtime values ('2','','07:00','早操','voic/操','待完','');"
               "insert into cjtime values ('1','','08:10','周一上课','上课.mp3','待完','');"
               "insert into kscjtime values ('1','','09:00','考试开始','上课.mp3','待完','');"
               "create table calendar (开始日期 TEXT, 结束日期 TEXT, 类型 TEXT, 参数 TEXT, 备注 TEXT);"
               "insert into calendar values ('2025-10-01','2025-10-07','停铃','','国庆节');"
               "insert into calendar values ('2025-09-28','2025-09-28','调休','1','补国庆');"
               "insert into calendar values ('2025-03-17','2025-03-18','考试','','期中考试');");
    }
    test::ScheduleFixture fx;
};

TEST(FolderCommands, PlanPrintsTheDecisionWithItsReasonsAndTheRowsInOrder) {
    Folder f;
    const struct {
        TextList words;
        std::string out;
    } cases[] = {
        {{"plan"},
         "2025-03-12 星期三: 日常 (默认), 春季 (默认)\n07:00\t早操\tvoic/操\n08:00\t上课\t上课.mp3\n"},
        {{"plan", "2025-10-02"}, "2025-10-02 星期四: 停铃 (国庆节, 第1行 2025-10-01 至 2025-10-07)\n"},
        {{"plan", "2025-09-28"},
         "2025-09-28 星期日: 调休, 按星期一 (补国庆, 第2行 2025-09-28), 日常 (默认), 春季 (默认)\n"
         "08:10\t周一上课\t上课.mp3\n"},
        {{"plan", "2025-03-18"},
         "2025-03-18 星期二: 考试 (期中考试, 第3行 2025-03-17 至 2025-03-18), 春季 "
         "(默认)\n09:00\t考试开始\t上课.mp3\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = run(f.fx.folder(), c.words);
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(FolderCommands, CheckNamesEverySoundThatWouldRingNothing) {
    Folder f;
    Outcome r = run(f.fx.folder(), {"check"});
    EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
    EXPECT_EQ(r.out, "声音检查通过: 2项\n");

    // Each row that would ring nothing, with what check says of it.
    const struct {
        std::string time, title, sound, problem;
    } broken[] = {
        {"09:00", "缺", "丢了.mp3", "缺少声音: voic 中没有文件 丢了.mp3"},
        {"10:00", "空", "空.mp3", "无法播放: voic/空.mp3 是空文件"},
        {"11:00", "无曲", "voic/空文件夹", "缺少声音: 文件夹 voic/空文件夹 中没有可播放的文件"},
        {"12:00", "无声", "", "缺少声音: 没有指定声音"},
        {"13:00", "大小写", "上课.MP3", "缺少声音: voic 中没有文件 上课.MP3"},
    };
    std::string expected;
    int number = 3;
    for (const auto& b : broken) {
        f.fx.run("insert into zccjtime values ('" + std::to_string(number++) + "','','" + b.time + "','" +
                 b.title + "','" + b.sound + "','待完','');");
        expected += b.time + "\t" + b.title + "\t" + b.sound + "\t" + b.problem + "\n";
    }
    r = run(f.fx.folder(), {"check", "2025-03-12"});
    EXPECT_EQ(r.status, kExitProblems);
    EXPECT_EQ(r.out, expected);

    // A silent date rings nothing: nothing to check.
    r = run(f.fx.folder(), {"check", "2025-10-03"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_NE(r.out.find("停铃"), std::string::npos) << r.out;
}

TEST(FolderCommands, CheckSaysWhenNoSoundCanComeOutWhateverThePlan) {
    Folder f;
    const std::string noServer = "无法连接声音服务器 (没有运行的声音服务器)";
    const std::string noOutput = "声音服务器上没有输出设备 (@DEFAULT_SINK@)";
    const struct {
        const char* date; // a school day whose sounds are all there, or a 停铃 date
        std::string output;
        int status;
        std::string out;
    } cases[] = {
        {"2025-03-12", "", kExitOk, "声音检查通过: 2项\n"},
        {"2025-03-12", noServer, kExitProblems, "声音输出: " + noServer + "\n"},
        {"2025-03-12", noOutput, kExitProblems, "声音输出: " + noOutput + "\n"},
        {"2025-10-03", "", kExitOk,
         "2025-10-03 星期五: 停铃 (国庆节, 第1行 2025-10-01 至 2025-10-07): 不响铃, 无需检查\n"},
        {"2025-10-03", noServer, kExitProblems,
         "2025-10-03 星期五: 停铃 (国庆节, 第1行 2025-10-01 至 2025-10-07): 不响铃, 无需检查\n声音输出: " +
             noServer + "\n"},
    };
    for (const auto& c : cases) {
        int asked = 0;
        const Outcome r = run(f.fx.folder(), {"check", c.date}, [&] {
            ++asked;
            return c.output;
        });
        EXPECT_EQ(r.status, c.status) << c.date << " " << c.output;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(asked, 1);
    }
    // A sound missing and no output: both lines.
    f.fx.run("insert into zccjtime values ('3','','09:00','缺','丢了.mp3','待完','');");
    const Outcome both = run(f.fx.folder(), {"check"}, [&] { return noServer; });
    EXPECT_EQ(both.status, kExitProblems);
    EXPECT_EQ(both.out,
              "09:00\t缺\t丢了.mp3\t缺少声音: voic 中没有文件 丢了.mp3\n声音输出: " + noServer + "\n");
    // Only check asks the sound server.
    for (const TextList& words :
         {TextList{"plan"}, TextList{"export", "cjtime", (f.fx.folder() / "x.csv").string()}})
        run(f.fx.folder(), words, [] {
            ADD_FAILURE() << "the sound server asked";
            return std::string();
        });
}

TEST(FolderCommands, AMissingDatabaseOrRingLogIsStatusTwo) {
    test::TempFolder empty;
    for (const TextList& words :
         {TextList{"plan"}, TextList{"check"}, TextList{"log"}, TextList{"export", "cjtime", "x.csv"},
          TextList{"import", "nosuch", "x.csv"}}) {
        const Outcome r = run(empty.path(), words);
        EXPECT_EQ(r.status, kExitBadUsage) << words.front();
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_FALSE(r.err.empty()) << words.front();
    }
    EXPECT_FALSE(std::filesystem::exists(empty / "jbase.mdb"));
}

TEST(FolderCommands, TheLogAsCsvKeepsEveryCellWhole) {
    Folder f;
    const TextList awkward[] = {
        {"2025-03-12 08:00:00.010", "08:00", "第一节,上课", "上课.mp3", "已响铃", "10", "说 \"好\"", ""},
        {"2025-03-12 09:00:00.000", "09:00", "下课", "下,课.mp3", "缺少声音", "0", "", "syl"},
    };
    {
        RingLog log(f.fx.folder() / kRingLogFile);
        ASSERT_TRUE(log.open());
        for (const TextList& cells : awkward)
            ASSERT_TRUE(log.append(
                {cells[0], cells[1], cells[2], cells[3], cells[4], std::stoi(cells[5]), cells[6], cells[7]}));
    }
    const Outcome csv = run(f.fx.folder(), {"log", "--csv"});
    ASSERT_EQ(csv.status, kExitOk) << csv.err;
    // Code page 936, as a spreadsheet on a Chinese Windows PC opens it and every export is written.
    EXPECT_FALSE(hasUtf8Bom(csv.out));
    EXPECT_EQ(csv.out.find("第一节"), std::string::npos) << "UTF-8 written";
    std::istringstream lines(gb18030ToUtf8(csv.out));
    std::string line;
    std::vector<TextList> read;
    while (std::getline(lines, line)) {
        read.emplace_back();
        CsvFile::splitLine(line, read.back());
    }
    ASSERT_EQ(read.size(), 3u) << csv.out;
    EXPECT_EQ(read[0], ringLogColumns());
    EXPECT_EQ(read[1], awkward[0]);
    EXPECT_EQ(read[2], awkward[1]);
    // Tab-separated for scripts: the cells as they are.
    EXPECT_NE(run(f.fx.folder(), {"log"}).out.find("\t第一节,上课\t"), std::string::npos);
    // One building's rows: the others', this machine's among them, left out.
    const Outcome syl = run(f.fx.folder(), {"log", "--node", "syl"});
    ASSERT_EQ(syl.status, kExitOk) << syl.err;
    EXPECT_EQ(syl.out, "2025-03-12 09:00:00.000\t09:00\t下课\t下,课.mp3\t缺少声音\t0\t\tsyl\n");
    EXPECT_EQ(run(f.fx.folder(), {"log", "--node", "jxl"}).out, "");

    // A sound named with a character beyond code page 936: UTF-8 with its mark, every cell whole.
    {
        RingLog log(f.fx.folder() / kRingLogFile);
        ASSERT_TRUE(log.open());
        ASSERT_TRUE(log.append(
            {"2025-03-12 10:00:00.000", "10:00", "铃", "\xF0\xA0\x80\x80.mp3", "已响铃", 0, "", ""}));
    }
    const std::string rare = run(f.fx.folder(), {"log", "--csv"}).out;
    ASSERT_TRUE(hasUtf8Bom(rare)) << rare;
    EXPECT_NE(
        decodeFileText(rare).find("\n2025-03-12 10:00:00.000,10:00,铃,\xF0\xA0\x80\x80.mp3,已响铃,0,,\n"),
        std::string::npos)
        << rare;
}

TEST(FolderCommands, MuteAddsOneEntryAndUnmuteTakesOnlyIt) {
    Folder f;
    test::RecordingSink sink;
    const CivilDate today{2025, 3, 12};
    EXPECT_EQ(muteDay(f.fx.folder(), today, sink), MuteChange::Changed);
    EXPECT_EQ(muteDay(f.fx.folder(), today, sink), MuteChange::Unchanged);
    EXPECT_EQ(run(f.fx.folder(), {"plan"}).out, "2025-03-12 星期三: 停铃 (今日静音, 第4行 2025-03-12)\n");
    // A holiday someone entered for the same date is not the mute: it stays.
    f.fx.run("insert into calendar values ('2025-03-12','2025-03-12','停铃','','校庆');");
    EXPECT_EQ(unmuteDay(f.fx.folder(), today, sink), MuteChange::Changed);
    EXPECT_EQ(unmuteDay(f.fx.folder(), today, sink), MuteChange::Unchanged);
    EXPECT_EQ(f.fx.rows("select 备注 from calendar"),
              (std::vector<std::vector<std::string>>{{"国庆节"}, {"补国庆"}, {"期中考试"}, {"校庆"}}));
    test::TempFolder empty;
    EXPECT_EQ(muteDay(empty.path(), today, sink), MuteChange::Failed);
}

} // namespace
} // namespace halvix
