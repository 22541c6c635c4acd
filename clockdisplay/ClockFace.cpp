#include "clockdisplay/ClockFace.h"

#include "time/LocalTime.h"

#include <algorithm>

namespace halvix {

namespace {

// The largest countdown two hour digits can show: 99:59:59.
constexpr int kLargestShown = 99 * 3600 + 59 * 60 + 59;

int tensOf(int value) {
    return value / 10 % 10;
}
int unitsOf(int value) {
    return value % 10;
}

} // namespace

const std::array<FaceCell, ClockFace::CellCount>& ClockFace::layout() {
    static constexpr std::array<FaceCell, CellCount> cells{{
        {5, 33, DigitStrip::Large, kLargeCellWidth, kLargeCellHeight},
        {32, 33, DigitStrip::Large, kLargeCellWidth, kLargeCellHeight},
        {65, 33, DigitStrip::Large, kLargeCellWidth, kLargeCellHeight},
        {92, 33, DigitStrip::Large, kLargeCellWidth, kLargeCellHeight},
        {120, 50, DigitStrip::Small, kSmallCellWidth, kSmallCellHeight},
        {134, 50, DigitStrip::Small, kSmallCellWidth, kSmallCellHeight},
        {5, 5, DigitStrip::Small, kSmallCellWidth, kSmallCellHeight},
        {19, 5, DigitStrip::Small, kSmallCellWidth, kSmallCellHeight},
    }};
    return cells;
}

ClockFace::Digits ClockFace::digitsFor(int countdown, int weekday) {
    const int shown = std::clamp(countdown, 0, kLargestShown);
    const int hours = shown / 3600;
    const int minutes = shown % 3600 / 60;
    const int seconds = shown % 60;
    // The face counts the week from Sunday = 0.
    const int sundayBased = ((weekday % 7) + 7) % 7;
    return {tensOf(minutes), unitsOf(minutes), tensOf(seconds),     unitsOf(seconds),
            tensOf(hours),   unitsOf(hours),   tensOf(sundayBased), unitsOf(sundayBased)};
}

void ClockFace::updateDigits(std::atomic<int>& nextEntryCountdown, const Clock& clock) {
    const int weekday = clock.now().weekday;
    // One atomic step: a value the bell writes meanwhile is never lost, it starts the next ticks.
    const int countdown = nextEntryCountdown.fetch_sub(1);
    const Digits shown = digitsFor(countdown, weekday);
    for (std::size_t cell = 0; cell < shown.size(); ++cell)
        m_digits[cell].store(static_cast<std::uint8_t>(shown[cell]), std::memory_order_relaxed);
}

ClockFace::Digits ClockFace::digits() const {
    Digits values{};
    for (std::size_t cell = 0; cell < values.size(); ++cell)
        values[cell] = m_digits[cell].load(std::memory_order_relaxed);
    return values;
}

} // namespace halvix
