#pragma once

#include "cli/CommandWords.h"

#include <QString>
#include <QStringList>

#include <ostream>

namespace halvix {

// `halvix campus push|nodes|send` on the central's program folder. push and send go through the
// running central when there is one, so that it alone numbers revisions and knows every command;
// otherwise, and to read the nodes' statuses and answers, the command line connects to the broker
// itself with the central's identity under a client id of its own.
// `words`: the command's words as given, handed to the running central.
int runCampusCommand(const Command& command, const QStringList& words, const QString& folder,
                     std::ostream& out, std::ostream& err);

} // namespace halvix
