#include "exam/WeekdayFile.h"

#include "common/MessageSink.h"
#include "common/NumberText.h"
#include "common/TextFile.h"
#include "time/CivilDate.h"

#include <algorithm>
#include <optional>
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

std::string storedWeekText(const std::filesystem::path& folder) {
    const std::optional<std::string> content = readFileContent(folder / kWeekdayFileName);
    const int number = content ? readNumber(*content) : 0;
    // The digits the bell reads: hundreds the first school day, units the last.
    const int first = (number / 100) % 10;
    const int last = (number % 100) % 10;
    const auto day = [](int weekday) {
        return isWeekday(weekday) ? WeekdayClicks::weekdayName(weekday) : "未设定";
    };
    if (!isWeekday(first) && !isWeekday(last))
        return "当前: 未设定";
    if (isWeekday(first) && isWeekday(last))
        return "当前: " + day(first) + " 至 " + day(last);
    return "当前: 第一天 " + day(first) + ", 最后一天 " + day(last);
}

bool writeWeekdayFile(const std::filesystem::path& folder, const WeekdayValues& values, MessageSink& sink) {
    std::string problem;
    if (replaceFileContent(folder / kWeekdayFileName, std::to_string(weekdayFileNumber(values)), problem))
        return true;
    sink.show({"无法写入 xqno.txt", "提示", MessageIcon::Critical});
    return false;
}

} // namespace halvix
