#pragma once

namespace halvix {

// Told by the bell what became of each entry of the day, as it happens, for the ring log. Calls
// come on the window thread from inside the bell's own operations: an implementation records and
// returns at once; it must not call back into the bell or wait for anything.
class RingObserver {
public:
    virtual ~RingObserver() = default;

    // `row` fired and its sound was started; it was due at wall-clock second `dueWallSecond`.
    virtual void entryRang(int row, long long dueWallSecond) = 0;
    // `row` was a minute or more overdue (the clock moved on, the machine slept) and was passed
    // over without sound. Rows passed over by a load (the program started late) are not reported.
    virtual void entrySkipped(int row) = 0;
};

} // namespace halvix
