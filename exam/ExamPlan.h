#pragma once

#include "store/TableCatalogue.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace halvix {

struct ExamSettings;
class ScheduleDatabase;

inline constexpr int kSubjectCount = 9;

// The subjects in the order of generation.
inline constexpr std::array<std::string_view, kSubjectCount> kSubjectNames = {
    "语文", "数学", "英语", "物理", "化学", "思品", "历史", "地理", "生物",
};

// Only this subject gets the listening tests.
inline constexpr std::string_view kListeningSubject = "英语";

// One step of the exam procedure: the sound it plays in "voic" and the label shown for it.
struct ExamStep {
    std::string_view sound;
    std::string_view label;
};

namespace step {
inline constexpr ExamStep kEnterRoom{"h01组织进入考场.mp3", "组织进入考场"};
inline constexpr ExamStep kAnswerCards{"h02发机读卡.mp3", "发机读卡"};
inline constexpr ExamStep kOpenPaperBags{"h03开启试卷袋.mp3", "开启试卷袋"};
inline constexpr ExamStep kHandOutPapers{"h04分发试卷.mp3", "分发试卷"};
inline constexpr ExamStep kStartAnswering{"h05开始答题.mp3", "开始答题"};
inline constexpr ExamStep kCountdown{"h06倒计时.mp3", "倒计时"};
inline constexpr ExamStep kEndOfExam{"h07考试结束.mp3", "考试结束"};
inline constexpr ExamStep kListening7{"h08初一听力.mp3", "初一听力"};
inline constexpr ExamStep kListening8{"h09初二听力.mp3", "初二听力"};
inline constexpr ExamStep kListening9{"h10初三听力.mp3", "初三听力"};
} // namespace step

// One subject of the exam timetable. A start hour of 0 means the subject has no exam.
struct ExamSubject {
    std::string name;
    int month = 1;
    int day = 1;
    int startHour = 0;
    int startMinute = 0;
    int endHour = 0;
    int endMinute = 0;
};

// A time of the exam procedure: minutes since midnight, written "%02d:%02d". Nothing wraps at
// midnight: the arithmetic may leave the day, and the generator leaves such a time out.
struct ClockTime {
    static constexpr int kMinutesPerDay = 24 * 60;
    int minutes = 0;

    static ClockTime of(int hour, int minute) { return {hour * 60 + minute}; }
    ClockTime plus(int n) const { return {minutes + n}; }
    bool withinDay() const { return minutes >= 0 && minutes < kMinutesPerDay; }
    int hour() const { return minutes >= 0 ? minutes / 60 : -((59 - minutes) / 60); }
    int minute() const { return minutes - hour() * 60; }
    std::string text() const;
};

// The broadcast rows of every examined subject, in subject order and then procedure order, numbered
// from 1. `withCardSteps` adds the answer-card and paper-bag announcements. Settings must be
// repaired. A time that would fall outside 00:00..23:59 could never ring and is left out.
std::vector<PlanRow> generateExamPlan(const std::vector<ExamSubject>& subjects, const ExamSettings& settings,
                                      bool withCardSteps);

// Replaces every row of `sjtime` with `rows`; without rows the table stays as it was and false is
// returned. `database` must be open.
bool writeExamPlan(ScheduleDatabase& database, const std::vector<PlanRow>& rows);

} // namespace halvix
