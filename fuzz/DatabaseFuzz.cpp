// A database file of any bytes: opening, reading the plan and writing a choice never crash.
#include "FuzzFolder.h"
#include "bell/DayPlanSelector.h"
#include "common/MessageSink.h"
#include "store/ScheduleDatabase.h"
#include "store/TextTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix;
    const auto& folder = fuzz::scratchFolder();
    std::filesystem::remove(folder / "jbase.mdb-journal");
    fuzz::writeScratch("jbase.mdb", data, size);
    SilentSink sink;
    const int dayType = readDayType(folder, sink);
    const int season = readSeason(folder, sink);
    LocalTime today;
    today.weekday = 3;
    TextTable plan;
    loadDayPlan(folder, dayType, season, today, plan, sink);
    ScheduleDatabase db(folder, sink);
    db.open();
    TextList names, values;
    db.query(names, values, "select * from settable");
    db.loadTable("sjtime", names, values);
    db.replaceRows("lxtime", 1, {"2"});
    db.close();
    return 0;
}
