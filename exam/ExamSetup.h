#pragma once

#include "exam/ExamSettings.h"
#include "exam/ExamTimetable.h"
#include "exam/PresetFile.h"
#include "exam/WeekdayFile.h"

#include <filesystem>
#include <optional>

namespace halvix {

class MessageSink;

// Everything the settings dialog saves.
struct ExamSetup {
    ExamSettings settings;
    std::array<CalendarDate, kSubjectCount> gridDates{};
    PresetTimes times{};
    bool withCardSteps = false;
    std::optional<WeekdayValues> weekdayValues; // nothing: the stored school week stays
    int examKind = 1;
};

// Repairs the settings (stored back into `setup`); when the listening durations are refused,
// nothing is written and false is returned. Otherwise writes, in this order: the generated exam
// plan into `sjtime` (only when there is one) and the settings into `settable` over one database
// connection, the weekday file (only when `weekdayValues` holds a week), the kind's preset file. A failing
// step is reported and the later steps still run. True once the steps have run and the database took the plan
// and the settings: until then the dialog keeps them for another try.
bool saveExamSetup(const std::filesystem::path& programFolder, ExamSetup& setup, MessageSink& sink);

} // namespace halvix
