#pragma once

#include <optional>
#include <string_view>

namespace halvix {

// What became of an entry of the plan or of an action (立即播放, 停止播放, 紧急广播).
enum class RingResult {
    Rang,       // the sound server began to play it
    Overdue,    // a minute or more late (the clock moved on, the machine slept): passed over
    SilentDay,  // a 停铃 day of the school calendar
    MutedToday, // 今日静音
    Missing,    // its sound is not there
    Unplayable, // its sound is no sound
    Manual,     // 立即播放, heard
    Stopped,    // 停止播放, or a sound stopped before it was heard
    NotRunning, // passed while no bell ran
    Emergency,  // silent: an emergency broadcast had the loudspeakers
    NoOutput,   // no sound server, no output on it, or the server refused or never started the sound
    CutOff,     // heard, then cut off in the middle (the sound server went away)
    Inaudible,  // played muted or at volume zero (a mixer setting)
};

// The word a ring log stores for `result`. Logs written before keep their words: these never change.
std::string_view resultWord(RingResult result);
// The result a stored word stands for; nothing for a word no version of the program wrote.
std::optional<RingResult> resultOfWord(std::string_view word);
// An entry that should have been heard and was not: worth a notice, a red row, a problem on the
// campus board.
bool unheard(RingResult result);

} // namespace halvix
