#include "exam/ExamSetup.h"

#include "common/MessageSink.h"
#include "exam/ExamPlan.h"
#include "store/ScheduleDatabase.h"

namespace halvix {

bool saveExamSetup(const std::filesystem::path& programFolder, ExamSetup& setup, MessageSink& sink) {
    if (!repairSettings(setup.settings, sink))
        return false;
    const auto rows = generateExamPlan(timetableSubjects(setup.gridDates, setup.times), setup.settings,
                                       setup.withCardSteps);
    bool stored = false;
    {
        ScheduleDatabase database(programFolder, sink);
        database.open(); // tells the user why it cannot
        if (database.isOpen()) {
            const bool planStored = rows.empty() || writeExamPlan(database, rows);
            stored = saveSettings(database, setup.settings) && planStored;
        } else {
            sink.show({"数据保存失败!", "", MessageIcon::Critical});
        }
        database.close();
    }
    if (setup.weekdayValues)
        writeWeekdayFile(programFolder, *setup.weekdayValues, sink);
    savePreset(programFolder, setup.examKind, setup.times, sink);
    return stored;
}

} // namespace halvix
