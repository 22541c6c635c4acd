#pragma once

// A PulseAudio server of one test alone, with one null output, on a socket that stays the same
// across restarts, so the server that other tests share is never touched.
#include "support/SoundRecorder.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

#include <filesystem>

namespace halvix::test {

class PrivateSoundServer {
public:
    // `admission`: the native protocol's options; by default anyone on the socket is admitted.
    PrivateSoundServer(const std::filesystem::path& folder, QString output,
                       QString admission = QStringLiteral("auth-anonymous=1"))
        : m_folder(folder), m_output(std::move(output)), m_admission(std::move(admission)) {}
    ~PrivateSoundServer() { kill(); }

    QString address() const { return "unix:" + QString::fromStdString((m_folder / "native").string()); }
    const QString& output() const { return m_output; }

    bool start() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_folder.string()));
        // Off any session bus, where the shared server may hold the name this one would take.
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        m_server.setProcessEnvironment(environment);
        m_server.start("pulseaudio",
                       {"--daemonize=no", "--exit-idle-time=-1", "-n", "--disallow-exit",
                        "--load=module-null-sink sink_name=" + m_output + " norewinds=1",
                        "--load=module-native-protocol-unix socket=" +
                            QString::fromStdString((m_folder / "native").string()) + " " + m_admission});
        for (int i = 0; i < 100; ++i) {
            if (run("pactl", {"--server=" + address(), "info"}))
                return true;
            QTest::qWait(100);
        }
        return false;
    }
    // As a crash would: no goodbye to its clients.
    void kill() {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.kill();
        m_server.waitForFinished(5000);
    }

private:
    std::filesystem::path m_folder;
    QString m_output;
    QString m_admission;
    QProcess m_server;
};

} // namespace halvix::test
