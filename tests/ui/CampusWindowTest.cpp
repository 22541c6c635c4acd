// The 校园 window: rows from the statuses the buildings sent, an action per selected node or for a
// zone, and each command's answers.
#include "campus/window/CampusWindow.h"
#include "campus/NodeBoard.h"
#include "support/ScriptedPrompts.h"
#include "support/TempFolder.h"
#include "support/Widgets.h"
#include "widgets/Resources.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

using namespace halvix;
using namespace halvix::campus;

namespace {

constexpr std::int64_t kNow = 1'765'180'800'000; // the central's clock

// A campus of three buildings as their status payloads say it: one healthy, one a revision behind
// with a clock too far off, one gone (its last will) after it reported a missing sound.
NodeBoard threeBuildings() {
    NodeBoard board;
    board.setCentralRevision(7, kNow);
    NodeStatus jxl;
    jxl.node = "jxl";
    jxl.name = "教学楼";
    jxl.zones = {"teach"};
    jxl.online = true;
    jxl.revision = 7;
    jxl.today = "日常 春季 星期二";
    jxl.lastRing = LastRing{kNow - 60'000, "08:00:00", "上课", "已响铃", 12};
    jxl.clock = {true, 3.4};
    NodeStatus syl = jxl;
    syl.node = "syl";
    syl.name = "实验楼";
    syl.zones = {"lab", "teach"};
    syl.revision = 6;
    syl.clock = {true, -1480.0};
    syl.emergency = {true, true, "警报.mp3", ""};
    NodeStatus tyg = jxl;
    tyg.node = "tyg";
    tyg.name = "体育馆";
    tyg.zones = {"gym"};
    tyg.lastRing = LastRing{kNow - 60'000, "08:00:00", "上课", "缺少声音", 0};
    tyg.clock = {true, std::nullopt};
    for (const NodeStatus& status : {jxl, syl, tyg})
        if (const std::string problem = board.receiveStatus(writeStatus(status), status.node, kNow);
            !problem.empty())
            qFatal("status refused: %s", problem.c_str());
    if (!board.receiveStatus(writeOfflineStatus("tyg"), "tyg", kNow).empty())
        qFatal("last will refused");
    return board;
}

std::vector<std::string> column(const QTableView& list, int c) {
    std::vector<std::string> cells;
    for (const auto& row : test::shownRows(*list.model()))
        cells.push_back(row[std::size_t(c)]);
    return cells;
}

} // namespace

class CampusWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void rowsActionsAndAnswers() {
        test::TempFolder folder;
        folder.write("voic/上课.mp3", "x");
        folder.write("voic/课间操/1.mp3", "x");
        NodeBoard board = threeBuildings();
        CampusWindow window(folder.path());
        window.showBoard(board, kNow);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto* nodes = test::child<QTableView>(window, QStringLiteral("nodeList"));
        const std::vector<std::vector<std::string>> expected{
            {"教学楼（jxl）", "teach", "在线", "同步", "+3 毫秒", "08:00:00 上课 已响铃（12 毫秒）", "", ""},
            {"实验楼（syl）", "lab、teach", "在线", "未同步", "-1480 毫秒", "08:00:00 上课 已响铃（12 毫秒）",
             "播放中 警报.mp3", "版本 6，主控 7；时钟偏差 1.5 秒"},
            {"体育馆（tyg）", "gym", "离线", "同步", "未测", "08:00:00 上课 缺少声音", "",
             "最近响铃 08:00:00 缺少声音"},
        };
        QCOMPARE(test::shownRows(*nodes->model()), expected);
        const QString fit = test::columnsDoNotFit(*nodes, {0, 1, 2, 3, 4, 5});
        QVERIFY2(fit.isEmpty(), qPrintable(fit));

        // Two selected rows: one action each, with the sound picked; the selection outlives a refresh.
        QSignalSpy actions(&window, &CampusWindow::actionRequested);
        window.selectNodes({"jxl", "tyg"});
        window.showBoard(board, kNow + 200'000); // every building silent too long: all rows change
        QCOMPARE(column(*nodes, 2), (std::vector<std::string>{"离线", "离线", "离线"}));
        QCOMPARE(window.selectedNodes(), (std::vector<std::string>{"jxl", "tyg"}));
        auto* sound = test::child<QComboBox>(window, QStringLiteral("soundBox"));
        QCOMPARE(sound->count(), 2);
        sound->setCurrentIndex(sound->findText(QStringLiteral("voic/课间操")));
        test::child<QPushButton>(window, QStringLiteral("playButton"))->click();
        QCOMPARE(actions.count(), 2);
        const auto action = [&actions](int i) { return actions.at(i).at(0).value<CampusAction>(); };
        QCOMPARE(action(0), (CampusAction{CommandKind::Play, {CommandTarget::Scope::Node, "jxl"}, "课间操"}));
        QCOMPARE(action(1), (CampusAction{CommandKind::Play, {CommandTarget::Scope::Node, "tyg"}, "课间操"}));

        // A zone the buildings named, and all: one action each, whatever is selected.
        auto* target = test::child<QComboBox>(window, QStringLiteral("targetBox"));
        const struct {
            QString choice;
            const char* button;
            CampusAction expected;
        } targets[] = {
            {QStringLiteral("区域 teach"),
             "muteButton",
             {CommandKind::Mute, {CommandTarget::Scope::Zone, "teach"}, ""}},
            {QStringLiteral("区域 gym"),
             "stopButton",
             {CommandKind::Stop, {CommandTarget::Scope::Zone, "gym"}, ""}},
            {QStringLiteral("全部节点"),
             "unmuteButton",
             {CommandKind::Unmute, {CommandTarget::Scope::All, ""}, ""}},
        };
        for (const auto& t : targets) {
            actions.clear();
            const int index = target->findText(t.choice);
            QVERIFY2(index >= 0, qPrintable(t.choice));
            target->setCurrentIndex(index);
            test::child<QPushButton>(window, QString::fromLatin1(t.button))->click();
            QCOMPARE(actions.count(), 1);
            QCOMPARE(action(0), t.expected);
        }

        // Nothing selected: nothing is sent, and the window says what to do.
        target->setCurrentIndex(target->findText(QStringLiteral("选中的节点")));
        window.selectNodes({});
        actions.clear();
        test::child<QPushButton>(window, QStringLiteral("stopButton"))->click();
        QCOMPARE(actions.count(), 0);
        QVERIFY(test::child<QLabel>(window, QStringLiteral("statusLabel"))
                    ->text()
                    .startsWith(QStringLiteral("请先")));

        // The central sent the zone's 立即播放: one answer came, the other node stayed silent past the
        // expiry.
        board.commandSent(
            {"c-1", {CommandTarget::Scope::Zone, "teach"}, CommandKind::Play, "上课.mp3", "", kNow, 10});
        QVERIFY(
            board.receiveAck(writeAck({"syl", "c-1", AckResult::Played, "", kNow + 300}), "syl", kNow + 300));
        auto* commands = test::child<QTableView>(window, QStringLiteral("commandList"));
        const struct {
            std::int64_t at;
            std::string answers;
        } moments[] = {{kNow + 500, "教学楼 等待应答，实验楼 已响铃"},
                       {kNow + 10'000, "教学楼 无应答，实验楼 已响铃"}};
        for (const auto& m : moments) {
            window.showBoard(board, m.at);
            QCOMPARE(column(*commands, 1), std::vector<std::string>{"立即播放 上课.mp3 → 区域 teach"});
            QCOMPARE(column(*commands, 2), std::vector<std::string>{m.answers});
        }

        // Watched, the window follows the board by itself: the next command's 无应答 shows once it expires.
        std::int64_t now = kNow + 20'000;
        board.commandSent({"c-2", {CommandTarget::Scope::Node, "tyg"}, CommandKind::Stop, "", "", now, 1});
        window.watch(board, [&now] { return now; });
        QSignalSpy nodeRefills(nodes->model(), &QAbstractItemModel::modelReset);
        QCOMPARE(column(*commands, 2).front(), std::string("体育馆 等待应答"));
        now += 1000;
        QTRY_COMPARE(column(*commands, 2).front(), std::string("体育馆 无应答"));
        QCOMPARE(nodeRefills.count(), 0); // the buildings' rows did not change: not reset under the user

        // 紧急广播 goes to a zone or all, with a single sound, once the user confirmed it.
        test::ScriptedPrompts prompts;
        window.setPrompts(prompts);
        QSignalSpy emergencies(&window, &CampusWindow::emergencyRequested);
        const struct {
            QString choice;
            QString soundChoice;
            bool confirmed;
            QStringList zones; // the request expected; none when `status` says why not
            QString status;
        } emergencyCases[] = {
            {QStringLiteral("选中的节点"),
             QStringLiteral("上课.mp3"),
             true,
             {},
             QStringLiteral("紧急广播按区域发出")},
            {QStringLiteral("区域 teach"),
             QStringLiteral("voic/课间操"),
             true,
             {},
             QStringLiteral("紧急广播的声音")},
            {QStringLiteral("区域 teach"), QStringLiteral("上课.mp3"), false, {}, QString()},
            {QStringLiteral("区域 teach"),
             QStringLiteral("上课.mp3"),
             true,
             {QStringLiteral("teach")},
             QString()},
            {QStringLiteral("全部节点"),
             QStringLiteral("上课.mp3"),
             true,
             {},
             QStringLiteral("已发出紧急广播")},
        };
        for (const auto& c : emergencyCases) {
            emergencies.clear();
            prompts.confirmAnswers = {c.confirmed};
            target->setCurrentIndex(target->findText(c.choice));
            sound->setCurrentIndex(sound->findText(c.soundChoice));
            test::child<QPushButton>(window, QStringLiteral("emergencyButton"))->click();
            const bool sent = !c.zones.isEmpty() || c.status == QStringLiteral("已发出紧急广播");
            QCOMPARE(emergencies.count(), sent ? 1 : 0);
            if (sent) {
                QCOMPARE(emergencies.at(0).at(0).toString(), QStringLiteral("上课.mp3"));
                QCOMPARE(emergencies.at(0).at(1).toStringList(), c.zones);
            }
            if (!c.status.isEmpty())
                QVERIFY2(
                    test::child<QLabel>(window, QStringLiteral("statusLabel"))->text().startsWith(c.status),
                    qPrintable(c.status));
        }
        // 解除紧急广播 is offered while one is on, and asks first too.
        auto* clear = test::child<QPushButton>(window, QStringLiteral("clearEmergencyButton"));
        QVERIFY(!clear->isEnabled());
        window.showEmergency(QStringLiteral("紧急广播中: 警报.mp3 (区域 lab)"), true);
        QVERIFY(clear->isEnabled());
        QSignalSpy clears(&window, &CampusWindow::clearEmergencyRequested);
        prompts.confirmAnswers = {false, true};
        clear->click();
        clear->click();
        QCOMPARE(clears.count(), 1);
        QCOMPARE(test::child<QLabel>(window, QStringLiteral("emergencyLabel"))->text(),
                 QStringLiteral("紧急广播中: 警报.mp3 (区域 lab)"));
        QCOMPARE(prompts.unscripted, 0);
        target->setCurrentIndex(target->findText(QStringLiteral("选中的节点")));

        if (const char* shot = std::getenv("HALVIX_SHOT_DIR")) {
            window.selectNodes({"syl"});
            test::child<QPushButton>(window, QStringLiteral("playButton"))->click();
            window.grab().save(QString::fromLocal8Bit(shot) + QStringLiteral("/campus-window.png"));
        }
    }
};

QTEST_MAIN(CampusWindowTest)
#include "CampusWindowTest.moc"
