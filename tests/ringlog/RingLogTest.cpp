// The ring log: rows kept whole and in order, the cleanup of old dates, the writer thread, CSV
// export, and every committed row surviving a kill at any moment.
#include "ringlog/RingLog.h"
#include "editing/TextCodec.h"
#include "support/RecordingSink.h"
#include "support/RingWords.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace halvix {
namespace {

RingRow rowAt(const std::string& moment, const std::string& result, long long delay = 0) {
    return {moment, "08:00", "上课", "上课.mp3", result, delay, "备注, 含逗号", ""};
}

TEST(RingLog, KeepsRowsWholePerDateAndRemovesOldDates) {
    test::TempFolder folder;
    RingLog log(folder / kRingLogFile);
    ASSERT_TRUE(log.open());
    const std::vector<RingRow> written{
        rowAt("2023-08-29 08:00:00.012", test::word(RingResult::Rang), 12), // 402 days before 2024-10-04
        rowAt("2023-08-30 23:59:59.999", test::word(RingResult::Missing)),  // the last day removed
        rowAt("2023-08-31 00:00:00.000", test::word(RingResult::Overdue)),  // the first day kept (400 days)
        rowAt("2024-10-04 08:00:00.150", test::word(RingResult::Rang), 150),
        rowAt("2024-10-04 09:00:01.000", test::word(RingResult::MutedToday)),
        rowAt("2024-10-05 08:00:00.001", test::word(RingResult::Manual)),
    };
    for (const RingRow& row : written)
        ASSERT_TRUE(log.append(row));

    EXPECT_EQ(log.rowsOn("2024-10-04"), (std::vector<RingRow>{written[3], written[4]}));
    EXPECT_EQ(log.rowsOn("2024-10-06"), std::vector<RingRow>{});
    EXPECT_EQ(log.rowsSince("2024-10-04")->size(), 3u);

    EXPECT_EQ(firstKeptDate("2024-10-04"), "2023-08-31"); // 29 February 2024 lies between
    EXPECT_EQ(firstKeptDate("2024-03-01"), "2023-01-26"); // across a leap day
    EXPECT_EQ(firstKeptDate("不是日期"), "");
    EXPECT_EQ(log.removeBefore(firstKeptDate("2024-10-04")), 2);
    EXPECT_EQ(log.rowsSince("0000")->front(), written[2]);
    EXPECT_EQ(log.rowsSince("0000")->size(), 4u);
}

TEST(RingLog, AnOlderFileGainsTheNodeColumnAndABuildingsRowIsKeptOnce) {
    test::TempFolder folder;
    const auto file = folder / kRingLogFile;
    {
        // The table as the program made it before buildings sent their rows.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db,
                         "CREATE TABLE ringlog (时刻 TEXT, 计划时间 TEXT, 事件 TEXT, 声音 TEXT, 结果 TEXT,"
                         " 延迟毫秒 INTEGER, 备注 TEXT);"
                         "insert into ringlog values ('2024-10-04 08:00:00.010', '08:00', '上课', "
                         "'上课.mp3', '已响铃', 10, '');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
    }
    RingRow fromB1 = rowAt("2024-10-04 08:00:00.020", test::word(RingResult::Rang), 20);
    fromB1.node = "b1";
    RingRow fromB2 = fromB1;
    fromB2.node = "b2";
    RingRow laterFromB1 = rowAt("2024-10-04 08:00:00.030", test::word(RingResult::Rang), 30);
    laterFromB1.node = "b1";
    {
        RingLogWriter writer(file);
        // The same row delivered twice is kept once; the same moment from another building is its own row.
        for (const RingRow& row : {fromB1, fromB1, fromB2, laterFromB1, fromB2})
            writer.appendFromNode(row);
        writer.flush();
        EXPECT_EQ(writer.written(), 3);
        EXPECT_EQ(writer.takeFailure(), "");
    }
    RingLog log(file);
    const auto rows = log.rowsOn("2024-10-04", RingLog::Whose::Everyone);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 4u);
    EXPECT_EQ(log.rowsOn("2024-10-04"), std::vector<RingRow>{(*rows)[0]});
    EXPECT_EQ((*rows)[0],
              (RingRow{"2024-10-04 08:00:00.010", "08:00", "上课", "上课.mp3", "已响铃", 10, "", ""}));
    EXPECT_EQ((*rows)[1], fromB1);
    EXPECT_EQ((*rows)[2], fromB2);
    EXPECT_EQ((*rows)[3], laterFromB1);
    EXPECT_EQ(log.nodes(), (std::vector<std::string>{"b1", "b2"}));
}

TEST(RingLog, UnloggedRowsAreMatchedOneForOneByPlanTimeAndSound) {
    test::TempFolder folder;
    // Whoever follows the log is told each row of this machine as written, and none the log already
    // had; a building's row is its own to tell.
    std::vector<RingRow> told;
    RingLogWriter writer(folder / kRingLogFile, [&told](const RingRow& row) { told.push_back(row); });
    // Twice the same entry (a plan may hold it twice), one of them logged (and then cut off);
    // another date's row, a row of another sound and a building's row of the same entry account for
    // nothing.
    writer.append(rowAt("2024-10-04 08:00:00.100", test::word(RingResult::Rang)));
    writer.append(rowAt("2024-10-04 08:00:03.000", test::word(RingResult::CutOff)));
    RingRow building = rowAt("2024-10-04 08:00:00.100", test::word(RingResult::Rang));
    building.node = "b1";
    writer.appendFromNode(building);
    writer.append(rowAt("2024-10-03 09:00:00.000", test::word(RingResult::Rang)));
    RingRow otherSound = rowAt("2024-10-04 09:00:00.000", test::word(RingResult::Rang));
    otherSound.planTime = "09:00";
    otherSound.sound = "下课.mp3";
    otherSound.result = test::word(RingResult::Missing);
    writer.append(otherSound);
    RingRow nine = rowAt("2024-10-04 10:00:00.000", test::word(RingResult::NotRunning));
    nine.planTime = "09:00";
    const RingRow eight = rowAt("2024-10-04 10:00:00.000", test::word(RingResult::NotRunning));
    writer.appendUnlogged("2024-10-04", {eight, eight, nine});
    writer.flush();
    RingLog log(folder / kRingLogFile);
    const auto rows = log.rowsOn("2024-10-04");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 5u);
    EXPECT_EQ((*rows)[3], eight);
    EXPECT_EQ((*rows)[4], nine);
    EXPECT_EQ(writer.written(), 7);
    ASSERT_EQ(told.size(), 6u);
    EXPECT_EQ(told[3], otherSound);
    EXPECT_EQ(told[4], eight);
    EXPECT_EQ(told[5], nine);
}

TEST(RingLog, WriterQueuesWithoutWaitingAndReportsAFailureOnce) {
    test::TempFolder folder;
    {
        RingLogWriter writer(folder / kRingLogFile);
        for (int i = 0; i < 50; ++i) {
            RingRow row =
                rowAt("2024-10-04 08:00:" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".000",
                      test::word(RingResult::Rang));
            row.delayMs = i;
            writer.append(std::move(row));
        }
        writer.removeOld("2024-10-04");
        writer.flush();
        EXPECT_EQ(writer.written(), 50);
        EXPECT_EQ(writer.takeFailure(), "");
    }
    RingLog log(folder / kRingLogFile);
    const auto rows = log.rowsOn("2024-10-04");
    ASSERT_EQ(rows->size(), 50u);
    EXPECT_EQ(rows->back().delayMs, 49);

    // A folder standing where the file should be: rows are dropped, the failure is told once.
    const auto blocked = folder / "blocked";
    std::filesystem::create_directories(blocked / kRingLogFile);
    RingLogWriter refused(blocked / kRingLogFile);
    refused.append(rowAt("2024-10-04 08:00:00.000", test::word(RingResult::Rang)));
    refused.flush();
    const std::string failure = refused.takeFailure();
    EXPECT_NE(failure, "");
    EXPECT_FALSE(test::hasLatinLetter(failure)) << failure;
    refused.append(rowAt("2024-10-04 08:01:00.000", test::word(RingResult::Rang)));
    refused.flush();
    EXPECT_EQ(refused.takeFailure(), "") << "reported once, not at every row";
    EXPECT_EQ(refused.dropped(), 2);
}

TEST(RingLog, ExportsCodePage936WithTitleLine) {
    test::TempFolder folder;
    const auto file = folder / "导出.csv";
    RingRow fromNode = rowAt("2024-10-04 08:00:00.150", test::word(RingResult::Rang), 150);
    fromNode.node = "b1";
    ASSERT_TRUE(writeRingLogCsv(
        file, {rowAt("2024-10-04 08:00:00.150", test::word(RingResult::Rang), 150), fromNode}));
    EXPECT_EQ(gb18030ToUtf8(test::readFile(file)),
              "时刻,计划时间,事件,声音,结果,延迟毫秒,备注,节点,\r\n"
              "2024-10-04 08:00:00.150,08:00,上课,上课.mp3,已响铃,150,\"备注, 含逗号\",,\r\n"
              "2024-10-04 08:00:00.150,08:00,上课,上课.mp3,已响铃,150,\"备注, 含逗号\",b1,\r\n");
}

TEST(RingLog, EveryCommittedRowSurvivesAKill) {
    test::TempFolder folder;
    const auto file = folder / kRingLogFile;
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> delayMs(1, 40);
    long long committedBefore = 0;
    for (int round = 0; round < 15; ++round) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            RingLog log(file);
            // Tells the parent the number of each row once its transaction has committed.
            for (int i = 0;; ++i) {
                RingRow row =
                    rowAt("2024-10-04 08:00:00.000", test::word(RingResult::Rang), round * 1000000LL + i);
                row.note = std::string(200, 'x') + std::to_string(i);
                if (!log.append(row))
                    ::_exit(1);
                [[maybe_unused]] const auto sent = ::write(pipeEnds[1], &i, sizeof i);
            }
        }
        ::close(pipeEnds[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        int committed = 0;
        for (int i = 0; ::read(pipeEnds[0], &i, sizeof i) == sizeof i;)
            committed = i + 1;
        ::close(pipeEnds[0]);

        RingLog log(file);
        const auto rows = log.rowsOn("2024-10-04");
        ASSERT_TRUE(rows) << log.lastError();
        // Every row told as committed is there, whole, and in order; at most the one being written
        // when the kill came is there besides them.
        long long ofRound = 0;
        for (const RingRow& row : *rows) {
            if (row.delayMs / 1000000 != round)
                continue;
            EXPECT_EQ(row.delayMs % 1000000, ofRound) << "round " << round;
            EXPECT_EQ(row.note, std::string(200, 'x') + std::to_string(ofRound));
            ++ofRound;
        }
        EXPECT_GE(ofRound, committed) << "round " << round;
        EXPECT_LE(ofRound, committed + 1) << "round " << round;
        EXPECT_GE(static_cast<long long>(rows->size()), committedBefore + committed);
        committedBefore = static_cast<long long>(rows->size());
    }
}

} // namespace
} // namespace halvix
