#pragma once

#include "calendar/CalendarEntry.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace halvix {

class MessageSink;
class ScheduleDatabase;

inline constexpr const char* kCalendarTable = "calendar";

// The table `calendar` of the program's database. Both calls create the table when it is absent,
// so a database from before the calendar keeps working and reads as an empty calendar.

// Every stored entry in row order. A missing or unreadable database gives no entries (the failure
// goes to the sink). A stored row that does not say a valid entry is left out and named in one
// notice ("校历第N行无效, 已忽略: ..."), so the bell still follows the other rows.
std::vector<CalendarEntry> loadCalendar(const std::filesystem::path& folder, MessageSink& sink);
// As loadCalendar, but nothing (the failure reported to the sink) when the database cannot be
// opened or read; a database without the table, even a read-only one, reads as no entries.
std::optional<std::vector<CalendarEntry>> readCalendar(const std::filesystem::path& folder,
                                                       MessageSink& sink);
// The same through a database the caller opened (inside its transaction, say).
std::optional<std::vector<CalendarEntry>> readCalendar(ScheduleDatabase& db, MessageSink& sink);

// Replaces the stored entries with `entries`, in their order, in one transaction: afterwards the
// table holds the new entries or, on any failure, the old ones. Nothing is written when an entry
// is invalid; the message names its row ("第3行: 结束日期早于开始日期").
bool saveCalendar(const std::filesystem::path& folder, const std::vector<CalendarEntry>& entries,
                  MessageSink& sink);
bool saveCalendar(ScheduleDatabase& db, const std::vector<CalendarEntry>& entries, MessageSink& sink);

// CSV files of the calendar, with the plan tables' encoding: written in code page 936 with CR LF,
// a title line first and every cell followed by ","; read in code page 936 or UTF-8.
//
// Reading: each line is one entry; empty lines are skipped; a first line is the title line only
// when it reads as the titles (otherwise it is checked as an entry like every other); a line holds 开始日期,
// 结束日期, 类型 and optionally 参数 and 备注. The note is the rest of the line, commas included, without the
// one comma that ends a written line. The first bad line makes the whole read fail with its number in `error`
// ("第3行: ..."), and `entries` stays untouched.
bool readCalendarCsv(const std::filesystem::path& path, std::vector<CalendarEntry>& entries,
                     std::string& error);
bool writeCalendarCsv(const std::filesystem::path& path, const std::vector<CalendarEntry>& entries);

} // namespace halvix
