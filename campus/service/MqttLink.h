#pragma once

#include "campus/LinkSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;
typedef struct mqtt5__property mosquitto_property;

namespace halvix::campus {

// The connection to the campus broker (MQTT 5, TLS unless on loopback). libmosquitto runs the
// network on a thread of its own: connecting (without blocking: a broker that never answers, even
// one whose packets are dropped, holds neither the program nor its stop), reconnecting with
// growing pauses (1 s to 30 s) for as long as the link lives, keeping alive. What arrives is handed to the
// thread that owns this object (the window thread) through its event loop, so the bell's work never runs on
// the network thread and the network never waits for the bell.
//
// Subscriptions are remembered and renewed at every connect. QoS 1 messages published while the
// link is down wait in a bounded queue (the oldest go first when it is full) and are sent on the
// next connect, their expiry shortened by the time they waited (a message whose expiry passed is
// dropped: a late command must never arrive as a fresh one); retained ones replace an older
// waiting message of the same topic.
class MqttLink final : public QObject {
    Q_OBJECT
public:
    explicit MqttLink(LinkSettings settings, QObject* parent = nullptr);
    ~MqttLink() override;
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    // Starts connecting in the background; false, with the reason in Chinese, when the settings
    // cannot be used at all (a missing certificate file, say).
    bool start(QString& problem);
    // Disconnects, asking the broker to publish the will when publishWillOnStop (when connected);
    // waits for the network thread, at most about half a second whatever the broker does.
    void stop();

    void subscribe(const std::string& filter, int qos = 1);
    void unsubscribe(const std::string& filter);
    // Safe from any thread. Sent at once when connected, queued otherwise (QoS 1 and 2 only;
    // QoS 0 is dropped while down). False when it was dropped.
    bool publish(const OutMessage& message);

    bool isConnected() const;
    // Why the last attempt failed or the connection was lost, in Chinese; empty while connected.
    QString lastProblem() const;
    static constexpr std::size_t kMaxQueued = 10000;

signals:
    void connectedChanged(bool connected);
    void messageArrived(const QString& topic, const QByteArray& payload, bool retained);

private:
    void run();
    // One connection, from looking up the broker's name to its end; returns why it ended.
    int attempt();
    // On a stop: a connected link tells the broker goodbye, briefly.
    void sayGoodbye();
    bool stopping() const;
    // Has the broker keep the session (sessionExpirySeconds) after each disconnect.
    void keepSessionAfterDisconnect();
    void onConnect(int reasonCode);
    void onDisconnect(int reasonCode);
    void onMessage(const mosquitto_message& message);
    bool sendNow(const OutMessage& message);
    void flushQueue();
    void deliverConnected(bool connected);
    static void connectCallback(mosquitto*, void* self, int rc, int flags, const mosquitto_property*);
    static void disconnectCallback(mosquitto*, void* self, int rc, const mosquitto_property*);
    static void messageCallback(mosquitto*, void* self, const mosquitto_message* message,
                                const mosquitto_property*);

    LinkSettings m_settings;
    mosquitto* m_mosq = nullptr;
    std::thread m_thread;
    mutable std::mutex m_mutex; // guards what follows
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_connected = false;
    QString m_problem;
    std::set<std::pair<std::string, int>> m_subscriptions;
    struct Waiting {
        OutMessage message;
        std::chrono::steady_clock::time_point since;
    };
    std::deque<Waiting> m_queue;
};

} // namespace halvix::campus
