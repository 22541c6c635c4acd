#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace halvix {

class Clock;

// Which digit strip a cell of the face is copied from.
enum class DigitStrip : std::uint8_t { Large, Small };

// Where one digit cell goes on the 151 x 72 background.
struct FaceCell {
    int x;
    int y;
    DigitStrip strip;
    int width;
    int height;
};

// The digit panel's state without any drawing: eight digit values, recomputed once a second from
// the countdown and the weekday. The worker thread writes the digits and the window thread reads
// them while painting, so each one is atomic; a paint may mix digits of two consecutive ticks.
class ClockFace {
public:
    // Cell order, shared by the digit values and the layout table.
    enum Cell {
        MinuteTens,
        MinuteUnits,
        SecondTens,
        SecondUnits,
        HourTens,
        HourUnits,
        WeekdayTens,
        WeekdayUnits,
        CellCount
    };
    using Digits = std::array<int, CellCount>;

    // Background and strip sizes in pixels; a cell of digit d starts at d * cell width in its strip.
    static constexpr int kBackgroundWidth = 151;
    static constexpr int kBackgroundHeight = 72;
    static constexpr int kLargeCellWidth = 24;
    static constexpr int kLargeCellHeight = 34;
    static constexpr int kSmallCellWidth = 12;
    static constexpr int kSmallCellHeight = 17;

    static const std::array<FaceCell, CellCount>& layout();

    // The digits shown for `countdown` seconds on `weekday` (1 Monday ... 7 Sunday). A countdown of
    // 0 or less shows zeros; one beyond what two hour digits hold shows 99:59:59.
    static Digits digitsFor(int countdown, int weekday);

    // One tick of the worker: takes the weekday from `clock`, shows `nextEntryCountdown` and
    // decrements it by one (also when it is already 0 or below).
    void updateDigits(std::atomic<int>& nextEntryCountdown, const Clock& clock);

    Digits digits() const;

private:
    std::array<std::atomic<std::uint8_t>, CellCount> m_digits{};
};

} // namespace halvix
