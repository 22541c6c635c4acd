#pragma once

#include "store/TextTable.h"

#include <array>
#include <filesystem>
#include <string>

namespace halvix {

class MessageSink;
class ScheduleDatabase;

// The eight whole-minute settings of the exam procedure, in the column order of `settable`.
struct ExamSettings {
    int listening7 = 0;
    int listening8 = 0;
    int listening9 = 0;
    int interval1 = 0;
    int interval2 = 0;
    int interval3 = 0;
    int interval4 = 0;
    int countdown = 0;

    static constexpr int kCount = 8;

    // Field i in table order (0 = listening7 ... 7 = countdown).
    int at(int i) const;
    int& at(int i);

    bool operator==(const ExamSettings&) const = default;
};

struct SettingRange {
    int low;
    int high;
    int fallback;
};

// Allowed range and default of field i in table order.
const SettingRange& settingRange(int i);

// A listening duration of exactly 1 means that grade has no listening test.
inline constexpr int kNoListening = 1;

// The eight texts of `settable`'s first row. Without a database file, or where the table holds
// fewer values, the defaults stand in.
TextList readSettings(const std::filesystem::path& folder, MessageSink& sink);

// Texts to fields by the program's number rule; missing texts give the defaults.
ExamSettings settingsFromTexts(const TextList& texts);
TextList settingsToTexts(const ExamSettings& settings);

// What reading the eight edit fields gave: the values, and the first field that was refused.
struct FieldReading {
    ExamSettings settings;
    int failedField = -1; // table position, -1 when every field was taken
    std::string message;
};

// Reads the edit texts in table order into `previous`. A text that is not an integer keeps the
// previous value, one outside its range is taken as typed; either stops the reading there and the
// later fields keep their previous values. Repairing comes afterwards.
FieldReading readSettingFields(const std::array<std::string, ExamSettings::kCount>& texts,
                               const ExamSettings& previous);

// Puts intervals and countdown outside their ranges back to their defaults without a word. False,
// after telling the user, when a listening duration lies outside 1..20: nothing may be saved then.
bool repairSettings(ExamSettings& settings, MessageSink& sink);

// The no-listening switch: on sets every grade to "no listening test"; off takes the three
// durations from the stored texts (`readSettings`), not from what was shown before.
ExamSettings withoutListening(ExamSettings settings);
ExamSettings withStoredListening(ExamSettings settings, const TextList& storedTexts);

// Replaces `settable` with one row of the eight values. `database` must be open.
bool saveSettings(ScheduleDatabase& database, const ExamSettings& settings);

} // namespace halvix
