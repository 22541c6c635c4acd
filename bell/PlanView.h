#pragma once

namespace halvix {

// What the bell asks of the list that shows the day plan. The main window implements it; the bell
// itself never touches a widget. Calls come on the window thread, from inside the bell's own
// operations: an implementation only updates its view and must not call back into the bell.
class PlanView {
public:
    virtual ~PlanView() = default;

    // Column 5 (the status) of `row` was rewritten.
    virtual void statusChanged(int row) = 0;
    // `row` is the armed entry: scroll it to the top of the list and select it.
    virtual void showArmedRow(int row) = 0;
    // An entry fired: `row` gets the selected and focused states, `row` - 1 loses both.
    // `row` may be one past the last row, which then only loses its states on `row` - 1.
    virtual void advanceSelection(int row) = 0;
    // The nightly reload replaced the whole plan (columns and rows): show it afresh.
    virtual void planReplaced() = 0;
};

} // namespace halvix
