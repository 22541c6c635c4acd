#include "clockdisplay/ClockFace.h"

#include "time/LocalTime.h"

#include <algorithm>

namespace halvix {

namespace {

// The largest countdown two hour digits can show: 99:59:59.
constexpr int kLargestShown = 99 * 3600 + 59 * 60 + 59;
constexpr int kDigitBits = 4;
constexpr int kKindShift = ClockFace::CellCount * kDigitBits;

int tensOf(int value) {
    return value / 10 % 10;
}
int unitsOf(int value) {
    return value % 10;
}

std::uint64_t packed(const ClockFace::Shown& shown) {
    std::uint64_t word = static_cast<std::uint64_t>(shown.kind) << kKindShift;
    for (std::size_t cell = 0; cell < shown.digits.size(); ++cell)
        word |= static_cast<std::uint64_t>(shown.digits[cell]) << (cell * kDigitBits);
    return word;
}

ClockFace::Shown unpacked(std::uint64_t word) {
    ClockFace::Shown shown;
    shown.kind = static_cast<FaceKind>(word >> kKindShift);
    for (std::size_t cell = 0; cell < shown.digits.size(); ++cell)
        shown.digits[cell] = static_cast<int>(word >> (cell * kDigitBits) & 0xf);
    return shown;
}

} // namespace

const std::array<FaceCell, ClockFace::CellCount>& ClockFace::layout(FaceKind kind) {
    constexpr DigitStrip L = DigitStrip::Large;
    constexpr DigitStrip M = DigitStrip::Medium;
    constexpr DigitStrip S = DigitStrip::Small;
    // Under an hour the hour cells stay unlit, as the background draws them.
    static constexpr std::array<FaceCell, CellCount> minutes{{
        {5, 33, L, kLargeCellWidth, kLargeCellHeight},
        {32, 33, L, kLargeCellWidth, kLargeCellHeight},
        {65, 33, L, kLargeCellWidth, kLargeCellHeight},
        {92, 33, L, kLargeCellWidth, kLargeCellHeight},
        {120, 50, S, kSmallCellWidth, kSmallCellHeight, false},
        {134, 50, S, kSmallCellWidth, kSmallCellHeight, false},
        {5, 5, S, kSmallCellWidth, kSmallCellHeight},
        {19, 5, S, kSmallCellWidth, kSmallCellHeight},
    }};
    static constexpr std::array<FaceCell, CellCount> hours{{
        {56, 33, M, kMediumCellWidth, kMediumCellHeight},
        {76, 33, M, kMediumCellWidth, kMediumCellHeight},
        {104, 33, M, kMediumCellWidth, kMediumCellHeight},
        {124, 33, M, kMediumCellWidth, kMediumCellHeight},
        {8, 33, M, kMediumCellWidth, kMediumCellHeight},
        {28, 33, M, kMediumCellWidth, kMediumCellHeight},
        {5, 5, S, kSmallCellWidth, kSmallCellHeight},
        {19, 5, S, kSmallCellWidth, kSmallCellHeight},
    }};
    return kind == FaceKind::Hours ? hours : minutes;
}

ClockFace::Shown ClockFace::shownFor(int countdown, int weekday) {
    const int shown = std::clamp(countdown, 0, kLargestShown);
    const int hours = shown / 3600;
    const int minutes = shown % 3600 / 60;
    const int seconds = shown % 60;
    // The face counts the week from Sunday = 0.
    const int sundayBased = ((weekday % 7) + 7) % 7;
    return {hours > 0 ? FaceKind::Hours : FaceKind::Minutes,
            {tensOf(minutes), unitsOf(minutes), tensOf(seconds), unitsOf(seconds), tensOf(hours),
             unitsOf(hours), tensOf(sundayBased), unitsOf(sundayBased)}};
}

std::string ClockFace::countdownText(const Shown& shown) {
    const auto value = [&shown](Cell tens, Cell units) {
        return std::to_string(shown.digits[tens] * 10 + shown.digits[units]);
    };
    const std::string minutesAndSeconds =
        value(MinuteTens, MinuteUnits) + " 分 " + value(SecondTens, SecondUnits) + " 秒";
    if (shown.kind == FaceKind::Minutes)
        return minutesAndSeconds;
    return value(HourTens, HourUnits) + " 小时 " + minutesAndSeconds;
}

void ClockFace::updateDigits(std::atomic<int>& nextEntryCountdown, const Clock& clock) {
    const int weekday = clock.now().weekday;
    // One atomic step: a value the bell writes meanwhile is never lost, it starts the next ticks.
    const int countdown = nextEntryCountdown.fetch_sub(1);
    m_shown.store(packed(shownFor(countdown, weekday)), std::memory_order_relaxed);
}

ClockFace::Shown ClockFace::shown() const {
    return unpacked(m_shown.load(std::memory_order_relaxed));
}

} // namespace halvix
