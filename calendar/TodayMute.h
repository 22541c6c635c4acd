#pragma once

#include "time/CivilDate.h"

#include <filesystem>

namespace halvix {

class MessageSink;

// A day silenced by hand: a calendar entry 停铃 of that one date with the note "今日静音".
inline constexpr const char* kMuteNote = "今日静音";

enum class MuteChange { Changed, Unchanged, Failed };

// Adds the entry unless the date has one (Unchanged); Failed (reported to the sink) when the
// calendar cannot be saved.
MuteChange muteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink);
// Removes the date's entries of that kind; other entries stay as they are.
MuteChange unmuteDay(const std::filesystem::path& folder, const CivilDate& date, MessageSink& sink);

} // namespace halvix
