#include "widgets/WeekStart.h"

#include <QCalendarWidget>
#include <QDateEdit>

namespace halvix {

void beginWeeksOnMonday(QWidget* root) {
    // A picker makes its month view on the first ask: made now, it is found below.
    for (QDateEdit* picker : root->findChildren<QDateEdit*>())
        picker->calendarWidget();
    for (QCalendarWidget* view : root->findChildren<QCalendarWidget*>())
        view->setFirstDayOfWeek(Qt::Monday);
}

} // namespace halvix
