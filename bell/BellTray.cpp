#include "bell/BellTray.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace halvix {

namespace {

constexpr char kIconResource[] = ":/icons/bell.png";
constexpr char kTrayTip[] = "校园广播";
constexpr char kCloseItem[] = "关闭";
constexpr int kNoticeMs = 10000;

} // namespace

BellTray::BellTray(QObject* parent)
    : QObject(parent), m_menu(std::make_unique<QMenu>()),
      m_icon(std::make_unique<QSystemTrayIcon>(QIcon(QString::fromLatin1(kIconResource)))) {
    m_menu->setObjectName(QStringLiteral("trayMenu"));
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
    m_icon->setToolTip(QString::fromUtf8(kTrayTip) + QLatin1Char('\n') + line);
}

void BellTray::notify(const QString& text) {
    m_icon->showMessage(QString::fromUtf8(kTrayTip), text, QSystemTrayIcon::Warning, kNoticeMs);
}

} // namespace halvix
