#include "exam/ExamSettings.h"

#include "common/MessageSink.h"
#include "common/NumberText.h"
#include "store/ScheduleDatabase.h"
#include "store/TableCatalogue.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace halvix {

namespace {

constexpr std::array<SettingRange, ExamSettings::kCount> kRanges = {{
    {1, 20, 10}, // listening7
    {1, 20, 10}, // listening8
    {1, 20, 10}, // listening9
    {1, 15, 3},  // interval1
    {1, 15, 2},  // interval2
    {1, 15, 3},  // interval3
    {1, 15, 5},  // interval4
    {1, 20, 15}, // countdown
}};

constexpr std::array<int ExamSettings::*, ExamSettings::kCount> kFields = {
    &ExamSettings::listening7, &ExamSettings::listening8, &ExamSettings::listening9, &ExamSettings::interval1,
    &ExamSettings::interval2,  &ExamSettings::interval3,  &ExamSettings::interval4,  &ExamSettings::countdown,
};

// An edit field holds an integer when, blanks around it aside, it is an optional sign and digits
// that fit an int; "12abc" or an empty field is not one.
std::optional<int> fieldInteger(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-')
            return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool inRange(int value, const SettingRange& range) {
    return value >= range.low && value <= range.high;
}

} // namespace

int ExamSettings::at(int i) const {
    return this->*kFields.at(static_cast<std::size_t>(i));
}
int& ExamSettings::at(int i) {
    return this->*kFields.at(static_cast<std::size_t>(i));
}

const SettingRange& settingRange(int i) {
    return kRanges.at(static_cast<std::size_t>(i));
}

TextList readSettings(const std::filesystem::path& folder, MessageSink& sink) {
    TextList texts;
    for (const auto& range : kRanges)
        texts.push_back(std::to_string(range.fallback));

    ScheduleDatabase database(folder, sink);
    if (database.databaseMissing())
        return texts;
    TextList names;
    TextList values;
    database.open();
    const bool found = database.query(names, values, "select * from settable");
    database.close();
    if (!found)
        return texts;
    // Only the first row counts; a table narrower than eight columns must not lend the next row.
    const std::size_t taken = std::min({texts.size(), names.size(), values.size()});
    std::copy_n(values.begin(), taken, texts.begin());
    return texts;
}

ExamSettings settingsFromTexts(const TextList& texts) {
    ExamSettings settings;
    for (int i = 0; i < ExamSettings::kCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        settings.at(i) = index < texts.size() ? readNumber(texts[index]) : kRanges[index].fallback;
    }
    return settings;
}

TextList settingsToTexts(const ExamSettings& settings) {
    TextList texts;
    for (int i = 0; i < ExamSettings::kCount; ++i)
        texts.push_back(std::to_string(settings.at(i)));
    return texts;
}

FieldReading readSettingFields(const std::array<std::string, ExamSettings::kCount>& texts,
                               const ExamSettings& previous) {
    FieldReading reading{previous, -1, {}};
    for (int i = 0; i < ExamSettings::kCount; ++i) {
        const auto value = fieldInteger(texts[static_cast<std::size_t>(i)]);
        if (!value) {
            reading.failedField = i;
            reading.message = "Please enter an integer.";
            break;
        }
        reading.settings.at(i) = *value;
        const SettingRange& range = settingRange(i);
        if (!inRange(*value, range)) {
            reading.failedField = i;
            reading.message = "Please enter an integer between " + std::to_string(range.low) + " and " +
                              std::to_string(range.high) + ".";
            break;
        }
    }
    return reading;
}

bool repairSettings(ExamSettings& settings, MessageSink& sink) {
    for (int i = 3; i < ExamSettings::kCount; ++i) {
        if (!inRange(settings.at(i), settingRange(i)))
            settings.at(i) = settingRange(i).fallback;
    }
    for (int i = 0; i < 3; ++i) {
        if (!inRange(settings.at(i), settingRange(i))) {
            sink.show({"听力时长设置错误。", "提示", MessageIcon::Warning});
            return false;
        }
    }
    return true;
}

ExamSettings withoutListening(ExamSettings settings) {
    settings.listening7 = kNoListening;
    settings.listening8 = kNoListening;
    settings.listening9 = kNoListening;
    return settings;
}

ExamSettings withStoredListening(ExamSettings settings, const TextList& storedTexts) {
    const ExamSettings stored = settingsFromTexts(storedTexts);
    settings.listening7 = stored.listening7;
    settings.listening8 = stored.listening8;
    settings.listening9 = stored.listening9;
    return settings;
}

bool saveSettings(ScheduleDatabase& database, const ExamSettings& settings) {
    return database.replaceRows(tables::settable, ExamSettings::kCount, settingsToTexts(settings));
}

} // namespace halvix
