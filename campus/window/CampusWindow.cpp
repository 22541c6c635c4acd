#include "campus/window/CampusWindow.h"

#include "campus/NodeBoard.h"
#include "emergency/EmergencyState.h"
#include "ringlog/SoundCheck.h"
#include "widgets/PlainText.h"
#include "widgets/TextTableModel.h"
#include "widgets/UserPrompts.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace halvix::campus {

namespace {

const TextList& nodeColumns() {
    static const TextList columns{"名称", "区域", "在线", "同步", "时钟偏差", "最近响铃", "紧急广播", "问题"};
    return columns;
}

const TextList& commandColumns() {
    static const TextList columns{"时间", "指令", "应答"};
    return columns;
}

// The target box's data: which nodes an action is for.
const QString kSelected = QStringLiteral("selected");
const QString kAll = QStringLiteral("all");
const QString kZonePrefix = QStringLiteral("zone:");

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string offsetText(const ClockState& clock) {
    if (!clock.offsetMs)
        return "未测";
    char text[32];
    std::snprintf(text, sizeof text, "%+.0f 毫秒", std::round(*clock.offsetMs));
    return text;
}

std::string lastRingText(const std::optional<LastRing>& ring) {
    if (!ring)
        return "";
    std::string text = ring->time + " " + ring->event + " " + ring->result;
    if (ring->result == "已响铃")
        text += "（" + std::to_string(ring->delayMs) + " 毫秒）";
    return text;
}

std::string emergencyText(const EmergencyReport& emergency) {
    return emergency.sounding ? "播放中 " + emergency.sound : "";
}

std::string nodeName(const NodeBoard& board, const std::string& id, std::int64_t nowMs) {
    const auto node = board.node(id, nowMs);
    return node && node->name != id ? node->name : id;
}

// "HH:mm:ss" of the central's milliseconds, local time.
std::string clockText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss")).toStdString();
}

// Refills `model` only when its texts changed: a refill resets the view, its scrolling among
// them, and the window is refreshed every second.
bool refill(TextTableModel& model, TextList& shown, const TextList& columns, TextList cells) {
    if (cells == shown && model.columnCount() > 0)
        return false;
    shown = std::move(cells);
    if (shown.empty())
        model.setListColumns(columns);
    else
        model.fillList(columns, shown);
    return true;
}

} // namespace

CampusWindow::CampusWindow(std::filesystem::path programFolder, QWidget* parent)
    : QDialog(parent), m_folder(std::move(programFolder)),
      m_nodeModel(std::make_unique<TextTableModel>(m_nodeTable)),
      m_commandModel(std::make_unique<TextTableModel>(m_commandTable)),
      m_dialogPrompts(std::make_unique<DialogPrompts>(this)), m_prompts(m_dialogPrompts.get()) {
    setObjectName(QStringLiteral("campusWindow"));
    setWindowTitle(QStringLiteral("校园"));
    resize(1180, 560);

    m_nodes = new QTableView(this);
    m_nodes->setObjectName(QStringLiteral("nodeList"));
    m_nodes->setAccessibleName(QStringLiteral("节点"));
    showAsList(*m_nodes, *m_nodeModel);
    // Several buildings at once: an action goes to each selected one.
    m_nodes->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_nodeModel->setRowNote([this](int row) {
        return row >= 0 && std::size_t(row) < m_rowNotes.size()
                   ? QString::fromStdString(m_rowNotes[std::size_t(row)])
                   : QString();
    });
    m_nodeModel->setListColumns(nodeColumns());

    auto* targetLabel = new QLabel(QStringLiteral("对象"), this);
    m_target = new QComboBox(this);
    m_target->setObjectName(QStringLiteral("targetBox"));
    m_target->setAccessibleName(QStringLiteral("对象"));
    m_target->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_target->addItem(QStringLiteral("选中的节点"), kSelected);
    m_target->addItem(QStringLiteral("全部节点"), kAll);
    targetLabel->setBuddy(m_target);

    auto* soundLabel = new QLabel(QStringLiteral("声音"), this);
    m_sound = new QComboBox(this);
    m_sound->setObjectName(QStringLiteral("soundBox"));
    m_sound->setAccessibleName(QStringLiteral("声音"));
    m_sound->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    soundLabel->setBuddy(m_sound);

    const auto button = [this](const char* text, const char* name) {
        auto* pushButton = new QPushButton(QString::fromUtf8(text), this);
        pushButton->setObjectName(QString::fromLatin1(name));
        pushButton->setAutoDefault(false);
        return pushButton;
    };
    m_play = button("立即播放", "playButton");
    QPushButton* stop = button("停止", "stopButton");
    QPushButton* mute = button("今日静音", "muteButton");
    QPushButton* unmute = button("恢复响铃", "unmuteButton");
    QPushButton* emergency = button("紧急广播", "emergencyButton");
    m_clearEmergency = button("解除紧急广播", "clearEmergencyButton");
    m_clearEmergency->setEnabled(false);

    auto* actions = new QHBoxLayout;
    actions->addWidget(targetLabel);
    actions->addWidget(m_target);
    actions->addSpacing(12);
    actions->addWidget(soundLabel);
    actions->addWidget(m_sound);
    actions->addWidget(m_play);
    actions->addWidget(stop);
    actions->addWidget(mute);
    actions->addWidget(unmute);
    actions->addSpacing(12);
    actions->addWidget(emergency);
    actions->addWidget(m_clearEmergency);
    actions->addStretch(1);

    m_emergency = new QLabel(QStringLiteral("没有紧急广播"), this);
    m_emergency->setObjectName(QStringLiteral("emergencyLabel"));
    // Both lines quote sounds and zones as the campus names them: markup in them is text.
    m_emergency->setTextFormat(Qt::PlainText);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setTextFormat(Qt::PlainText);

    m_commands = new QTableView(this);
    m_commands->setObjectName(QStringLiteral("commandList"));
    m_commands->setAccessibleName(QStringLiteral("指令"));
    showAsList(*m_commands, *m_commandModel);
    m_commandModel->setListColumns(commandColumns());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_emergency);
    layout->addWidget(m_nodes, 3);
    layout->addLayout(actions);
    layout->addWidget(m_status);
    layout->addWidget(m_commands, 2);

    connect(m_play, &QPushButton::clicked, this, &CampusWindow::onPlay);
    connect(stop, &QPushButton::clicked, this, &CampusWindow::onStop);
    connect(mute, &QPushButton::clicked, this, &CampusWindow::onMute);
    connect(unmute, &QPushButton::clicked, this, &CampusWindow::onUnmute);
    connect(emergency, &QPushButton::clicked, this, &CampusWindow::onEmergency);
    connect(m_clearEmergency, &QPushButton::clicked, this, &CampusWindow::onClearEmergency);
    m_refresh = new QTimer(this);
    m_refresh->setInterval(1000);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (m_board && isVisible())
            showBoard(*m_board, m_now());
    });
    fillSounds();
}

CampusWindow::~CampusWindow() {
    m_nodes->setModel(nullptr);
    m_commands->setModel(nullptr);
}

void CampusWindow::fillSounds() {
    // The central's own voic/: what it shares is what the buildings hold.
    const QString chosen = m_sound->currentText();
    m_sound->clear();
    for (const std::string& sound : voicSounds(m_folder))
        m_sound->addItem(QString::fromStdString(sound));
    if (const int again = m_sound->findText(chosen); again >= 0)
        m_sound->setCurrentIndex(again);
    m_play->setEnabled(m_sound->count() > 0);
    m_play->setToolTip(m_sound->count() > 0 ? QString() : QStringLiteral("voic 中没有声音"));
}

void CampusWindow::showBoard(const NodeBoard& board, std::int64_t nowMs) {
    showNodes(board, nowMs);
    offerZones(board.zones());
    showCommands(board, nowMs);
}

void CampusWindow::watch(const NodeBoard& board, std::function<std::int64_t()> nowMs) {
    m_board = &board;
    m_now = std::move(nowMs);
    showBoard(board, m_now());
    m_refresh->start();
}

void CampusWindow::showNodes(const NodeBoard& board, std::int64_t nowMs) {
    const std::vector<std::string> selected = selectedNodes();
    m_nodeIds.clear();
    m_rowNotes.clear();
    TextList cells;
    for (const NodeJudgement& node : board.nodes(nowMs)) {
        m_nodeIds.push_back(node.node);
        const std::string name = node.name == node.node ? node.node : node.name + "（" + node.node + "）";
        for (std::string cell : {name, joined(node.zones, "、"), std::string(node.online ? "在线" : "离线"),
                                 std::string(node.inSync ? "同步" : "未同步"), offsetText(node.status.clock),
                                 lastRingText(node.status.lastRing), emergencyText(node.status.emergency),
                                 joined(node.problems, "；")})
            cells.push_back(std::move(cell));
        std::vector<std::string> trouble;
        if (!node.online)
            trouble.push_back("离线");
        trouble.insert(trouble.end(), node.problems.begin(), node.problems.end());
        m_rowNotes.push_back(joined(trouble, "\n"));
    }
    if (refill(*m_nodeModel, m_nodeCells, nodeColumns(), std::move(cells)))
        selectNodes(selected);
}

void CampusWindow::offerZones(const std::vector<std::string>& zones) {
    // Only added: a zone chosen stays chosen while the board is refreshed.
    for (const std::string& zone : zones) {
        const QString choice = kZonePrefix + QString::fromStdString(zone);
        if (m_target->findData(choice) < 0)
            m_target->addItem(QStringLiteral("区域 %1").arg(QString::fromStdString(zone)), choice);
    }
}

void CampusWindow::showCommands(const NodeBoard& board, std::int64_t nowMs) {
    TextList cells;
    for (const CommandOutcome& outcome : board.commands()) {
        std::vector<std::string> answers;
        for (const CommandOutcome::Answer& answer : outcome.answers)
            answers.push_back(nodeName(board, answer.node, nowMs) + " " + answerText(outcome, answer, nowMs) +
                              (answer.detail.empty() ? "" : "（" + answer.detail + "）"));
        if (answers.empty())
            answers.push_back("没有节点");
        for (std::string cell :
             {clockText(outcome.command.issuedMs), commandText(outcome.command), joined(answers, "，")})
            cells.push_back(std::move(cell));
    }
    refill(*m_commandModel, m_commandCells, commandColumns(), std::move(cells));
}

std::vector<std::string> CampusWindow::selectedNodes() const {
    std::vector<std::string> ids;
    const QItemSelectionModel* selection = m_nodes->selectionModel();
    if (!selection)
        return ids;
    QModelIndexList rows = selection->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& row : rows)
        if (row.row() >= 0 && std::size_t(row.row()) < m_nodeIds.size())
            ids.push_back(m_nodeIds[std::size_t(row.row())]);
    return ids;
}

void CampusWindow::selectNodes(const std::vector<std::string>& ids) {
    QItemSelectionModel* selection = m_nodes->selectionModel();
    selection->clearSelection();
    for (std::size_t row = 0; row < m_nodeIds.size(); ++row)
        if (std::find(ids.begin(), ids.end(), m_nodeIds[row]) != ids.end())
            selection->select(m_nodeModel->index(int(row), 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CampusWindow::request(CommandKind kind, const std::string& sound) {
    const QString target = m_target->currentData().toString();
    std::vector<CommandTarget> targets;
    if (target == kAll) {
        targets.push_back({CommandTarget::Scope::All, {}});
    } else if (target.startsWith(kZonePrefix)) {
        targets.push_back({CommandTarget::Scope::Zone, target.mid(kZonePrefix.size()).toStdString()});
    } else {
        for (const std::string& node : selectedNodes())
            targets.push_back({CommandTarget::Scope::Node, node});
    }
    if (targets.empty()) {
        m_status->setText(QStringLiteral("请先在列表中选择节点, 或在“对象”中选择区域或全部节点"));
        return;
    }
    m_status->setText(
        QStringLiteral("已发出: %1")
            .arg(QString::fromStdString(commandText({{}, targets.front(), kind, sound, {}, 0, 0}))) +
        (targets.size() > 1 ? QStringLiteral(" 等 %1 个节点").arg(targets.size()) : QString()));
    for (const CommandTarget& each : targets)
        emit actionRequested({kind, each, sound});
}

std::string CampusWindow::chosenSound() {
    fillSounds(); // a file copied into voic since the window opened is offered too
    if (m_sound->currentText().isEmpty()) {
        m_status->setText(QStringLiteral("voic 中没有声音"));
        return {};
    }
    // A command names its sound under voic/; the list shows folders as the plan writes them.
    std::string sound = m_sound->currentText().toStdString();
    if (sound.starts_with("voic/"))
        sound.erase(0, 5);
    return sound;
}

void CampusWindow::onPlay() {
    if (const std::string sound = chosenSound(); !sound.empty())
        request(CommandKind::Play, sound);
}

void CampusWindow::onEmergency() {
    const std::string sound = chosenSound();
    if (sound.empty())
        return;
    if (const std::string why = emergencySoundProblem(sound); !why.empty()) {
        m_status->setText(QStringLiteral("紧急广播的声音: %1").arg(QString::fromStdString(why)));
        return;
    }
    // It is a state of zones, not of buildings: a zone or the whole campus.
    const QString target = m_target->currentData().toString();
    QStringList zones;
    if (target.startsWith(kZonePrefix))
        zones.append(target.mid(kZonePrefix.size()));
    else if (target != kAll) {
        m_status->setText(QStringLiteral("紧急广播按区域发出: 请在“对象”中选择区域或全部节点"));
        return;
    }
    const QString where =
        zones.isEmpty() ? QStringLiteral("全部节点") : QStringLiteral("区域 ") + zones.front();
    const QString question = QStringLiteral("确认在%1播放紧急广播 %2?\n它一直播放, 直到解除紧急广播。")
                                 .arg(where, QString::fromStdString(sound));
    if (!m_prompts->confirm({question.toStdString(), "紧急广播", MessageIcon::Warning}))
        return;
    m_status->setText(QStringLiteral("已发出紧急广播: %1 → %2").arg(QString::fromStdString(sound), where));
    emit emergencyRequested(QString::fromStdString(sound), zones);
}

void CampusWindow::onClearEmergency() {
    if (!m_prompts->confirm({"确认解除紧急广播?", "解除紧急广播", MessageIcon::Question}))
        return;
    m_status->setText(QStringLiteral("已发出解除紧急广播"));
    emit clearEmergencyRequested();
}

void CampusWindow::showEmergency(const QString& line, bool active) {
    m_emergency->setText(line);
    m_emergency->setStyleSheet(active ? QStringLiteral("color: #c00000; font-weight: bold;") : QString());
    m_clearEmergency->setEnabled(active);
}

void CampusWindow::onStop() {
    request(CommandKind::Stop);
}

void CampusWindow::onMute() {
    request(CommandKind::Mute);
}

void CampusWindow::onUnmute() {
    request(CommandKind::Unmute);
}

} // namespace halvix::campus
