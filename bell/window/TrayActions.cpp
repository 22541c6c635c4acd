#include "bell/window/TrayActions.h"

#include "bell/service/Bell.h"
#include "bell/window/BellQuestions.h"
#include "bell/window/BellTray.h"
#include "calendar/TodayMute.h"
#include "common/MessageSink.h"
#include "emergency/EmergencyState.h"
#include "ringlog/SoundCheck.h"
#include "time/CivilDate.h"
#include "widgets/UserPrompts.h"

namespace halvix {

TrayActions::TrayActions(Bell& bell, BellTray& tray, UserPrompts& prompts, QObject* parent)
    : QObject(parent), m_bell(bell), m_tray(tray), m_prompts(prompts) {
    offerSounds();
    connect(&tray, &BellTray::playRequested, this, [this](const QString& sound) {
        if (!m_bell.playNow(sound.toStdString()))
            m_tray.notify(m_bell.playRefusal());
    });
    connect(&tray, &BellTray::stopRequested, this, [this] {
        if (!m_bell.stopPlaying() && m_bell.emergency().sounding())
            m_tray.notify(m_bell.emergency().text() + QStringLiteral(": 停止请用 解除紧急广播"));
    });
    connect(&tray, &BellTray::muteRequested, this, &TrayActions::muteToday);
    connect(&tray, &BellTray::emergencyRequested, this, &TrayActions::startEmergency);
    connect(&tray, &BellTray::clearEmergencyRequested, this, &TrayActions::clearEmergency);
    connect(&m_bell.emergency(), &EmergencyControl::changed, this, &TrayActions::showEmergency);
    tray.setEmergency(m_bell.emergency().text());
    tray.setMuted(mutedByHand(m_bell.decision()));
}

void TrayActions::offerSounds() {
    const std::filesystem::path folder = m_bell.programFolder();
    m_tray.setSoundLister([folder] {
        QStringList sounds;
        for (const std::string& sound : voicSounds(folder))
            sounds << QString::fromStdString(sound);
        return sounds;
    });
    m_tray.setEmergencySoundLister([folder] {
        QStringList sounds;
        for (const std::string& sound : voicSounds(folder))
            if (emergencySoundProblem(sound).empty())
                sounds << QString::fromStdString(sound);
        return sounds;
    });
}

void TrayActions::muteToday(bool mute) {
    std::string error;
    if (!setDayMuted(m_bell.programFolder(), dateOf(m_bell.clock().now()), mute, error)) {
        // Asked from the tray with the window hidden: the answer goes where the question came from.
        m_tray.notify(QString::fromStdString(error));
        return;
    }
    m_bell.reloadPlan();
    for (const UserMessage& notice : m_bell.takeNotices())
        m_tray.notify(QString::fromStdString(notice.text));
    m_tray.setMuted(mutedByHand(m_bell.decision()));
    m_tray.notify(QString::fromUtf8(mute ? "今日静音: 今天余下的铃声不响" : "已恢复响铃"));
}

void TrayActions::startEmergency(const QString& sound) {
    if (!confirmEmergencyStart(sound, m_prompts))
        return;
    const std::string problem = m_bell.emergency().start(sound.toStdString(), {}, kTrayEmergencyBy);
    if (!problem.empty())
        m_tray.notify(QStringLiteral("紧急广播未开始: ") + QString::fromStdString(problem));
}

void TrayActions::clearEmergency() {
    // Asked for from the menu: the question waits for the one who asked.
    if (confirmEmergencyClear(m_bell.emergency(), m_prompts))
        m_bell.emergency().clear(kTrayEmergencyBy);
}

void TrayActions::showEmergency(const QString& text) {
    m_tray.setEmergency(text);
    if (!text.isEmpty())
        m_tray.notify(text);
}

} // namespace halvix
