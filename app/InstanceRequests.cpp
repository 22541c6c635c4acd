#include "app/InstanceRequests.h"

#include "app/CentralRequests.h"
#include "app/CommandLine.h"
#include "bell/RingResult.h"
#include "bell/service/Bell.h"
#include "calendar/TodayMute.h"
#include "campus/service/CampusRuntime.h"
#include "cli/FolderCommands.h"
#include "common/MessageSink.h"
#include "ringlog/RingLog.h"
#include "ringlog/SoundCheck.h"
#include "time/LocalTime.h"

#include <QTimer>

#include <memory>
#include <utility>

namespace halvix {

namespace {

class ReplyTextSink final : public MessageSink {
public:
    void show(const UserMessage& message) override { text += QString::fromStdString(message.text) + '\n'; }
    QString text;
};

InstanceReply changeMute(Bell& bell, bool mute) {
    ReplyTextSink sink;
    const CivilDate today = dateOf(bell.clock().now());
    const MuteChange change =
        mute ? muteDay(bell.programFolder(), today, sink) : unmuteDay(bell.programFolder(), today, sink);
    if (change == MuteChange::Failed)
        return {kExitBadUsage, sink.text.isEmpty() ? QStringLiteral("校历无法保存\n") : sink.text};
    if (change == MuteChange::Changed)
        bell.reloadPlan();
    const QString line = change == MuteChange::Unchanged
                             ? (mute ? QStringLiteral("今日已是静音") : QStringLiteral("今日没有静音"))
                             : (mute ? QStringLiteral("今日已静音") : QStringLiteral("今日已取消静音"));
    return {kExitOk, line + QStringLiteral("\n") + bell.todayText() + QStringLiteral("\n")};
}

InstanceReply answerEmergency(Bell& bell, const Command& command) {
    if (command.clear)
        return {kExitOk, bell.emergency().clear(kCommandLineEmergencyBy) ? QStringLiteral("已解除紧急广播\n")
                                                                         : QStringLiteral("没有紧急广播\n")};
    if (command.sound.empty())
        return {kExitOk, QString::fromStdString(emergencyLine(bell.emergency().state())) + '\n'};
    const std::string problem = bell.emergency().start(command.sound, command.zones, kCommandLineEmergencyBy);
    if (!problem.empty())
        return {kExitBadUsage, QString::fromStdString(problem) + '\n'};
    if (!bell.emergency().sounding())
        return {kExitOk, QString::fromStdString(emergencyLine(bell.emergency().state())) +
                             QStringLiteral("\n本机不在这些区域, 照常响铃\n")};
    return {kExitOk, bell.emergency().text() + '\n'};
}

// What the command line says of a play, from its row in the ring log.
InstanceReply ringReply(const RingRow& row) {
    if (resultOfWord(row.result) == RingResult::Manual)
        return {kExitOk, QStringLiteral("已响铃: %1\n").arg(QString::fromStdString(row.sound))};
    const std::string why = row.note.empty() ? row.result : row.result + " (" + row.note + ")";
    return {kExitProblems, QStringLiteral("未响: %1\n").arg(QString::fromStdString(why))};
}

// Plays `words`' sound and answers once the bell tells what became of it, or after kRingAnswerMs.
void answerRing(Bell& bell, const QStringList& words, const SingleInstance::Answer& answer) {
    std::string error;
    const auto command = parseCommand(toTextList(words), error);
    if (!command)
        return answer({kExitBadUsage, QString::fromStdString(error) + '\n'});
    const std::string& sound = command->sound;
    if (const auto problem = checkSound(bell.programFolder(), sound))
        return answer({kExitBadUsage, QString::fromStdString(sound + ": " + problem->reason) + '\n'});
    // The first of the outcome and the time limit answers; the other finds nobody to tell.
    auto waiting = std::make_shared<SingleInstance::Answer>(answer);
    const auto give = [waiting](const InstanceReply& reply) {
        if (const SingleInstance::Answer once = std::exchange(*waiting, {}))
            once(reply);
    };
    if (!bell.playNow(sound, [give](const RingRow& row) { give(ringReply(row)); }))
        return answer({kExitBadUsage, bell.playRefusal() + '\n'});
    QTimer::singleShot(kRingAnswerMs, &bell, [give] {
        give({kExitProblems,
              QStringLiteral("结果未知: %1 秒内没有得到播放的结果\n").arg(kRingAnswerMs / 1000)});
    });
}

} // namespace

bool answerLaterRequest(Bell& bell, const campus::CampusRuntime& campus, const QStringList& words,
                        const SingleInstance::Answer& answer) {
    if (words.value(0) == QStringLiteral("ring")) {
        answerRing(bell, words, answer);
        return true;
    }
    return campus.central() && answerCentralRequest(*campus.central(), words, answer);
}

InstanceReply answerRequest(Bell& bell, const QStringList& words, const std::function<void()>& showWindow,
                            const campus::CampusRuntime* campus) {
    if (words == QStringList{QStringLiteral("show")}) {
        if (!showWindow)
            return {kExitOk, QStringLiteral("已在运行 (无窗口)\n")};
        showWindow();
        return {kExitOk, QStringLiteral("已在运行\n")};
    }
    // A later start changed the folder's tables (import): read them again, keeping what rang today.
    if (words == QStringList{QStringLiteral("reload")}) {
        bell.reloadPlan();
        return {kExitOk, QStringLiteral("运行中的程序已重新载入: ") + bell.todayText() + '\n'};
    }
    std::string error;
    const auto command = parseCommand(toTextList(words), error);
    if (!command)
        return {kExitBadUsage, QString::fromStdString(error) + '\n'};
    switch (command->kind) {
    case CommandKind::Stop:
        if (bell.emergency().sounding())
            return {kExitBadUsage,
                    bell.emergency().text() + QStringLiteral(": 用 halvix emergency clear 解除\n")};
        return {kExitOk,
                bell.stopPlaying() ? QStringLiteral("已停止播放\n") : QStringLiteral("没有正在播放的声音\n")};
    case CommandKind::Emergency:
        return answerEmergency(bell, *command);
    case CommandKind::Mute:
        return changeMute(bell, true);
    case CommandKind::Unmute:
        return changeMute(bell, false);
    case CommandKind::Campus:
        if (command->campus.action == CampusWords::Action::Status) {
            if (!campus)
                return {kExitBadUsage, QStringLiteral("运行中的程序没有校园连接\n")};
            // Not connected is a problem found, as a failed check is.
            return {campus->connected() ? kExitOk : kExitProblems, campus->statusText()};
        }
        // Taken by the central's own handler when this program is the campus's central; the asker
        // then does it over a connection of its own.
        return {kExitNotRunning, QStringLiteral("运行中的程序没有连接校园\n")};
    default:
        return {kExitBadUsage, QStringLiteral("此命令不经运行中的程序\n")};
    }
}

} // namespace halvix
