#include "exam/ExamPlan.h"

#include "exam/ExamSettings.h"
#include "store/ScheduleDatabase.h"

#include <cstdio>
#include <optional>

namespace halvix {

namespace {

constexpr int kListeningLead = 2; // the first listening test begins two minutes after the start

// Time taken by a grade's listening test; "no listening test" takes none.
int listeningSpan(int duration) {
    return duration == kNoListening ? 0 : duration;
}

class PlanBuilder {
public:
    explicit PlanBuilder(std::vector<PlanRow>& rows) : m_rows(rows) {}

    void add(const ExamSubject& subject, ClockTime time, const ExamStep& step) {
        if (!time.withinDay())
            return;
        m_rows.push_back({std::to_string(m_rows.size() + 1), dateText(subject.month, subject.day),
                          time.text(), std::string(step.label), std::string(step.sound), kPending,
                          subject.name});
    }

private:
    std::vector<PlanRow>& m_rows;
};

} // namespace

std::string ClockTime::text() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", hour(), minute());
    return buffer;
}

std::vector<PlanRow> generateExamPlan(const std::vector<ExamSubject>& subjects, const ExamSettings& settings,
                                      bool withCardSteps) {
    std::vector<PlanRow> rows;
    PlanBuilder plan(rows);
    const int toStart = settings.interval4;
    const int toHandOut = settings.interval3 + toStart;
    const int toOpenBags = settings.interval2 + toHandOut;
    const int toEnter = settings.interval1 + toOpenBags;
    for (const ExamSubject& subject : subjects) {
        if (subject.startHour == 0)
            continue;
        const ClockTime start = ClockTime::of(subject.startHour, subject.startMinute);
        const ClockTime end = ClockTime::of(subject.endHour, subject.endMinute);
        plan.add(subject, start.plus(-toEnter), step::kEnterRoom);
        if (withCardSteps) {
            plan.add(subject, start.plus(-toOpenBags), step::kAnswerCards);
            plan.add(subject, start.plus(-toHandOut), step::kOpenPaperBags);
        }
        plan.add(subject, start.plus(-toStart), step::kHandOutPapers);
        plan.add(subject, start, step::kStartAnswering);
        if (subject.name == kListeningSubject) {
            const int offset8 = kListeningLead + listeningSpan(settings.listening7);
            const int offset9 = offset8 + listeningSpan(settings.listening8);
            if (settings.listening7 > kNoListening)
                plan.add(subject, start.plus(kListeningLead), step::kListening7);
            if (settings.listening8 > kNoListening)
                plan.add(subject, start.plus(offset8), step::kListening8);
            if (settings.listening9 > kNoListening)
                plan.add(subject, start.plus(offset9), step::kListening9);
        }
        plan.add(subject, end.plus(-settings.countdown), step::kCountdown);
        plan.add(subject, end, step::kEndOfExam);
    }
    return rows;
}

bool writeExamPlan(ScheduleDatabase& database, const std::vector<PlanRow>& rows) {
    if (rows.empty())
        return false;
    return database.replaceRows(tables::sjtime, kPlanColumnCount, flattenRows(rows));
}

} // namespace halvix
