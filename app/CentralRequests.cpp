#include "app/CentralRequests.h"

#include "app/CommandLine.h"
#include "campus/service/CampusCentral.h"

namespace halvix {

bool answerCentralRequest(campus::CampusCentral& central, const QStringList& words,
                          const SingleInstance::Answer& answer) {
    if (words.value(0) != QStringLiteral("campus"))
        return false;
    std::string error;
    const auto command = parseCommand(toTextList(words), error);
    if (!command) {
        answer({kExitBadUsage, QString::fromStdString(error) + '\n'});
        return true;
    }
    switch (command->campus.action) {
    case CampusWords::Action::Push:
        central.push([answer](const campus::PushOutcome& outcome) {
            answer({outcome.kind == campus::PushOutcome::Kind::Failed ? kExitProblems : kExitOk,
                    outcome.text + '\n'});
        });
        return true;
    case CampusWords::Action::Send: {
        QString problem;
        const auto sent = central.send(command->campus.request, problem);
        answer(sent ? InstanceReply{kExitOk, QString::fromStdString(campus::writeCommand(*sent)) + '\n'}
                    : InstanceReply{kExitProblems, problem + '\n'});
        return true;
    }
    default:
        return false; // status and nodes: the asker reads them from the broker itself
    }
}

} // namespace halvix
