#pragma once

#include "campus/CampusConfig.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <string>

namespace halvix {
class Bell;
}

namespace halvix::campus {

class CampusCentral;
class CampusNode;
class MqttLink;
class NodeBoard;
struct CampusAction;

// The program's part in a campus, made once at start when the program folder holds campus.ini:
// the one connection to the broker, this building's node and, on the 主控, the central's part.
// Without campus.ini nothing is made and no socket opened; with a campus.ini that does not read,
// its errors are told and no socket opened either: the bell rings its own plan as it would alone.
class CampusRuntime final : public QObject {
    Q_OBJECT
public:
    // Reads campus.ini at once, so that the bell sounds an emergency only for this building's zones
    // from its first tick on.
    CampusRuntime(Bell& bell, QString version, QObject* parent = nullptr);
    ~CampusRuntime() override;

    // Connects; what is wrong is told by notice (call after connecting it).
    void start();
    bool active() const { return m_link != nullptr; }
    bool connected() const { return m_connected; }
    // The 主控's part; null on a building that is not the 主控.
    CampusCentral* central() const { return m_central.get(); }
    // On the 主控: every building as its reports show it, for the 校园 window.
    const NodeBoard* board() const { return m_board.get(); }
    // Sends what the 校园 window asked; a refusal is told as a notice.
    void request(const CampusAction& action);
    // On the 主控, the 校园 window's 紧急广播 and its clear: the bell obeys and the campus learns it
    // (CampusNode publishes every change of the 主控's state). A refusal is told as a notice.
    void startEmergency(const QString& sound, const QStringList& zones);
    void clearEmergency();
    // The lines of `halvix campus status` for this running program.
    QString statusText() const;

signals:
    // For the tray and the log, never a box: nobody asked.
    void notice(const QString& text);
    // On the 主控: how many buildings are in trouble (offline in the school day, or behind).
    void buildingsInTrouble(int count);

private:
    void onConnectedChanged(bool connected);
    // The 主控's part: publishing the plan, answering the buildings' clocks, collecting their reports.
    void startCentral();
    // Feeds the board what the buildings report and turns its judgements into notices.
    void followBuildings();
    // Who the 校园 window's emergency is by, for the ring log and the campus.
    std::string emergencyBy() const;

    Bell& m_bell;
    QString m_version;
    CampusConfigRead m_read;
    std::unique_ptr<MqttLink> m_link;
    std::unique_ptr<CampusNode> m_node;
    std::unique_ptr<CampusCentral> m_central;
    std::unique_ptr<NodeBoard> m_board;
    QTimer* m_boardTimer = nullptr;
    bool m_everConnected = false;
    bool m_connected = false;
};

} // namespace halvix::campus
