#pragma once

#include "campus/SoundRepair.h"
#include "campus/Topics.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

class QThread;

namespace halvix::campus {

class MqttLink;
class SnapshotWorker;

// A building's copy of the shared plan, kept from what the broker sends, on a thread of its own:
// the bell never waits for it. A newer snapshot is checked and applied whole. The snapshot of the
// revision already applied, which the broker hands over again at every connect, has the held
// sounds checked against their hashes, and those lost or damaged since are fetched and put back.
// Subscribes to the topics of the sounds it waits for, and only to those.
class NodeSnapshots final : public QObject {
    Q_OBJECT
public:
    // A sound to put back that the broker has not sent within this long counts as one it lacks.
    static constexpr int kRepairWaitMs = 10000;

    NodeSnapshots(std::filesystem::path folder, MqttLink& link, Topics topics,
                  int repairWaitMs = kRepairWaitMs, QObject* parent = nullptr);
    // A check of the held sounds under way ends early: quitting never waits for the hashing.
    ~NodeSnapshots() override;

    void offerSnapshot(const QByteArray& payload);
    // False when `topic` is not a sound this building waits for.
    bool offerSound(const std::string& topic, const QByteArray& payload);

    // One line for each sound of the applied plan that could not be put back, for the status.
    const std::vector<std::string>& repairProblems() const { return m_problems; }

signals:
    void applied(quint64 revision);
    void refused(const QString& problem);
    // Sounds of the applied plan were put back: "上课.mp3 (缺失), 下课.mp3 (已损坏)".
    void repaired(const QString& sounds);
    void repairProblemsChanged();

private:
    struct Outcome;
    // `hash` empty: a snapshot; else the bytes of that sound.
    void offer(std::string hash, QByteArray payload);
    void done(const Outcome& outcome);
    void subscribeSounds(const std::vector<std::string>& hashes);
    void followRepair(const std::vector<DamagedSound>& damaged, bool newCheck);
    void updateProblems();

    MqttLink& m_link;
    Topics m_topics;
    std::set<std::string> m_soundTopics;
    std::vector<DamagedSound> m_damaged; // of the applied revision, not put back yet
    std::set<std::string> m_overdue;     // hashes the broker did not send in time
    std::vector<std::string> m_problems;
    QTimer m_repairWait;
    QThread* m_thread = nullptr;
    SnapshotWorker* m_worker = nullptr; // lives on m_thread
};

} // namespace halvix::campus
