#include "exam/ExamSetup.h"

#include "exam/ExamPlan.h"
#include "store/ScheduleDatabase.h"

namespace halvix {

bool saveExamSetup(const std::filesystem::path& programFolder, ExamSetup& setup, MessageSink& sink) {
    if (!repairSettings(setup.settings, sink))
        return false;
    const auto rows = generateExamPlan(timetableSubjects(setup.gridDates, setup.times), setup.settings,
                                       setup.withCardSteps);
    {
        ScheduleDatabase database(programFolder, sink);
        database.open();
        if (database.isOpen()) {
            if (!rows.empty())
                writeExamPlan(database, rows);
            saveSettings(database, setup.settings);
        }
        database.close();
    }
    writeWeekdayFile(programFolder, setup.weekdayValues, sink);
    savePreset(programFolder, setup.examKind, setup.times, sink);
    return true;
}

} // namespace halvix
