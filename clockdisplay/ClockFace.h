#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace halvix {

class Clock;

// Which digit strip a cell of the face is copied from.
enum class DigitStrip : std::uint8_t { Large, Medium, Small };

// Which background the face shows: MM:SS in large digits under an hour, HH:MM:SS in medium
// digits of one size from an hour on, so that hours are never read as minutes.
enum class FaceKind : std::uint8_t { Minutes, Hours };

// Where one digit cell goes on the 151 x 72 background; a cell not shown is left as the
// background draws it.
struct FaceCell {
    int x;
    int y;
    DigitStrip strip;
    int width;
    int height;
    bool shown = true;
};

// The digit panel's state without any drawing: the face kind and eight digit values, recomputed
// once a second from the countdown and the weekday. The worker thread writes them and the window
// thread reads them while painting, as one atomic word: a paint shows one tick whole.
class ClockFace {
public:
    // Cell order, shared by the digit values and the layout tables.
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

    // What the face shows at one tick.
    struct Shown {
        FaceKind kind = FaceKind::Minutes;
        Digits digits{};
        bool operator==(const Shown&) const = default;
    };

    // Background and strip sizes in pixels; a cell of digit d starts at d * cell width in its strip.
    static constexpr int kBackgroundWidth = 151;
    static constexpr int kBackgroundHeight = 72;
    static constexpr int kLargeCellWidth = 24;
    static constexpr int kLargeCellHeight = 34;
    static constexpr int kMediumCellWidth = 18;
    static constexpr int kMediumCellHeight = 34;
    static constexpr int kSmallCellWidth = 12;
    static constexpr int kSmallCellHeight = 17;

    static const std::array<FaceCell, CellCount>& layout(FaceKind kind);

    // What shows for `countdown` seconds on `weekday` (1 Monday ... 7 Sunday). A countdown of 0 or
    // less shows zeros; one beyond what two hour digits hold shows 99:59:59.
    static Shown shownFor(int countdown, int weekday);
    // The countdown `shown` in words, as the face's tooltip says it: "29 分 53 秒" under an hour,
    // "1 小时 29 分 53 秒" from an hour on.
    static std::string countdownText(const Shown& shown);

    // One tick of the worker: takes the weekday from `clock`, shows `nextEntryCountdown` and
    // decrements it by one (also when it is already 0 or below).
    void updateDigits(std::atomic<int>& nextEntryCountdown, const Clock& clock);

    Shown shown() const;

private:
    // Four bits a digit, the face kind above them.
    std::atomic<std::uint64_t> m_shown{0};
};

} // namespace halvix
