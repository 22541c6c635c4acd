#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>

namespace halvix {

TextList toTextList(const QStringList& words) {
    TextList list;
    for (const QString& word : words)
        list.push_back(word.toStdString());
    return list;
}

namespace {

// The help in the program's own words: Qt's parser would head it and explain its own options in
// English, whatever the locale.
QString helpText(const QList<QCommandLineOption>& options) {
    QString text = QStringLiteral("用法: halvix [选项] [命令]\n校园广播: 按计划响铃\n\n选项:\n");
    for (const QCommandLineOption& option : options) {
        QStringList names;
        for (const QString& name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString line = QStringLiteral("  ") + names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            line += QStringLiteral(" <") + option.valueName() + QLatin1Char('>');
        // A terminal shows a Chinese character two columns wide.
        qsizetype columns = 0;
        for (const QChar c : line)
            columns += c.unicode() < 0x80 ? 1 : 2;
        text += line + QString(std::max<qsizetype>(24 - columns, 2), QLatin1Char(' ')) +
                option.description() + QLatin1Char('\n');
    }
    return text + QLatin1Char('\n');
}

// The parser's complaint in Chinese. Its own texts are English and name the option between quotes.
QString parseError(const QCommandLineParser& parser) {
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().constFirst();
        return QStringLiteral("未知选项: ") +
               (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }
    const QString error = parser.errorText();
    const qsizetype open = error.indexOf(QLatin1Char('\''));
    const qsizetype close = error.lastIndexOf(QLatin1Char('\''));
    const QString option = close > open ? error.mid(open + 1, close - open - 1) : QString();
    if (error.startsWith(QStringLiteral("Missing value")))
        return QStringLiteral("选项 %1 后缺少值").arg(option);
    if (error.startsWith(QStringLiteral("Unexpected value")))
        return QStringLiteral("选项 %1 不带值").arg(option);
    return QStringLiteral("命令行有误");
}

} // namespace

Invocation parseInvocation(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return parseInvocation(arguments);
}

Invocation parseInvocation(const QStringList& arguments) {
    Invocation invocation;
    QCommandLineParser parser;
    // Options after the command's name belong to the command (log --since ...).
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示此帮助"));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本"));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("程序文件夹 (数据库、声音所在), 默认为程序所在文件夹"),
                                    QStringLiteral("文件夹"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("无窗口和托盘运行 (服务), 通知写到标准错误"));
    parser.addOptions({help, version, folder, headless});

    const auto bad = [&invocation](const QString& why) {
        invocation.action = Invocation::Action::BadUsage;
        invocation.text = why + QStringLiteral("\n用 --help 查看用法。");
        return invocation;
    };
    if (!parser.parse(arguments))
        return bad(parseError(parser));
    if (parser.isSet(help)) {
        invocation.action = Invocation::Action::Help;
        invocation.text =
            helpText({help, version, folder, headless}) + QString::fromStdString(commandUsage());
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
