// A building's ring-log rows and plan of the day as they reach the central: any bytes read without
// a crash, and what is accepted reads back the same after it is written again.
#include "campus/LogReport.h"
#include "campus/TodayReport.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace halvix::campus;
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    if (const LogReportRead read = readLogReport(payload); read.ok()) {
        const LogReportRead again = readLogReport(writeLogReport(read.node, read.row));
        if (!again.ok() || again.node != read.node || again.row != read.row)
            std::abort();
    }
    if (const TodayReportRead read = readTodayReport(payload); read.ok()) {
        if (read.report.entries.size() > kMaxTodayEntries)
            std::abort();
        if (readTodayReport(writeTodayReport(read.report)).report != read.report)
            std::abort();
    }
    return 0;
}
