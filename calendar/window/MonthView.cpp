#include "calendar/window/MonthView.h"

#include <QPainter>
#include <utility>

namespace halvix {

namespace {

// Wide enough to see on the selection's colour, narrow enough to leave the number clear.
constexpr int kFrameWidth = 2;

} // namespace

MonthView::MonthView(QWidget* parent) : QCalendarWidget(parent) {}

void MonthView::setFramedDates(QSet<QDate> dates, const QColor& colour) {
    m_framed = std::move(dates);
    m_frameColour = colour;
    updateCells();
}

void MonthView::paintCell(QPainter* painter, const QRect& rect, QDate date) const {
    QCalendarWidget::paintCell(painter, rect, date);
    if (!m_framed.contains(date))
        return;
    painter->save();
    QPen pen(m_frameColour, kFrameWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    // The pen is centred on the path: inset by half its width, the whole frame is in the cell.
    painter->drawRect(QRectF(rect).adjusted(kFrameWidth / 2.0 + 1, kFrameWidth / 2.0 + 1,
                                            -kFrameWidth / 2.0 - 1, -kFrameWidth / 2.0 - 1));
    painter->restore();
}

} // namespace halvix
