#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halvix {

namespace {

QString canonicalFolder(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : canonical;
}

// A folder this user owns, not a link, that nobody else may enter: a socket there cannot be
// taken or replaced by another local user.
bool privateFolder(const QString& folder) {
    struct stat info {};
    return !folder.isEmpty() && QDir::isAbsolutePath(folder) &&
           ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

QString homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return QFile::decodeName(home);
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? QFile::decodeName(user->pw_dir) : QString();
}

// Where the socket goes when XDG_RUNTIME_DIR is unset or unsafe: the user's cache folder, never
// the shared temporary folder (another user could take the name first there, and a service and
// a desktop session may see different TMPDIR).
QString fallbackRuntimeFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const QString base =
        cache && *cache && QDir::isAbsolutePath(QFile::decodeName(cache))
            ? QFile::decodeName(cache)
            : (homeFolder().isEmpty() ? QString() : homeFolder() + QStringLiteral("/.cache"));
    return base.isEmpty() ? QString() : base + QStringLiteral("/halvix");
}

bool makePrivateFolder(const QString& folder) {
    if (folder.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(folder).path());
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    // A folder of ours made earlier with a looser mode is tightened; another user's is left alone.
    struct stat info {};
    if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid())
        ::chmod(path.constData(), 0700);
    return privateFolder(folder);
}

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder), m_name(serverName(folder)) {
    m_server.setRequestHandler(
        [this](const QByteArray& line, const LocalSocketServer::Reply& reply) { onRequest(line, reply); });
}

SingleInstance::~SingleInstance() {
    m_server.close();
    if (m_lockFd >= 0)
        ::close(m_lockFd); // drops the flock; the file stays for the next bell
}

QString SingleInstance::serverName(const QString& folder) {
    const QByteArray hash =
        QCryptographicHash::hash(canonicalFolder(folder).toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("halvix-") + QString::fromLatin1(hash.left(24));
}

QStringList SingleInstance::runtimeFolders() {
    QStringList folders;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && privateFolder(QFile::decodeName(runtime)))
        folders << QFile::decodeName(runtime);
    const QString fallback = fallbackRuntimeFolder();
    if (!fallback.isEmpty() && !folders.contains(fallback))
        folders << fallback;
    return folders;
}

namespace {

// Locks `file`: its descriptor, or -1 when another process holds it (`error` empty) or the file
// cannot be made or locked (`error` says why).
int lockFile(const QString& file, QString& error) {
    const QByteArray path = QFile::encodeName(file);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = QStringLiteral("无法建立锁文件 ") + file + QStringLiteral(": ") +
                QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return fd;
    const int why = errno;
    ::close(fd);
    if (why != EWOULDBLOCK)
        error = QStringLiteral("无法锁定 ") + file + QStringLiteral(": ") +
                QString::fromLocal8Bit(std::strerror(why));
    return -1;
}

// The first runtime folder that is, or could be made, private; empty when none.
QString privateRuntimeFolder() {
    for (const QString& folder : SingleInstance::runtimeFolders())
        if (makePrivateFolder(folder))
            return folder;
    return {};
}

} // namespace

bool SingleInstance::claim(QString& error) {
    // The lock decides who is the bell: a socket file alone may be left over from a killed one.
    // A folder that cannot hold the lock file (missing or read-only) cannot hold a ring log either;
    // the bell then locks in the runtime folder, so that its window can still say what is wrong.
    const QString place = privateRuntimeFolder();
    QString folderError;
    m_lockFd = lockFile(QDir(m_folder).filePath(QString::fromLatin1(kLockFileName)), folderError);
    if (m_lockFd < 0 && !folderError.isEmpty() && !place.isEmpty())
        m_lockFd = lockFile(place + QLatin1Char('/') + m_name + QStringLiteral(".lock"), error);
    else
        error = folderError;
    if (m_lockFd < 0)
        return false;
    if (place.isEmpty()) {
        error = QStringLiteral("没有可用的运行文件夹 (XDG_RUNTIME_DIR 或 ") + fallbackRuntimeFolder() +
                QStringLiteral(")");
    } else {
        const QString socket = place + QLatin1Char('/') + m_name;
        QString why;
        if (m_server.listen(socket, why))
            return true;
        error = QStringLiteral("无法监听本地套接字 ") + socket + QStringLiteral(": ") + why;
    }
    ::close(m_lockFd);
    m_lockFd = -1;
    return false;
}

SingleInstance::Start SingleInstance::claimOrHandOver(const QStringList& words,
                                                      std::chrono::milliseconds patience) {
    // A bell answers within this; one that ends meanwhile closes the connection at once.
    constexpr qint64 kAnswerMs = 10'000;
    // A holder nobody reaches (still starting, or listening in a runtime folder this start does not
    // see) is given this long in a row.
    constexpr qint64 kUnreachableMs = 5'000;
    constexpr unsigned long kLockPollMs = 100;
    QElapsedTimer waited;
    waited.start();
    qint64 reachedAt = 0;
    for (;;) {
        Start start;
        if (claim(start.error)) {
            start.outcome = Start::Outcome::Bell;
            return start;
        }
        if (!start.error.isEmpty())
            return start;
        const qint64 now = waited.elapsed();
        if (now >= patience.count() || now - reachedAt >= kUnreachableMs) {
            start.outcome = Start::Outcome::NoAnswer;
            return start;
        }
        const auto reply =
            send(m_folder, words, static_cast<int>(std::min(patience.count() - now, kAnswerMs)));
        if (reply && reply->answered) {
            start.outcome = Start::Outcome::HandedOver;
            start.reply = *reply;
            return start;
        }
        // Listening but silent: stopped, hung, or ending (its event loop is over, its lock still
        // held). Then its lock again.
        if (reply)
            reachedAt = waited.elapsed();
        else
            QThread::msleep(kLockPollMs);
    }
}

void SingleInstance::onRequest(const QByteArray& line, const LocalSocketServer::Reply& reply) {
    const QString text = QString::fromUtf8(line).trimmed();
    const QStringList words = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\t'));
    // The asker may be gone by the time a later answer is ready: the reply then does nothing.
    const Answer answer = [reply](const InstanceReply& given) {
        reply(QByteArray::number(given.status) + '\n' + given.text.toUtf8());
    };
    if (m_laterHandler && m_laterHandler(words, answer))
        return;
    answer(m_handler ? m_handler(words) : InstanceReply{2, QStringLiteral("程序正在启动, 请稍后再试")});
}

std::optional<InstanceReply> SingleInstance::send(const QString& folder, const QStringList& words,
                                                  int waitMs) {
    // The running bell is in one of the runtime folders: the first for a bell started with the
    // same environment, the other for one started without XDG_RUNTIME_DIR (or with it).
    const QByteArray request = words.join(QLatin1Char('\t')).toUtf8() + '\n';
    for (const QString& place : runtimeFolders()) {
        const LocalAnswer answer =
            askLocalSocket(place + QLatin1Char('/') + serverName(folder), request, waitMs);
        if (!answer.connected)
            continue;
        const qsizetype end = answer.bytes.indexOf('\n');
        bool number = false;
        const int status = answer.bytes.left(end < 0 ? answer.bytes.size() : end).toInt(&number);
        if (!number)
            return InstanceReply{2, QStringLiteral("运行中的程序没有应答"), false};
        return InstanceReply{status, end < 0 ? QString() : QString::fromUtf8(answer.bytes.mid(end + 1))};
    }
    return std::nullopt;
}

} // namespace halvix
