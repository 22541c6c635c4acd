#pragma once

class QWidget;

namespace halvix {

// Weeks begin on Monday in every month view of `root`, its date pickers' among them, as a
// school's week does, whatever the locale says (Chinese, the program's, begins on Sunday).
void beginWeeksOnMonday(QWidget* root);

} // namespace halvix
