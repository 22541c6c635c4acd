#pragma once

#include "bell/RingResult.h"
#include "emergency/EmergencyState.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace halvix {

class BellEngine;
class Playback;
class SoundChannel;

// 紧急广播 on one bell: takes a checked state (from the tray, the command line, or a campus node's
// retained topic), keeps it in the program folder so that a restart resumes it, and obeys it at
// once: what sounds stops and the emergency sound loops on the single-bell player; the plan's
// entries stay silent and are told 紧急广播中. Cleared, the plan rings on from its next entry.
class EmergencyControl final : public QObject {
    Q_OBJECT

public:
    EmergencyControl(std::filesystem::path programFolder, SoundChannel& player, Playback& playback,
                     BellEngine& engine, QObject* parent = nullptr);

    // The same state again changes nothing. A state that cannot be kept is still obeyed, with a notice.
    void set(const EmergencyState& state);
    const EmergencyState& state() const { return m_state; }
    // The emergency as the tray and the command line start it, now, by `by`: an empty text, or why
    // `sound` cannot be the emergency sound (then nothing changes).
    std::string start(const std::string& sound, std::vector<std::string> zones, const std::string& by);
    // Clears it now, by `by`; false when none was active.
    bool clear(const std::string& by);
    // The emergency is active and names a zone of this program (see EmergencyState::concerns).
    bool sounding() const { return m_state.concerns(m_ownZones); }
    // The zones this program belongs to (a campus node's, from campus.ini); none by default.
    void setOwnZones(std::vector<std::string> zones);
    // "紧急广播中: 警报.mp3" while it sounds here; empty otherwise.
    QString text() const;
    // Once a tick: keeps the loop going, and says what the start found.
    void onTick();

signals:
    void unattendedNotice(const QString& text);
    // The emergency began, changed or ended here: `text` as text() says it.
    void changed(const QString& text);
    // The state changed in any way (also one for other zones, or its clear): a campus node reports
    // it, the central publishes it.
    void stateChanged();

private:
    // Follows a change of the state: starts or ends the loop, holds or releases the plan.
    void obey(bool wasSounding, const std::string& soundBefore);
    // Starts the loop on the single-bell player; false when its sound leads nowhere.
    bool startSiren();
    void tellAction(const char* event, RingResult result, const std::string& sound, const std::string& note);

    std::filesystem::path m_folder;
    SoundChannel& m_player;
    Playback& m_playback;
    BellEngine& m_engine;
    EmergencyState m_state;
    std::optional<std::vector<std::string>> m_ownZones; // none: outside any campus
    int m_quietTicks = 0;                               // ticks the loop was heard silent
    bool m_problemTold = false;                         // its sound's problem has been told once
    bool m_heard = false;                               // the loop was heard playing since it last started
    bool m_resumed = false;     // the state file's emergency, resumed at the first tick
    QStringList m_startNotices; // said at the first tick, once someone listens
};

} // namespace halvix
