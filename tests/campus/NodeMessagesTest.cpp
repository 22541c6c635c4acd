#include "bell/DayPlan.h"
#include "campus/ClockPing.h"
#include "campus/LogReport.h"
#include "campus/TodayReport.h"
#include "store/TextTable.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

namespace halvix::campus {
namespace {

using nlohmann::json;

RingRow rangRow() {
    return {"2026-12-08 08:00:00.012", "08:00:00", "上课", "上课.mp3", "已响铃", 12, "", ""};
}

TodayReport dayReport() {
    return {"b1",
            "2026-12-08",
            "日常 春季 星期二",
            {{"08:00:00", "上课", "上课.mp3", "完成"}, {"08:45:00", "下课", "voic\\课间操", "待完"}},
            {rangRow(), {"2026-12-08 10:00:01.500", "", "立即播放", "通知.mp3", "手动播放", 0, "", ""}}};
}

// Each payload read back whole, and a change of one field that makes it untrustworthy refused.
TEST(NodeMessages, ReadBackAsWrittenAndRefuseWhatDoesNotRead) {
    const LogReportRead rang = readLogReport(writeLogReport("b1", rangRow()));
    ASSERT_TRUE(rang.ok()) << rang.problem;
    EXPECT_EQ(rang.node, "b1");
    EXPECT_EQ(rang.row, rangRow());
    const RingRow action{
        "2026-12-08 10:00:01.500", "", "立即播放", "通知.mp3", "手动播放", 0, "缺少声音: x", ""};
    EXPECT_EQ(readLogReport(writeLogReport("b2", action)).row, action);
    EXPECT_EQ(readTodayReport(writeTodayReport(dayReport())).report, dayReport());
    EXPECT_EQ(readPing(writePing({"b1", 1765180800000})).ping, (Ping{"b1", 1765180800000}));
    EXPECT_EQ(readPong(writePong({5, 7, 9})).pong, (Pong{5, 7, 9}));

    const json log = json::parse(writeLogReport("b1", rangRow()));
    const json today = json::parse(writeTodayReport(dayReport()));
    const json pong = json::parse(writePong({5, 7, 9}));
    using Reads = bool (*)(const std::string&);
    const Reads logReads = [](const std::string& p) { return readLogReport(p).ok(); };
    const Reads todayReads = [](const std::string& p) { return readTodayReport(p).ok(); };
    const Reads pongReads = [](const std::string& p) { return readPong(p).ok(); };
    const json entry = {{"time", "08:00:00"}, {"event", ""}, {"sound", ""}, {"status", ""}};
    const struct {
        const char* what;
        const json& base;
        json change;
        Reads reads;
    } cases[] = {
        {"log: node with a topic level", log, {{"node", "b1/#"}}, logReads},
        {"log: unknown result", log, {{"result", "已爆炸"}}, logReads},
        {"log: moment without milliseconds", log, {{"moment", "2026-12-08 08:00:00"}}, logReads},
        {"log: moment on 30 February", log, {{"moment", "2026-02-30 08:00:00.000"}}, logReads},
        {"log: plan time not a time", log, {{"planTime", "8点"}}, logReads},
        {"log: event with a terminal escape", log, {{"event", "\x1b[2J"}}, logReads},
        {"log: negative delay", log, {{"delayMs", -1}}, logReads},
        {"log: delay as text", log, {{"delayMs", "12"}}, logReads},
        {"log: other format", log, {{"format", 2}}, logReads},
        {"today: no entries", today, {{"entries", nullptr}}, todayReads},
        {"today: bad date", today, {{"date", "2026-13-01"}}, todayReads},
        {"today: entry time not a time",
         today,
         {{"entries", {json{{"time", "x"}, {"event", ""}, {"sound", ""}, {"status", ""}}}}},
         todayReads},
        {"today: entry without status",
         today,
         {{"entries", {json{{"time", "08:00:00"}, {"event", ""}, {"sound", ""}}}}},
         todayReads},
        {"today: too many entries",
         today,
         {{"entries", std::vector<json>(kMaxTodayEntries + 1, entry)}},
         todayReads},
        {"today: rings not a list", today, {{"rings", "08:00"}}, todayReads},
        {"today: too many rings", today, {{"rings", std::vector<json>(kMaxTodayRings + 1, log)}}, todayReads},
        {"today: a ring of an unknown result",
         today,
         {{"rings",
           {json{{"moment", "2026-12-08 08:00:00.012"},
                 {"planTime", ""},
                 {"event", ""},
                 {"sound", ""},
                 {"result", "已爆炸"},
                 {"delayMs", 0},
                 {"note", ""}}}}},
         todayReads},
        {"pong: answer sent before it was received", pong, {{"t2", 6}}, pongReads},
        {"pong: negative time", pong, {{"t0", -5}}, pongReads},
        {"pong: time as fraction", pong, {{"t1", 7.5}}, pongReads},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.reads(c.base.dump())) << c.what;
        json payload = c.base;
        payload.merge_patch(c.change);
        EXPECT_FALSE(c.reads(payload.dump())) << c.what;
    }
    EXPECT_FALSE(readLogReport("[1]").ok());
    EXPECT_FALSE(readTodayReport(std::string(300 * 1024, ' ')).ok());
    EXPECT_FALSE(readPing(R"({"format":1,"node":"b1"})").ok());
}

TEST(NodeMessages, TodayReportFollowsThePlanColumns) {
    TextTable plan;
    plan.appendRow({"1", "星期二", "08:00:00", "上课", "上课.mp3", "完成", "1"});
    plan.appendRow({"2", "星期二", "08:45:00", "下课", "下课.mp3", "待完", "2"});
    const TodayReport report = todayReportOf("b1", "2026-12-08", "日常", DayPlan::fromTable(plan));
    EXPECT_EQ(report.entries, (std::vector<TodayEntry>{{"08:00:00", "上课", "上课.mp3", "完成"},
                                                       {"08:45:00", "下课", "下课.mp3", "待完"}}));
    EXPECT_TRUE(readTodayReport(writeTodayReport(report)).ok());
}

// Whatever rows a day brought: the report keeps the date's own, the last ones, in their order.
TEST(NodeMessages, TodayReportKeepsTheLastRowsOfItsDate) {
    std::mt19937 random(12);
    for (int round = 0; round < 50; ++round) {
        std::vector<RingRow> rows;
        const int count = std::uniform_int_distribution<int>(0, 300)(random);
        for (int i = 0; i < count; ++i) {
            RingRow row = rangRow();
            row.moment = (random() % 4 ? "2026-12-08" : "2026-12-07") + row.moment.substr(10);
            row.delayMs = i;
            rows.push_back(row);
        }
        std::vector<RingRow> kept = rows;
        keepRingsOf("2026-12-08", kept);
        std::vector<RingRow> expected;
        std::copy_if(rows.begin(), rows.end(), std::back_inserter(expected),
                     [](const RingRow& r) { return r.moment.starts_with("2026-12-08"); });
        if (expected.size() > kMaxTodayRings)
            expected.erase(expected.begin(), expected.end() - std::ptrdiff_t(kMaxTodayRings));
        EXPECT_EQ(kept, expected);
    }
}

// Offsets as NTP reckons them; pongs that answer nothing of ours, or came back too late, ignored;
// the sample of the shortest round trip counts.
TEST(NodeMessages, ClockPingerKeepsTheOffsetOfTheShortestRoundTrip) {
    ClockPinger pinger;
    EXPECT_FALSE(pinger.offsetMs());
    // Central 100 ms ahead, 10 ms each way, 2 ms to answer.
    const Ping first = pinger.ping("b1", 1000);
    EXPECT_EQ(first, (Ping{"b1", 1000}));
    EXPECT_TRUE(pinger.answer({1000, 1110, 1112}, 1022));
    EXPECT_DOUBLE_EQ(*pinger.offsetMs(), 100.0);
    // The same answer again, and one to a ping never sent, change nothing.
    EXPECT_FALSE(pinger.answer({1000, 1110, 1112}, 1030));
    EXPECT_FALSE(pinger.answer({999, 1110, 1112}, 1030));
    // A slow path one way (300 ms out, 10 back) skews this sample; the faster one still counts.
    pinger.ping("b1", 2000);
    EXPECT_TRUE(pinger.answer({2000, 2400, 2400}, 2310));
    EXPECT_DOUBLE_EQ(*pinger.offsetMs(), 100.0);
    // A pong after longer than the longest trip is not believed.
    pinger.ping("b1", 3000);
    EXPECT_FALSE(pinger.answer({3000, 3100, 3100}, 3000 + ClockPinger::kMaxRoundTripMs + 1));
    // Old samples leave: after enough new ones only they count.
    for (std::int64_t t = 10000; t < 10000 + static_cast<std::int64_t>(ClockPinger::kSamples) * 1000;
         t += 1000) {
        pinger.ping("b1", t);
        EXPECT_TRUE(pinger.answer({t, t - 45, t - 45}, t + 10));
    }
    EXPECT_DOUBLE_EQ(*pinger.offsetMs(), -50.0);
}

} // namespace
} // namespace halvix::campus
