#pragma once

#include "time/CivilDate.h"

#include <filesystem>
#include <string>

namespace halvix {

class MessageSink;
struct DayDecision;

// A day silenced by hand: a calendar entry 停铃 of that one date with the note "今日静音".
inline constexpr const char* kMuteNote = "今日静音";

enum class MuteChange { Changed, Unchanged, Failed };

// Adds the entry unless the date has one (Unchanged); Failed (reported to the sink) when the
// calendar cannot be saved.
MuteChange muteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink);
// Removes the date's entries of that kind; other entries stay as they are.
MuteChange unmuteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink);
// 今日静音 or 恢复响铃 of `date`, as the tray, the command line and the campus ask for it. False,
// with `error` in Chinese, when the calendar cannot be written. The caller reloads the plan.
bool setDayMuted(const std::filesystem::path& folder, const CivilDate& date, bool muted, std::string& error);
// The decision silences its date by hand (today's mute), not by a 停铃 day of the calendar.
bool mutedByHand(const DayDecision& decision);

} // namespace halvix
