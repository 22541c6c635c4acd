#pragma once

#include "TempFolder.h"
#include "campus/service/MqttLink.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

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

// A loopback port where no broker ever answers, of one of two kinds:
//  - BlackHole: it listens with its queue of connections full and never accepts, so the kernel
//    drops every new SYN, as for a host whose packets vanish: a connect hangs;
//  - Mute: it takes connections (the kernel completes them) and never reads or says a word: a
//    TLS handshake or an MQTT CONNECT waits for ever.
class DeafBroker {
public:
    enum class Kind { BlackHole, Mute };

    explicit DeafBroker(Kind kind) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_listener, kind == Kind::BlackHole ? 0 : 64);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        // A backlog of 0 holds one connection; the second stays half-open.
        for (int i = 0; kind == Kind::BlackHole && i < 2; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
            m_fillers.push_back(filler);
        }
        QThread::msleep(100); // the fillers' handshakes are done
    }
    ~DeafBroker() {
        for (int filler : m_fillers)
            ::close(filler);
        ::close(m_listener);
    }
    DeafBroker(const DeafBroker&) = delete;
    DeafBroker& operator=(const DeafBroker&) = delete;

    int port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

} // namespace halvix::test
