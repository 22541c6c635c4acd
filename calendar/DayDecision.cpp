#include "calendar/DayDecision.h"

namespace halvix {

namespace {

enum class Kind { Silence, DayType, Season, Weekday };

Kind kindOf(CalendarType type) {
    switch (type) {
    case CalendarType::Silent:
        return Kind::Silence;
    case CalendarType::MakeUp:
        return Kind::Weekday;
    case CalendarType::Exam:
    case CalendarType::Daily:
        return Kind::DayType;
    case CalendarType::Spring:
    case CalendarType::Autumn:
        break;
    }
    return Kind::Season;
}

int valueOf(const CalendarEntry& entry) {
    switch (entry.type) {
    case CalendarType::Exam:
        return 2;
    case CalendarType::Daily:
        return 1;
    case CalendarType::Spring:
        return 1;
    case CalendarType::Autumn:
        return 2;
    case CalendarType::MakeUp:
        return entry.weekday;
    case CalendarType::Silent:
        break;
    }
    return 1;
}

// The entry of `kind` covering `date` with the shortest range; of equal ranges the later one.
int deciding(Kind kind, const CivilDate& date, const std::vector<CalendarEntry>& entries) {
    int best = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CalendarEntry& entry = entries[i];
        if (kindOf(entry.type) != kind || !entry.covers(date))
            continue;
        if (best < 0 || entry.length() <= entries[static_cast<std::size_t>(best)].length())
            best = static_cast<int>(i);
    }
    return best;
}

DecidedValue decide(Kind kind, int fallback, const CivilDate& date,
                    const std::vector<CalendarEntry>& entries) {
    const int index = deciding(kind, date, entries);
    if (index < 0)
        return {fallback, -1, {}};
    const CalendarEntry& entry = entries[static_cast<std::size_t>(index)];
    return {valueOf(entry), index, entry.note};
}

std::string dayTypeName(int dayType) {
    return dayType == 2 ? "考试" : dayType == 1 ? "日常" : "未知类型";
}

std::string seasonName(int season) {
    return season == 2 ? "秋季" : season == 1 ? "春季" : "未知季节";
}

std::string weekdayPart(const DayDecision& decision) {
    if (decision.weekday.byCalendar())
        return "调休, 按" + std::string(weekdayName(decision.weekday.value));
    return std::string(weekdayName(decision.weekday.value));
}

// `text` followed by what decided it, in brackets: the note, or for `detailed` also the row.
std::string withSource(const std::string& text, const DecidedValue& value,
                       const std::vector<CalendarEntry>* entries, const char* defaultReason) {
    std::string reason;
    if (value.byCalendar()) {
        reason = value.note;
        if (entries && static_cast<std::size_t>(value.entry) < entries->size()) {
            const CalendarEntry& entry = (*entries)[static_cast<std::size_t>(value.entry)];
            std::string row = "第" + std::to_string(value.entry + 1) + "行 " + dateText(entry.start);
            if (entry.end != entry.start)
                row += " 至 " + dateText(entry.end);
            reason += (reason.empty() ? "" : ", ") + row;
        }
    } else if (entries && defaultReason) {
        reason = defaultReason;
    }
    return reason.empty() ? text : text + " (" + reason + ")";
}

std::string describe(const DayDecision& decision, const std::vector<CalendarEntry>* entries) {
    if (decision.silent) {
        const DecidedValue silence{1, decision.silentEntry, decision.silentNote};
        return withSource("停铃", silence, entries, nullptr);
    }
    // With the reasons, the date's own weekday already leads the line.
    std::string weekday;
    if (!entries || decision.weekday.byCalendar())
        weekday = withSource(weekdayPart(decision), decision.weekday, entries, nullptr) + ", ";
    return weekday + withSource(dayTypeName(decision.dayType.value), decision.dayType, entries, "默认") +
           ", " + withSource(seasonName(decision.season.value), decision.season, entries, "默认");
}

} // namespace

DayDecision decideDay(const CivilDate& date, int storedDayType, int storedSeason,
                      const std::vector<CalendarEntry>& entries) {
    DayDecision decision;
    decision.date = date;
    decision.ownWeekday = weekdayOf(date);
    decision.silentEntry = deciding(Kind::Silence, date, entries);
    decision.silent = decision.silentEntry >= 0;
    if (decision.silent)
        decision.silentNote = entries[static_cast<std::size_t>(decision.silentEntry)].note;
    decision.dayType = decide(Kind::DayType, storedDayType, date, entries);
    decision.season = decide(Kind::Season, storedSeason, date, entries);
    decision.weekday = decide(Kind::Weekday, decision.ownWeekday, date, entries);
    return decision;
}

std::string decisionText(const DayDecision& decision) {
    return describe(decision, nullptr);
}

std::string todayLine(const DayDecision& decision) {
    return "今日: " + decisionText(decision);
}

std::string decisionReasons(const DayDecision& decision, const std::vector<CalendarEntry>& entries) {
    return dateText(decision.date) + " " + std::string(weekdayName(decision.ownWeekday)) + ": " +
           describe(decision, &entries);
}

} // namespace halvix
