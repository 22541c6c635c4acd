#pragma once

#include "bell/PlanSource.h"
#include "time/LocalTime.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace halvix {

class MessageSink;
class TextTable;

inline constexpr int kDailyDay = 1; // 日常
inline constexpr int kExamDay = 2;  // 考试
inline constexpr int kSpring = 1;   // 春季
inline constexpr int kAutumn = 2;   // 秋季

// The first and last school day of the week (1 Monday .. 7 Sunday; any other digit matches no day).
struct WeekDays {
    int firstDay = 0;
    int lastDay = 0;
};

// Hundreds digit: first day; units digit: last day.
WeekDays weekDaysFromNumber(int number);
// Reads "xqno.txt" in the program folder; a missing or unreadable file reads as 0 (no day matches).
WeekDays readWeekDays(const std::filesystem::path& folder);

// Reads the one-value table lxtime / jjtime and writes the value back (so the table holds exactly
// one row). An empty table or a missing database reads as 1 (daily, spring).
int readDayType(const std::filesystem::path& folder, MessageSink& sink);
int readSeason(const std::filesystem::path& folder, MessageSink& sink);
// The same, but nothing where the database could not be read just now (locked, damaged): the
// reason is told to `sink`, and a caller that must not guess can try again later.
std::optional<int> storedDayType(const std::filesystem::path& folder, MessageSink& sink);
std::optional<int> storedSeason(const std::filesystem::path& folder, MessageSink& sink);
// Stores a new choice as the table's one row.
bool writeDayType(const std::filesystem::path& folder, int dayType, MessageSink& sink);
bool writeSeason(const std::filesystem::path& folder, int season, MessageSink& sink);

// The tables today's plan is read from: one daily table, or sjtime and the term's fixed exam
// entries; none when the day type or season is unknown. The Sunday table serves the day before the
// first school day, ahead of every other rule.
std::vector<std::string> dayPlanTables(int dayType, int season, const LocalTime& today, WeekDays week);
// The query for today's plan (of dayPlanTables' tables), or empty when the day type or season is unknown.
std::string choosePlanQuery(int dayType, int season, const LocalTime& today, WeekDays week);

// Fills `plan` with today's rows in time order, numbered 1, 2, 3, ... Anything but Loaded leaves
// `plan` as it was: NoRows when the day has no rows, Failed (reported to `sink`) when the database is
// missing ("找不到数据库: ..."), does not open or cannot be read.
LoadResult loadDayPlan(const std::filesystem::path& folder, int dayType, int season, const LocalTime& today,
                       TextTable& plan, MessageSink& sink);

} // namespace halvix
