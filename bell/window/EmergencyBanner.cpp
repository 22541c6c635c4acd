#include "bell/window/EmergencyBanner.h"

#include "bell/service/EmergencyControl.h"
#include "bell/window/BellQuestions.h"
#include "emergency/EmergencyState.h"

#include <QDateTime>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace halvix {

QString emergencyStartText(long long sinceMs) {
    return QStringLiteral("开始于 ") +
           QDateTime::fromMSecsSinceEpoch(sinceMs).toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

EmergencyBanner::EmergencyBanner(EmergencyControl& emergency, UserPrompts& prompts, QWidget* window)
    : QFrame(window), m_emergency(emergency), m_prompts(prompts), m_line(new QLabel(this)) {
    auto* clear = new QPushButton(QStringLiteral("解除紧急广播"), this);
    setObjectName(QStringLiteral("emergencyBanner"));
    setAccessibleName(QStringLiteral("紧急广播"));
    setAutoFillBackground(true);
    // Red whatever the dialog palette says; white bold text reads on it from across the room.
    setStyleSheet(QStringLiteral("#emergencyBanner { background: #c8102e; }"
                                 "#emergencyBanner QLabel { color: white; font-weight: bold; }"));
    m_line->setObjectName(QStringLiteral("emergencyLine"));
    m_line->setTextFormat(Qt::PlainText); // the sound's name is text, never markup
    QFont big = m_line->font();
    big.setPixelSize(20);
    m_line->setFont(big);
    clear->setObjectName(QStringLiteral("clearEmergencyButton"));
    QFont buttonFont = clear->font();
    buttonFont.setPixelSize(16);
    clear->setFont(buttonFont);
    clear->setMinimumHeight(kHeight - 16);
    clear->setAutoDefault(false); // Enter in the window never clears it
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 6, 14, 6);
    layout->addWidget(m_line, 1);
    layout->addWidget(clear);
    connect(clear, &QPushButton::clicked, this, &EmergencyBanner::askToClear);
    setGeometry(0, 0, window->width(), kHeight);
    hide();
}

void EmergencyBanner::askToClear() {
    if (confirmEmergencyClear(m_emergency, m_prompts))
        m_emergency.clear(kWindowEmergencyBy);
}

bool EmergencyBanner::follow() {
    const bool sounding = m_emergency.sounding();
    if (sounding)
        m_line->setText(QStringLiteral("紧急广播中  ") + QString::fromStdString(m_emergency.state().sound) +
                        QStringLiteral("  ") + emergencyStartText(m_emergency.state().sinceMs));
    setVisible(sounding);
    if (sounding)
        raise();
    return sounding;
}

QString EmergencyBanner::text() const {
    return m_line->text();
}

} // namespace halvix
