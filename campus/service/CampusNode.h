#pragma once

#include "campus/CampusConfig.h"
#include "campus/ClockPing.h"
#include "campus/Command.h"
#include "campus/NodeReport.h"
#include "campus/Topics.h"
#include "emergency/EmergencyState.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace halvix {
class Bell;
struct RingRow;
} // namespace halvix

namespace halvix::campus {

class CommandDesk;
class MqttLink;
class NodeSnapshots;

// The building's side of the campus, on the window thread: takes the shared plan and the commands
// from the broker, tells the central how the building is doing. The bell never waits for it: a
// snapshot is checked and applied, and the held sounds repaired, on a thread of its own
// (NodeSnapshots), and the bell rings from its own copy whatever the network does. Everything that
// arrives is untrusted; what does not read is logged and dropped.
class CampusNode final : public QObject {
    Q_OBJECT
public:
    CampusNode(CampusConfig config, Bell& bell, MqttLink& link, QString version, QObject* parent = nullptr);
    ~CampusNode() override;

    // Subscribes and starts the heartbeat, every `heartbeatSeconds`.
    void start(int heartbeatSeconds);
    // Handles a message the link delivered; false when it was not the node's.
    bool onMessage(const QString& topic, const QByteArray& payload);

    // On the 主控, the revision it published: it is the plan it rings, and it takes no snapshot.
    void setPublishedRevision(std::uint64_t revision);

    // The status as it would be sent now.
    NodeStatus status() const;
    // Sounds of the applied plan that could not be put back, one line each.
    const std::vector<std::string>& repairProblems() const;
    // When the last snapshot was applied (milliseconds since 1970), 0 before any this run.
    std::int64_t lastSyncMs() const { return m_lastSyncMs; }

signals:
    // Something a person should learn of even unasked (a snapshot refused or applied): tray and log.
    void notice(const QString& text);

private:
    void onConnected(bool connected);
    void onEntryLogged(const RingRow& row);
    // Today's rows already in the ring log (a start during the day), read beside the bell.
    void readTodayRings();
    void takeTodayRings(std::vector<RingRow> rows);
    void heartbeat();
    void publishStatus();
    void publishToday();
    void publish(const std::string& topic, const std::string& payload, bool retain, int qos = 1);
    void snapshotApplied(std::uint64_t revision);
    void onCommand(const QByteArray& payload);
    // The campus's retained emergency state: checked, then obeyed by the bell.
    void onEmergency(const QByteArray& payload);
    // The bell's emergency changed: reported, and on the 主控 published for the campus.
    void onBellEmergencyChanged();
    void publishEmergency();
    // Does what `command` asks of the bell (立即播放 aside); the result and, when it failed, why.
    std::pair<AckResult, std::string> act(const Command& command);
    // 立即播放: answered once it is known whether the loudspeakers played it.
    void play(const Command& command);
    // Remembers the answer to `command`, publishes it and the status it left.
    void answer(const Command& command, AckResult result, std::string detail);
    void saveCommandMemory();
    bool isCommandTopic(const std::string& topic) const;

    CampusConfig m_config;
    Bell& m_bell;
    MqttLink& m_link;
    QString m_version;
    Topics m_topics;
    QTimer m_heartbeat;
    ClockPinger m_pinger;
    std::unique_ptr<CommandMemory> m_memory;
    std::unique_ptr<CommandDesk> m_desk;
    std::uint64_t m_revision = 0;
    std::string m_snapshotProblem;
    std::optional<LastRing> m_lastRing;
    std::int64_t m_lastSyncMs = 0;
    std::string m_lastToday;           // the last today report sent, not sent again unchanged
    std::vector<RingRow> m_todayRings; // the ring log's rows, oldest first, for the today report
    // The campus's emergency state as last read from the broker (or published by this 主控), and
    // why the last one offered was refused.
    std::optional<EmergencyState> m_campusEmergency;
    std::string m_emergencyProblem;
    bool m_emergencyHeard = false; // since the link last connected
    QTimer m_emergencyWait;        // on the 主控: a state kept here while the broker had none
    std::unique_ptr<NodeSnapshots> m_snapshots;
};

// Whether the kernel's time discipline keeps this machine's clock in sync (adjtimex).
bool kernelClockSynchronised();

} // namespace halvix::campus
