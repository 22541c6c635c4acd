#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace halvix {

TextList toTextList(const QStringList& words) {
    TextList list;
    for (const QString& word : words)
        list.push_back(word.toStdString());
    return list;
}

Invocation parseInvocation(const QStringList& arguments) {
    Invocation invocation;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("校园广播: 按计划响铃"));
    // Options after the command's name belong to the command (log --since ...).
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示此帮助"));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本"));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("程序文件夹 (数据库、声音所在), 默认为程序所在文件夹"),
                                    QStringLiteral("DIR"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("无窗口和托盘运行 (服务), 通知写到标准错误"));
    parser.addOptions({help, version, folder, headless});
    parser.addPositionalArgument(QStringLiteral("命令"), QStringLiteral("见下"), QStringLiteral("[命令]"));

    const auto bad = [&invocation](const QString& why) {
        invocation.action = Invocation::Action::BadUsage;
        invocation.text = why + QStringLiteral("\n用 --help 查看用法。");
        return invocation;
    };
    if (!parser.parse(arguments))
        return bad(parser.errorText());
    if (parser.isSet(help)) {
        invocation.action = Invocation::Action::Help;
        invocation.text =
            parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("halvix")) +
            QString::fromStdString(commandUsage());
        return invocation;
    }
    if (parser.isSet(version)) {
        invocation.action = Invocation::Action::Version;
        invocation.text = QStringLiteral("halvix ") + QStringLiteral(HALVIX_VERSION);
        return invocation;
    }
    invocation.folder = parser.value(folder);
    if (parser.isSet(folder) && invocation.folder.isEmpty())
        return bad(QStringLiteral("--folder 后缺少文件夹"));
    invocation.headless = parser.isSet(headless);
    invocation.words = parser.positionalArguments();
    std::string error;
    const auto command = parseCommand(toTextList(invocation.words), error);
    if (!command)
        return bad(QString::fromStdString(error));
    invocation.command = *command;
    if (invocation.headless && command->kind != CommandKind::None)
        return bad(QStringLiteral("--headless 不能与命令同用"));
    return invocation;
}

} // namespace halvix
