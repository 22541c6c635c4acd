#pragma once

#include <array>
#include <string_view>

namespace halvix {

struct Rgb {
    int red;
    int green;
    int blue;
};

// How the month view and its legend mark a date: text on background. Every pair keeps a contrast
// of at least 4.5:1, so that a marked date stays as easy to read as an unmarked one.
struct DayColours {
    std::string_view name;
    Rgb background;
    Rgb text;
};

inline constexpr DayColours kSilentDay{"停铃", {0xd0, 0xd0, 0xd0}, {0x33, 0x33, 0x33}};
inline constexpr DayColours kMakeUpDay{"调休", {0xff, 0xcc, 0x80}, {0x00, 0x00, 0x00}};
inline constexpr DayColours kExamDay{"考试", {0xf8, 0xbb, 0xd0}, {0x00, 0x00, 0x00}};
inline constexpr DayColours kSpringTerm{"春季", {0xc5, 0xe1, 0xa5}, {0x00, 0x00, 0x00}};
inline constexpr DayColours kAutumnTerm{"秋季", {0x90, 0xca, 0xf9}, {0x00, 0x00, 0x00}};
// Saturday and Sunday are written in this red on every mark but 调休 (a school day), as on none:
// it keeps 4.5:1 on each background too. 停铃 dates are also framed in their text colour, which
// the selection's colour does not hide.
inline constexpr Rgb kWeekendText{0xa0, 0x00, 0x00};
inline constexpr DayColours kWeekendDay{"周末", {0xff, 0xff, 0xff}, kWeekendText};

inline constexpr std::array<DayColours, 6> kDayColours{kSilentDay,  kMakeUpDay,  kExamDay,
                                                       kSpringTerm, kAutumnTerm, kWeekendDay};

} // namespace halvix
