#pragma once

#include "TempFolder.h"
#include "campus/MqttLink.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <fstream>
#include <string>

namespace halvix::test {

// A real mosquitto on a free loopback port, plain MQTT (the program allows mqtt:// on loopback
// only), for tests of the connection. `extraConfig` is added to its configuration.
class LoopbackBroker {
public:
    explicit LoopbackBroker(std::string extraConfig = {}) : m_extra(std::move(extraConfig)) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
    }
    ~LoopbackBroker() { stop(); }

    // Starts the broker and waits until it listens; false when it did not come up.
    bool start() {
        const auto config = m_folder / "mosquitto.conf";
        std::ofstream(config) << "listener " << m_port
                              << " 127.0.0.1\nallow_anonymous true\npersistence false\n"
                              << m_extra << '\n';
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("mosquitto"),
                        {QStringLiteral("-c"), QString::fromStdString(config.string())});
        if (!m_process.waitForStarted(5000))
            return false;
        for (int i = 0; i < 100; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            if (socket.waitForConnected(100))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    int port() const { return m_port; }
    // A connection to this broker as `clientId`, quick to notice a lost peer.
    campus::LinkSettings linkSettings(const std::string& clientId) const {
        campus::LinkSettings settings;
        settings.broker = {false, "127.0.0.1", m_port};
        settings.clientId = clientId;
        settings.keepAliveSeconds = 5;
        return settings;
    }
    QByteArray output() { return m_process.readAll(); }

private:
    TempFolder m_folder;
    std::string m_extra;
    int m_port = 0;
    QProcess m_process;
};

} // namespace halvix::test
