#pragma once

#include <array>
#include <filesystem>
#include <string>

namespace halvix {

class MessageSink;

inline constexpr int kWeekdayCount = 7;
// Index 0 is 星期一 (weekday 1) ... index 6 is 星期日 (weekday 7).
using WeekdayValues = std::array<int, kWeekdayCount>;

inline constexpr const char* kWeekdayFileName = "xqno.txt";

// How the user marks the first and last school day of the week: each click on a weekday box
// records clickCount * 10 + weekday, so the box clicked first and the box clicked last can be told.
class WeekdayClicks {
public:
    WeekdayClicks();

    // Counts a click on weekday 1..7 (checking or unchecking alike); other numbers are ignored.
    void click(int weekday);
    void reset();

    int clickCount() const { return m_clickCount; }
    const WeekdayValues& weekdayValues() const { return m_values; }
    // The box's name followed by "  n" for every click it got.
    const std::string& caption(int weekday) const;

    static std::string weekdayName(int weekday);

private:
    int m_clickCount = 0;
    WeekdayValues m_values{};
    std::array<std::string, kWeekdayCount> m_captions;
};

// first * 100 + last, where first is the value of the box clicked first (0 when none) and last the
// largest value. Only the last's two lowest digits are kept, so that the weekday digits stay apart
// after ten or more clicks.
int weekdayFileNumber(const WeekdayValues& values);

// The week "xqno.txt" in `folder` holds, in words: "当前: 星期一 至 星期五" (1125); a day the number
// does not name reads 未设定, as the bell then has no first or last school day.
std::string storedWeekText(const std::filesystem::path& folder);

// Writes the number without a line end into "xqno.txt" in `folder`; tells the user when it cannot.
bool writeWeekdayFile(const std::filesystem::path& folder, const WeekdayValues& values, MessageSink& sink);

} // namespace halvix
