#include "app/CampusCommandLine.h"

#include "app/SingleInstance.h"
#include "campus/service/CampusCentral.h"
#include "campus/service/MqttLink.h"
#include "campus/NodeBoard.h"
#include "campus/SnapshotApplier.h"
#include "common/PathText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

namespace halvix {

namespace {

using campus::CampusCentral;
using campus::CampusConfig;
using campus::CampusConfigRead;
using campus::CampusRole;
using campus::ClockState;
using campus::CommandOutcome;
using campus::CommandRead;
using campus::LastRing;
using campus::LinkSettings;
using campus::MqttLink;
using campus::NodeBoard;
using campus::NodeJudgement;
using campus::PushOutcome;
using campus::SnapshotRead;
using campus::Topics;

constexpr int kConnectWaitMs = 10000;
// Retained statuses arrive right after subscribing; this long is plenty on any school network.
constexpr int kRetainedWaitMs = 1500;
constexpr int kPushWaitMs = 90000;
// A command with a long expiry (a day's mute) is not waited for to its end.
constexpr std::int64_t kMaxAnswerWaitMs = 10000;

std::int64_t nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Runs the event loop for up to `ms`, or until `done` says so.
void waitFor(int ms, const std::function<bool()>& done = {}) {
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(ms);
    QTimer poll;
    if (done) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        poll.start(50);
    }
    if (!done || !done())
        loop.exec();
}

// The central's identity, under a client id of this command line's own (the running central keeps
// its connection), with a clean session and no last will.
std::unique_ptr<MqttLink> connectAsCentral(const CampusConfig& config, std::ostream& err) {
    std::string problem;
    LinkSettings settings = campus::linkSettingsOf(config, problem);
    if (!problem.empty()) {
        err << problem << '\n';
        return nullptr;
    }
    settings.clientId += "-cli-" + std::to_string(QCoreApplication::applicationPid());
    settings.sessionExpirySeconds = 0;
    settings.will.reset();
    settings.publishWillOnStop = false;
    auto link = std::make_unique<MqttLink>(settings);
    QString why;
    if (!link->start(why)) {
        err << why.toStdString() << '\n';
        return nullptr;
    }
    waitFor(kConnectWaitMs, [&link] { return link->isConnected(); });
    if (!link->isConnected()) {
        // A broker whose packets vanish has not even failed yet.
        const QString lost = link->lastProblem();
        err << "无法连接代理服务器 " << config.broker.host << ':' << config.broker.port << ": "
            << (lost.isEmpty() ? "在 " + std::to_string(kConnectWaitMs / 1000) + " 秒内没有应答"
                               : lost.toStdString())
            << '\n';
        return nullptr; // the link stops at once, whatever the broker does
    }
    return link;
}

std::string_view bytesOf(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Feeds a board with what the broker holds and sends: the nodes' statuses and answers, the
// revision of the retained snapshot.
void feedBoard(MqttLink& link, const Topics& topics, NodeBoard& board, const std::string& root) {
    QObject::connect(&link, &MqttLink::messageArrived, &link,
                     [&board, &topics, root](const QString& topic, const QByteArray& payload, bool) {
                         const std::string name = topic.toStdString();
                         if (name == topics.snapshot()) {
                             const SnapshotRead read = campus::readSnapshot(bytesOf(payload));
                             if (read.ok())
                                 board.setCentralRevision(read.snapshot.revision, nowMs());
                             return;
                         }
                         for (const char* kind : {"status/", "ack/"}) {
                             const std::string prefix = root + kind;
                             if (name.rfind(prefix, 0) != 0)
                                 continue;
                             const std::string node = name.substr(prefix.size());
                             if (kind[0] == 's')
                                 board.receiveStatus(bytesOf(payload), node, nowMs());
                             else
                                 board.receiveAck(bytesOf(payload), node, nowMs());
                         }
                     });
    link.subscribe(topics.snapshot());
    link.subscribe(root + "status/+");
    link.subscribe(root + "ack/+");
}

std::string clockText(const NodeJudgement& node) {
    const ClockState& clock = node.status.clock;
    std::string text = clock.synchronised ? "已同步" : "未同步";
    if (clock.offsetMs) {
        const auto offset = static_cast<long long>(*clock.offsetMs);
        text += " " + std::string(offset >= 0 ? "+" : "") + std::to_string(offset) + "ms";
    }
    return text;
}

std::string lastRingText(const NodeJudgement& node) {
    if (!node.status.lastRing)
        return "-";
    const LastRing& ring = *node.status.lastRing;
    return ring.time + " " + ring.event + " " + ring.result;
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

int printNodes(const NodeBoard& board, std::ostream& out) {
    const auto nodes = board.nodes(nowMs());
    if (nodes.empty()) {
        out << "还没有节点报告过状态\n";
        return kExitProblems;
    }
    out << "主控版本 " << board.centralRevision() << '\n';
    out << "节点\t名称\t区域\t在线\t版本\t时钟\t最近响铃\t问题\n";
    bool healthy = true;
    for (const NodeJudgement& node : nodes) {
        // Sound problems (no sound output, a sound missing): bells of the building would not be heard.
        healthy = healthy && node.online && node.inSync && node.status.soundProblems.empty();
        out << node.node << '\t' << node.name << '\t' << (node.zones.empty() ? "-" : joined(node.zones, ","))
            << '\t' << (node.online ? "在线" : "离线") << '\t' << node.status.revision
            << (node.inSync ? " 同步" : " 未同步") << '\t' << clockText(node) << '\t' << lastRingText(node)
            << '\t' << (node.problems.empty() ? "-" : joined(node.problems, "; ")) << '\n';
    }
    return healthy ? kExitOk : kExitProblems;
}

int push(const CampusConfig& config, const QString& folder, std::ostream& out, std::ostream& err) {
    // A running program that is not connected as the central leaves it to this one.
    const auto reply =
        SingleInstance::send(folder, {QStringLiteral("campus"), QStringLiteral("push")}, kPushWaitMs);
    if (reply && reply->status != kExitNotRunning) {
        (reply->status == kExitOk ? out : err) << reply->text.toStdString();
        return reply->status;
    }
    auto link = connectAsCentral(config, err);
    if (!link)
        return kExitProblems;
    CampusCentral central(pathFromUtf8(folder.toStdString()), config, *link);
    central.start();
    std::optional<PushOutcome> outcome;
    central.push([&outcome](const PushOutcome& result) { outcome = result; });
    waitFor(kPushWaitMs, [&outcome] { return outcome.has_value(); });
    link->stop();
    if (!outcome) {
        err << "发布没有在 " << kPushWaitMs / 1000 << " 秒内完成\n";
        return kExitProblems;
    }
    const bool ok = outcome->kind != PushOutcome::Kind::Failed;
    (ok ? out : err) << outcome->text.toStdString() << '\n';
    return ok ? kExitOk : kExitProblems;
}

// The command as the running central sent it, or nothing (it does not run, or refused: said).
std::optional<campus::Command> sendThroughCentral(const QStringList& words, const QString& folder,
                                                  bool& running, std::ostream& err) {
    const auto reply = SingleInstance::send(folder, words);
    running = reply && reply->status != kExitNotRunning;
    if (!running)
        return std::nullopt;
    if (reply->status != kExitOk) {
        err << reply->text.toStdString();
        return std::nullopt;
    }
    const CommandRead read = campus::readCommand(reply->text.trimmed().toStdString());
    if (!read.ok())
        err << "运行中的主控的应答无法读取: " << read.problem << '\n';
    return read.ok() ? std::optional<campus::Command>(read.command) : std::nullopt;
}

int send(const Command& command, const QStringList& words, const CampusConfig& config, const QString& folder,
         std::ostream& out, std::ostream& err) {
    // Listening before the command goes out: a node answers within milliseconds.
    auto link = connectAsCentral(config, err);
    if (!link)
        return kExitProblems;
    const Topics topics(config.campus);
    NodeBoard board;
    feedBoard(*link, topics, board, "halvix/" + config.campus + "/");
    waitFor(kRetainedWaitMs);

    // The running central sends it (its board then follows the answers too); else this one does.
    bool running = false;
    std::optional<campus::Command> sent = sendThroughCentral(words, folder, running, err);
    CampusCentral central(pathFromUtf8(folder.toStdString()), config, *link);
    if (!running) {
        QString problem;
        sent = central.send(command.campus.request, problem);
        if (!sent)
            err << problem.toStdString() << '\n';
    }
    if (!sent) {
        link->stop();
        return kExitProblems;
    }
    board.commandSent(*sent);
    out << "命令 " << sent->id << ": " << campus::commandText(*sent) << '\n';
    // A little past the expiry, so that a node still silent by then reads 无应答.
    const std::int64_t until =
        nowMs() + std::min<std::int64_t>(std::int64_t{sent->expirySeconds} * 1000, kMaxAnswerWaitMs) + 500;
    const auto outcome = [&board, &sent]() -> const CommandOutcome* {
        for (const CommandOutcome& candidate : board.commands())
            if (candidate.command.id == sent->id)
                return &candidate;
        return nullptr;
    };
    const auto allAnswered = [&] {
        const CommandOutcome* found = outcome();
        return found && std::all_of(found->answers.begin(), found->answers.end(),
                                    [](const CommandOutcome::Answer& a) { return a.result.has_value(); });
    };
    waitFor(static_cast<int>(until - nowMs()), allAnswered);
    link->stop();
    const CommandOutcome* found = outcome();
    if (!found || found->answers.empty()) {
        out << "没有已知的节点属于此目标\n";
        return kExitProblems;
    }
    bool answered = true;
    for (const CommandOutcome::Answer& answer : found->answers) {
        answered = answered && answer.result.has_value();
        out << answer.node << '\t' << campus::answerText(*found, answer, nowMs())
            << (answer.detail.empty() ? "" : "\t" + answer.detail) << '\n';
    }
    return answered ? kExitOk : kExitProblems;
}

} // namespace

int runCampusCommand(const Command& command, const QStringList& words, const QString& folder,
                     std::ostream& out, std::ostream& err) {
    const CampusConfigRead read = campus::readCampusConfig(pathFromUtf8(folder.toStdString()));
    if (read.state != CampusConfigRead::State::Valid) {
        err << (read.state == CampusConfigRead::State::Absent ? "此文件夹没有 campus.ini: 不在校园中\n" : "");
        for (const std::string& error : read.errors)
            err << error << '\n';
        return kExitBadUsage;
    }
    if (read.config.role != CampusRole::Central) {
        err << "只有主控可以这样做: campus.ini 中 role = central\n";
        return kExitBadUsage;
    }
    switch (command.campus.action) {
    case CampusWords::Action::Push:
        return push(read.config, folder, out, err);
    case CampusWords::Action::Send:
        return send(command, words, read.config, folder, out, err);
    case CampusWords::Action::Status: // answered by main() before any of these
        return kExitBadUsage;
    case CampusWords::Action::Nodes:
        break;
    }
    auto link = connectAsCentral(read.config, err);
    if (!link)
        return kExitProblems;
    NodeBoard board;
    // Before the broker's snapshot is in, the revision this folder published last.
    board.setCentralRevision(campus::storedRevision(pathFromUtf8(folder.toStdString())).value_or(0), nowMs());
    feedBoard(*link, Topics(read.config.campus), board, "halvix/" + read.config.campus + "/");
    waitFor(kRetainedWaitMs);
    link->stop();
    return printNodes(board, out);
}

} // namespace halvix
