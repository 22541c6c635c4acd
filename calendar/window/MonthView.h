#pragma once

#include <QCalendarWidget>
#include <QColor>
#include <QDate>
#include <QSet>

namespace halvix {

// The 校历's month view: a QCalendarWidget that also frames the 停铃 dates, so that a selected
// 停铃 date (drawn in the selection's colour, its grey gone) still shows that no bell rings.
class MonthView : public QCalendarWidget {
    Q_OBJECT

public:
    explicit MonthView(QWidget* parent = nullptr);

    // The dates to frame, and the frame's colour; replaces the dates framed before.
    void setFramedDates(QSet<QDate> dates, const QColor& colour);
    bool framed(const QDate& date) const { return m_framed.contains(date); }

protected:
    void paintCell(QPainter* painter, const QRect& rect, QDate date) const override;

private:
    QSet<QDate> m_framed;
    QColor m_frameColour;
};

} // namespace halvix
