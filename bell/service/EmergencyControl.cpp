#include "bell/service/EmergencyControl.h"

#include "audio/SoundChannel.h"
#include "bell/BellEngine.h"
#include "bell/DayPlan.h"
#include "bell/Playback.h"
#include "common/PathText.h"
#include "emergency/EmergencyFile.h"
#include "ringlog/SoundCheck.h"

#include <QDateTime>

#include <utility>

namespace halvix {

namespace {

// Ticks of silence after which the loop is started again: a streamed sound has ended, or the sound
// could not be played. Two, so that a sound still starting is not cut off by a restart.
constexpr int kRestartTicks = 2;

} // namespace

EmergencyControl::EmergencyControl(std::filesystem::path programFolder, SoundChannel& player,
                                   Playback& playback, BellEngine& engine, QObject* parent)
    : QObject(parent), m_folder(std::move(programFolder)), m_player(player), m_playback(playback),
      m_engine(engine) {
    // An emergency that was on when the program ended (killed, a power cut) goes on at once: the
    // plan is held from the first load, and the first tick starts the loop.
    std::string problem;
    m_state = loadEmergency(m_folder, problem);
    if (!problem.empty())
        m_startNotices << QStringLiteral("紧急广播状态无法读取, 按没有紧急广播运行: %1")
                              .arg(QString::fromStdString(problem));
    if (sounding()) {
        m_playback.hold(true, emergencyLine(m_state));
        m_quietTicks = kRestartTicks;
        m_resumed = true;
    }
}

void EmergencyControl::setOwnZones(std::vector<std::string> zones) {
    const bool was = sounding();
    m_ownZones = std::move(zones);
    obey(was, m_state.sound);
}

QString EmergencyControl::text() const {
    return sounding() ? QString::fromStdString(emergencyLine(m_state)) : QString();
}

std::string EmergencyControl::start(const std::string& sound, std::vector<std::string> zones,
                                    const std::string& by) {
    if (std::string why = emergencySoundProblem(sound); !why.empty())
        return sound + ": " + why;
    if (const auto problem = checkSound(m_folder, sound))
        return sound + ": " + problem->reason;
    set({true, sound, std::move(zones), QDateTime::currentMSecsSinceEpoch(), by});
    return {};
}

bool EmergencyControl::clear(const std::string& by) {
    if (!m_state.active)
        return false;
    set({false, {}, {}, QDateTime::currentMSecsSinceEpoch(), by});
    return true;
}

void EmergencyControl::set(const EmergencyState& state) {
    if (state == m_state)
        return; // the retained state delivered again, or the same request twice
    std::string problem;
    if (!saveEmergency(m_folder, state, problem))
        emit unattendedNotice(QStringLiteral("紧急广播状态无法保存, 程序重启后不会继续: %1")
                                  .arg(QString::fromStdString(problem)));
    const bool was = sounding();
    const std::string soundBefore = m_state.sound;
    m_state = state;
    obey(was, soundBefore);
    emit stateChanged();
}

void EmergencyControl::obey(bool wasSounding, const std::string& soundBefore) {
    const bool now = sounding();
    if (now == wasSounding && (!now || soundBefore == m_state.sound))
        return;
    m_problemTold = false;
    m_quietTicks = 0;
    m_heard = false;
    m_resumed = false;
    if (now) {
        // Whatever plays stops at once, the playlist with it; the loop takes the single-bell player.
        m_playback.stopAll();
        m_playback.hold(true, emergencyLine(m_state));
        startSiren();
        if (!wasSounding)
            tellAction("紧急广播", RingResult::Emergency, "", "");
    } else {
        m_playback.hold(false);
        m_playback.stopAll();
        // The armed entry was not prepared while held: it is now, so it rings on time.
        if (const PlanEntry* armed = m_engine.armedEntry())
            m_playback.prepareSound(armed->sound);
        // Only a real clear is told: a state for other zones was never this program's to sound.
        if (!m_state.active)
            tellAction("解除紧急广播", RingResult::Stopped, soundBefore, "");
    }
    emit changed(text());
}

bool EmergencyControl::startSiren() {
    const ResolvedSound sound = SoundResolver(m_folder).resolve(m_state.sound);
    if (!sound.location || sound.location->folder) {
        if (!m_problemTold) {
            m_problemTold = true;
            emit unattendedNotice(
                QStringLiteral("紧急广播的声音无法播放 (%1: %2); 计划的铃声仍不响")
                    .arg(QString::fromStdString(m_state.sound),
                         QString::fromStdString(sound.location ? "是文件夹" : sound.problem)));
        }
        return false;
    }
    const std::string path = pathToUtf8(sound.location->path);
    // Prepared, so the decoded sound stays at hand for every restart of the loop.
    m_player.prepare(path);
    m_player.playLoop(path);
    return true;
}

void EmergencyControl::onTick() {
    for (const QString& notice : std::exchange(m_startNotices, {}))
        emit unattendedNotice(notice);
    if (!sounding())
        return;
    if (std::exchange(m_resumed, false))
        tellAction("紧急广播", RingResult::Emergency, "", "程序启动时继续");
    if (m_player.isPlaying()) {
        m_quietTicks = 0;
        m_heard = true;
        return;
    }
    // Still decoding, or a moment's underrun on a busy machine: the loop goes on by itself.
    if (m_player.isLooping())
        return;
    // A sound that was heard and ended (streamed: too long to loop from memory) starts again at once;
    // one never heard yet may still be starting.
    if (std::exchange(m_heard, false) || ++m_quietTicks >= kRestartTicks) {
        m_quietTicks = 0;
        startSiren();
    }
}

void EmergencyControl::tellAction(const char* event, RingResult result, const std::string& sound,
                                  const std::string& note) {
    RingOutcome action;
    action.event = event;
    action.sound = sound.empty() ? m_state.sound : sound;
    action.result = result;
    action.note = note;
    if (!m_state.by.empty())
        action.note += (note.empty() ? "由 " : ", 由 ") + m_state.by;
    m_engine.tell(action);
}

} // namespace halvix
