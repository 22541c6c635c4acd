#pragma once

#include "campus/CampusConfig.h"
#include "campus/CommandComposer.h"
#include "campus/SnapshotPublisher.h"
#include "campus/Topics.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace halvix::campus {

class MqttLink;

// What became of a publication someone asked for (halvix campus push).
struct PushOutcome {
    enum class Kind { Published, Unchanged, Failed };
    Kind kind = Kind::Failed;
    std::uint64_t revision = 0;
    QString text; // Chinese, one line
};

// The central's part of the campus. It publishes the shared plan whenever what it shares changed:
// at start-up, after every save (checkNow), at a short periodic check that catches any other
// change, and on request (push). The snapshot is built and its new sounds are sent on a worker
// thread, so hashing a folder of sounds never holds up the bell; the revision is stored only once
// the broker has echoed the snapshot back, so a publication lost on the way is made again.
//
// It answers the nodes' clock pings, sends commands, and hands on what the nodes report (status,
// answers, ring-log rows) as it arrived, for the board and the ring log to read.
class CampusCentral final : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int checkMs = 5000;    // the periodic check
        int settleMs = 1000;   // after connecting, the wait for the broker's retained snapshot
        int confirmMs = 60000; // how long a push waits for the broker's echo
    };

    CampusCentral(std::filesystem::path folder, CampusConfig config, MqttLink& link, Timing timing,
                  QObject* parent = nullptr);
    CampusCentral(std::filesystem::path folder, CampusConfig config, MqttLink& link,
                  QObject* parent = nullptr)
        : CampusCentral(std::move(folder), std::move(config), link, Timing{}, parent) {}
    ~CampusCentral() override;
    CampusCentral(const CampusCentral&) = delete;
    CampusCentral& operator=(const CampusCentral&) = delete;

    // Subscribes to what the nodes send and starts the periodic check.
    void start();
    // Something shared may have changed (a save, an import): build again, publish when it did.
    void checkNow();
    // Publishes now when what is shared changed; `done` gets the outcome once.
    void push(std::function<void(const PushOutcome&)> done);
    // Sends a command; nothing, with the reason in Chinese, when it is refused or cannot go out.
    std::optional<Command> send(const CommandRequest& request, QString& problem);

    // The revision the broker holds (0 before any is known).
    std::uint64_t revision() const { return m_holdings.revision; }
    const Topics& topics() const { return m_topics; }

signals:
    void published(quint64 revision);
    // A publication that failed while nobody asked (for the tray and the log).
    void publishProblem(const QString& text);
    void commandSent(const halvix::campus::Command& command);
    // What a node sent, with the node's id from the topic; checked by whoever reads it.
    void statusArrived(const QString& node, const QByteArray& payload);
    void ackArrived(const QString& node, const QByteArray& payload);
    void logArrived(const QString& node, const QByteArray& payload);

private:
    struct Waiter {
        std::function<void(const PushOutcome&)> done;
    };
    void onConnected(bool connected);
    void onMessage(const QString& topic, const QByteArray& payload, bool retained);
    void onSnapshotEcho(const QByteArray& payload);
    void confirmIfEchoed();
    void publishSoundList(std::uint64_t revision);
    void answerPing(const std::string& node, const QByteArray& payload);
    void startJob();
    void onJobDone(const Publication& publication);
    void answer(std::vector<Waiter>& waiters, const PushOutcome& outcome);
    void workerLoop();

    std::filesystem::path m_folder;
    CampusConfig m_config;
    MqttLink& m_link;
    Timing m_timing;
    Topics m_topics;
    std::string m_root; // of every topic of the campus, with the final '/'
    CommandComposer m_composer;
    QTimer m_checkTimer;
    QTimer m_settleTimer;
    QTimer m_confirmTimer;

    // What the broker holds; reset at every connect and learnt again from its retained snapshot.
    BrokerHoldings m_holdings;
    bool m_settled = false;
    std::vector<SnapshotSound> m_heldSounds;     // of the broker's snapshot
    std::vector<SnapshotSound> m_replacedSounds; // of the one before it, to clear those left over
    std::string m_soundList;                     // published since the last connect

    // One job at a time on the worker; a check asked for meanwhile runs after it.
    bool m_jobRunning = false;
    bool m_again = false;
    std::vector<Waiter> m_nextWaiters; // wait for the next job
    std::vector<Waiter> m_jobWaiters;  // wait for the running job
    std::vector<Waiter> m_echoWaiters; // wait for the broker's echo of what was sent
    std::optional<Publication> m_sent; // sent, not yet echoed
    std::uint64_t m_lastSentRevision = 0;
    QString m_lastProblem; // told once while it lasts

    std::shared_ptr<SoundHashCache> m_cache;
    std::thread m_worker;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_task; // guarded by m_mutex
    bool m_stopping = false;      // guarded by m_mutex
};

} // namespace halvix::campus
