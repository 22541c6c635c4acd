#pragma once

#include "campus/CampusAction.h"
#include "store/TextTable.h"

#include <QDialog>
#include <QMetaType>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace halvix {

class DialogPrompts;
class TextTableModel;
class UserPrompts;

namespace campus {

class NodeBoard;

// 校园: the central's window onto its buildings. A row per node (名称, 区域, 在线, 同步, 时钟偏差,
// 最近响铃, 问题), the nodes in trouble in red; 立即播放, 停止, 今日静音 and 恢复响铃 for the
// selected nodes, a zone or all; 紧急广播 (after a confirmation) for a zone or all and 解除紧急广播;
// below, the latest commands with each node's answer. It only shows and asks: the board feeds it,
// and each action goes out as actionRequested or emergencyRequested.
class CampusWindow final : public QDialog {
    Q_OBJECT

public:
    explicit CampusWindow(std::filesystem::path programFolder, QWidget* parent = nullptr);
    ~CampusWindow() override;

    // Shows the board as it stands at `nowMs` (the central's clock); the selection stays.
    void showBoard(const NodeBoard& board, std::int64_t nowMs);
    // Shows `board` now and again every second while the window is open, so that a node falls
    // silent and a command's 无应答 shows without a message arriving. The board outlives the window.
    void watch(const NodeBoard& board, std::function<std::int64_t()> nowMs);
    // The ids of the selected nodes, in the list's order.
    std::vector<std::string> selectedNodes() const;
    void selectNodes(const std::vector<std::string>& ids);
    // Where the confirmation of 紧急广播 is asked (message boxes over the window unless set).
    void setPrompts(UserPrompts& prompts) { m_prompts = &prompts; }
    // The campus's emergency in one line ("没有紧急广播" when none), and whether one is active.
    void showEmergency(const QString& line, bool active);

    void onPlay();
    void onStop();
    void onMute();
    void onUnmute();
    void onEmergency();
    void onClearEmergency();

signals:
    void actionRequested(const halvix::campus::CampusAction& action);
    // 紧急广播 with `sound` (a file of voic/) on `zones` (none: every zone), confirmed by the user.
    void emergencyRequested(const QString& sound, const QStringList& zones);
    void clearEmergencyRequested();

private:
    // One action per selected node, or one for the chosen zone or for all.
    void request(CommandKind kind, const std::string& sound = {});
    void fillSounds();
    // The chosen sound as a command names it under voic/; empty when there is none.
    std::string chosenSound();
    void offerZones(const std::vector<std::string>& zones);
    void showNodes(const NodeBoard& board, std::int64_t nowMs);
    void showCommands(const NodeBoard& board, std::int64_t nowMs);

    std::filesystem::path m_folder;
    TextTable m_nodeTable;
    TextTable m_commandTable;
    std::unique_ptr<TextTableModel> m_nodeModel;
    std::unique_ptr<TextTableModel> m_commandModel;
    TextList m_nodeCells; // what the lists show, cell by cell
    TextList m_commandCells;
    std::vector<std::string> m_nodeIds;  // the id of each row
    std::vector<std::string> m_rowNotes; // why a row is in red, empty when it is not
    QTableView* m_nodes = nullptr;
    QTableView* m_commands = nullptr;
    QComboBox* m_target = nullptr;
    QComboBox* m_sound = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_clearEmergency = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_emergency = nullptr;
    std::unique_ptr<DialogPrompts> m_dialogPrompts;
    UserPrompts* m_prompts = nullptr;
    QTimer* m_refresh = nullptr;
    const NodeBoard* m_board = nullptr;
    std::function<std::int64_t()> m_now;
};

} // namespace campus
} // namespace halvix

Q_DECLARE_METATYPE(halvix::campus::CampusAction)
