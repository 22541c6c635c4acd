#include "bell/window/BellTray.h"

#include "widgets/PlainText.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QSystemTrayIcon>

#include <algorithm>

namespace halvix {

namespace {

constexpr char kIconResource[] = ":/icons/bell.png";
constexpr char kTrayTip[] = "校园广播";
constexpr char kCloseItem[] = "关闭";
constexpr char kMuteItem[] = "今日静音";
constexpr char kUnmuteItem[] = "恢复响铃";
constexpr int kNoticeMs = 10000;
constexpr int kIconSize = 32;

// The bell with a yellow warning triangle over its lower right corner.
QIcon warningIcon(const QIcon& plain) {
    QPixmap pixmap = plain.pixmap(kIconSize, kIconSize);
    if (pixmap.isNull()) {
        pixmap = QPixmap(kIconSize, kIconSize);
        pixmap.fill(Qt::transparent);
    }
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = pixmap.width();
    const qreal h = pixmap.height();
    const QPolygonF triangle({QPointF(w * 0.72, h * 0.40), QPointF(w, h), QPointF(w * 0.44, h)});
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(QColor(255, 200, 0));
    painter.drawPolygon(triangle);
    painter.setPen(QPen(Qt::black, w / 14));
    painter.drawLine(QPointF(w * 0.72, h * 0.58), QPointF(w * 0.72, h * 0.82));
    painter.drawPoint(QPointF(w * 0.72, h * 0.92));
    painter.end();
    return QIcon(pixmap);
}

// "voic/早操" shows as "早操", "上课.mp3" as itself, "A&B.mp3" with its '&'.
QString shownName(const QString& sound) {
    const qsizetype slash =
        std::max(sound.lastIndexOf(QLatin1Char('/')), sound.lastIndexOf(QLatin1Char('\\')));
    return plainMenuText(slash < 0 ? sound : sound.mid(slash + 1));
}

} // namespace

BellTray::BellTray(QObject* parent)
    : QObject(parent), m_menu(std::make_unique<QMenu>()),
      m_icon(std::make_unique<QSystemTrayIcon>(QIcon(QString::fromLatin1(kIconResource)))),
      m_plainIcon(QString::fromLatin1(kIconResource)), m_warningIcon(warningIcon(m_plainIcon)) {
    m_menu->setObjectName(QStringLiteral("trayMenu"));

    // What a double click does, shown in bold as the menu's default.
    QAction* showWindow = m_menu->addAction(QStringLiteral("显示窗口"));
    showWindow->setObjectName(QStringLiteral("showAction"));
    m_menu->setDefaultAction(showWindow);
    connect(showWindow, &QAction::triggered, this, &BellTray::showRequested);

    m_playMenu = m_menu->addMenu(QStringLiteral("立即播放"));
    m_playMenu->setObjectName(QStringLiteral("playMenu"));
    m_playMenu->menuAction()->setObjectName(QStringLiteral("playAction"));
    connect(m_playMenu, &QMenu::aboutToShow, this, [this] {
        fillSoundMenu(m_playMenu, m_listSounds ? m_listSounds() : QStringList(), &BellTray::playRequested);
    });

    QAction* stop = m_menu->addAction(QStringLiteral("停止播放"));
    stop->setObjectName(QStringLiteral("stopAction"));
    connect(stop, &QAction::triggered, this, &BellTray::stopRequested);

    m_muteAction = m_menu->addAction(QString::fromUtf8(kMuteItem));
    m_muteAction->setObjectName(QStringLiteral("muteAction"));
    connect(m_muteAction, &QAction::triggered, this, [this] { emit muteRequested(!m_muted); });

    QAction* log = m_menu->addAction(QStringLiteral("响铃记录"));
    log->setObjectName(QStringLiteral("logAction"));
    connect(log, &QAction::triggered, this, &BellTray::logRequested);
    m_campusAction = m_menu->addAction(QStringLiteral("校园"));
    m_campusAction->setObjectName(QStringLiteral("campusAction"));
    m_campusAction->setVisible(false);
    connect(m_campusAction, &QAction::triggered, this, &BellTray::campusRequested);

    m_emergencyMenu = m_menu->addMenu(QStringLiteral("紧急广播"));
    m_emergencyMenu->setObjectName(QStringLiteral("emergencyMenu"));
    m_emergencyMenu->menuAction()->setObjectName(QStringLiteral("emergencyAction"));
    connect(m_emergencyMenu, &QMenu::aboutToShow, this, [this] {
        fillSoundMenu(m_emergencyMenu, m_listEmergencySounds ? m_listEmergencySounds() : QStringList(),
                      &BellTray::emergencyRequested);
    });
    m_clearEmergencyAction = m_menu->addAction(QStringLiteral("解除紧急广播"));
    m_clearEmergencyAction->setObjectName(QStringLiteral("clearEmergencyAction"));
    m_clearEmergencyAction->setEnabled(false);
    connect(m_clearEmergencyAction, &QAction::triggered, this, &BellTray::clearEmergencyRequested);

    m_menu->addSeparator();
    QAction* close = m_menu->addAction(QString::fromUtf8(kCloseItem));
    close->setObjectName(QStringLiteral("closeAction"));
    connect(close, &QAction::triggered, this, &BellTray::quitRequested);

    m_icon->setObjectName(QStringLiteral("trayIcon"));
    m_icon->setToolTip(QString::fromUtf8(kTrayTip));
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    emit showRequested();
            });
}

BellTray::~BellTray() {
    m_icon->hide();
}

void BellTray::show() {
    m_icon->show();
}

void BellTray::hide() {
    m_icon->hide();
}

bool BellTray::usable() const {
    return m_icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void BellTray::setTodayLine(const QString& line) {
    m_todayLine = line;
    showTip();
}

void BellTray::setStatus(const QString& status) {
    m_status = status;
    showTip();
}

void BellTray::showTip() {
    QStringList lines{m_problems > 0 ? QStringLiteral("%1 个铃声有问题").arg(m_problems)
                                     : QString::fromUtf8(kTrayTip)};
    if (m_campusProblems > 0)
        lines << QStringLiteral("%1 个节点有问题").arg(m_campusProblems);
    for (const QString& line : {m_emergencyLine, m_todayLine, m_status})
        if (!line.isEmpty())
            lines << line;
    // The lines quote sound names and the window's notices.
    m_icon->setToolTip(plainToolTip(lines.join(QLatin1Char('\n'))));
}

void BellTray::notify(const QString& text) {
    m_icon->showMessage(QString::fromUtf8(kTrayTip), text, QSystemTrayIcon::Warning, kNoticeMs);
}

void BellTray::setMuted(bool muted) {
    m_muted = muted;
    m_muteAction->setText(QString::fromUtf8(muted ? kUnmuteItem : kMuteItem));
}

void BellTray::setSoundProblems(int count) {
    m_problems = count;
    showIcon();
    showTip();
}

void BellTray::setCampusEntry(bool shown) {
    m_campusAction->setVisible(shown);
}

void BellTray::setCampusProblems(int nodes) {
    m_campusProblems = nodes;
    showIcon();
    showTip();
}

void BellTray::showIcon() {
    m_icon->setIcon(m_problems > 0 || m_campusProblems > 0 ? m_warningIcon : m_plainIcon);
}

QString BellTray::toolTip() const {
    return m_icon->toolTip();
}

void BellTray::setEmergency(const QString& line) {
    m_emergencyLine = line;
    m_clearEmergencyAction->setEnabled(!line.isEmpty());
    showTip();
}

void BellTray::fillSoundMenu(QMenu* menu, const QStringList& sounds,
                             void (BellTray::*chosen)(const QString&)) {
    menu->clear();
    if (sounds.isEmpty()) {
        menu->addAction(QStringLiteral("(voic 中没有声音)"))->setEnabled(false);
        return;
    }
    for (const QString& sound : sounds) {
        QAction* item = menu->addAction(shownName(sound));
        connect(item, &QAction::triggered, this, [this, sound, chosen] { emit(this->*chosen)(sound); });
    }
}

} // namespace halvix
