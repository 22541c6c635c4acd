#include "exam/WeekdayFile.h"

#include "common/MessageSink.h"
#include "common/TextFile.h"
#include "time/CivilDate.h"

#include <algorithm>
#include <string_view>

namespace halvix {

namespace {

// Values from the first click are 11..17; the upper bound leaves room for the full decade.
bool fromFirstClick(int value) {
    return value >= 11 && value <= 19;
}

} // namespace

WeekdayClicks::WeekdayClicks() {
    reset();
}

void WeekdayClicks::click(int weekday) {
    if (!isWeekday(weekday))
        return;
    ++m_clickCount;
    const auto index = static_cast<std::size_t>(weekday - 1);
    m_values[index] = m_clickCount * 10 + weekday;
    m_captions[index] += "  " + std::to_string(m_clickCount);
}

void WeekdayClicks::reset() {
    m_clickCount = 0;
    m_values.fill(0);
    for (int weekday = 1; weekday <= kWeekdayCount; ++weekday)
        m_captions[static_cast<std::size_t>(weekday - 1)] = weekdayName(weekday);
}

const std::string& WeekdayClicks::caption(int weekday) const {
    static const std::string none;
    return isWeekday(weekday) ? m_captions[static_cast<std::size_t>(weekday - 1)] : none;
}

std::string WeekdayClicks::weekdayName(int weekday) {
    return std::string(halvix::weekdayName(weekday));
}

int weekdayFileNumber(const WeekdayValues& values) {
    WeekdayValues sorted = values;
    std::sort(sorted.begin(), sorted.end());
    int first = 0;
    for (int value : sorted) {
        if (fromFirstClick(value))
            first = value;
    }
    return first * 100 + sorted.back() % 100;
}

bool writeWeekdayFile(const std::filesystem::path& folder, const WeekdayValues& values, MessageSink& sink) {
    if (replaceFileContent(folder / kWeekdayFileName, std::to_string(weekdayFileNumber(values))))
        return true;
    sink.show({"无法写入 xqno.txt", "提示", MessageIcon::Critical});
    return false;
}

} // namespace halvix
