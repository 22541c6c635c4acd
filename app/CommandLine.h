#pragma once

#include "cli/CommandWords.h"

#include <QString>
#include <QStringList>

namespace halvix {

// The program's arguments: `halvix [--folder DIR] [--headless] [COMMAND ...]`, --help, --version.
// The command's own words come after its name, untouched by the program's options.
struct Invocation {
    enum class Action { Run, Help, Version, BadUsage };

    Action action = Action::Run;
    QString text;   // the help, the version, or why the usage is bad
    QString folder; // --folder as given; empty for the program's own folder
    bool headless = false;
    QStringList words; // the command and its arguments
    Command command;
};

Invocation parseInvocation(const QStringList& arguments);
// The same, of the program's own arguments.
Invocation parseInvocation(int argc, char* argv[]);

TextList toTextList(const QStringList& words);

} // namespace halvix
