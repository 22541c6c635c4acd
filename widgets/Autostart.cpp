#include "widgets/Autostart.h"

#include "common/TextFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>
#include <string>
#include <string_view>

namespace halvix {

namespace {

QString defaultEntryFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/halvix.desktop");
}

} // namespace

XdgAutostart::XdgAutostart() : XdgAutostart(defaultEntryFile(), QCoreApplication::applicationFilePath()) {}

XdgAutostart::XdgAutostart(QString entryFile, QString executable)
    : m_entryFile(std::move(entryFile)), m_executable(std::move(executable)) {}

QString XdgAutostart::execLine(const QString& executable) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (const QChar c : executable)
        quote = quote || reserved.contains(c);
    QString arg;
    for (const QChar c : executable) {
        if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            arg += u'\\';
        arg += c;
    }
    if (quote)
        arg = u'"' + arg + u'"';
    // The entry's string escapes come first: a backslash is written twice; a percent sign would
    // be a field code.
    arg.replace(u'\\', QStringLiteral("\\\\"));
    arg.replace(u'%', QStringLiteral("%%"));
    return arg;
}

bool XdgAutostart::isEnabled() const {
    QFile file(m_entryFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        line.replace(' ', "");
        if (line.trimmed() == "Hidden=true")
            return false;
    }
    return true;
}

bool XdgAutostart::setEnabled(bool enabled, QString& problem) {
    if (!enabled) {
        if (!QFileInfo::exists(m_entryFile) || QFile::remove(m_entryFile))
            return true;
        problem = QStringLiteral("无法删除开机自启动项 %1").arg(QDir::toNativeSeparators(m_entryFile));
        return false;
    }
    QDir().mkpath(QFileInfo(m_entryFile).absolutePath());
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=校园广播\n"
                                        "Comment=按作息表自动播放铃声和广播\n"
                                        "Exec=%1\n"
                                        "Icon=halvix\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execLine(m_executable));
    // QSaveFile flushes the file but not its folder: a power cut could lose the new name.
    const QByteArray bytes = text.toUtf8();
    std::string reason;
    if (replaceFileContent(std::filesystem::path(m_entryFile.toStdU16String()),
                           std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                           reason))
        return true;
    problem = QStringLiteral("无法写入开机自启动项 %1：%2")
                  .arg(QDir::toNativeSeparators(m_entryFile), QString::fromStdString(reason));
    return false;
}

std::unique_ptr<Autostart> makeAutostart() {
    return std::make_unique<XdgAutostart>();
}

} // namespace halvix
