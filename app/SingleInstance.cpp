#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>

namespace halvix {

namespace {

QString canonicalFolder(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : canonical;
}

constexpr qsizetype kMaxRequest = 64 * 1024;

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_name(serverName(folder)),
      m_lock(QDir(QDir::tempPath()).filePath(m_name + QStringLiteral(".lock"))) {
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
}

SingleInstance::~SingleInstance() {
    m_server.close();
}

QString SingleInstance::serverName(const QString& folder) {
    const QByteArray hash =
        QCryptographicHash::hash(canonicalFolder(folder).toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("halvix-") + QString::fromLatin1(hash.left(24));
}

bool SingleInstance::claim(QString& error) {
    // The lock decides who is the bell: a socket file alone may be left over from a killed one.
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError)
            error = QStringLiteral("无法建立锁文件 ") + m_lock.fileName();
        return false;
    }
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_name)) {
        error =
            QStringLiteral("无法监听本地套接字 ") + m_name + QStringLiteral(": ") + m_server.errorString();
        m_lock.unlock();
        return false;
    }
    return true;
}

void SingleInstance::onConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequest)
                    socket->abort();
                return;
            }
            const QString line = QString::fromUtf8(socket->readLine()).trimmed();
            const QStringList words = line.isEmpty() ? QStringList() : line.split(QLatin1Char('\t'));
            InstanceReply reply{2, QStringLiteral("程序正在启动, 请稍后再试")};
            if (m_handler)
                reply = m_handler(words);
            socket->write(QByteArray::number(reply.status) + '\n' + reply.text.toUtf8());
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

std::optional<InstanceReply> SingleInstance::send(const QString& folder, const QStringList& words,
                                                  int waitMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName(folder));
    if (!socket.waitForConnected(2000))
        return std::nullopt;
    socket.write(words.join(QLatin1Char('\t')).toUtf8() + '\n');
    socket.waitForBytesWritten(2000);
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (socket.state() != QLocalSocket::UnconnectedState && waited.elapsed() < waitMs) {
        if (socket.waitForReadyRead(200))
            answer += socket.readAll();
    }
    answer += socket.readAll();
    const qsizetype end = answer.indexOf('\n');
    bool number = false;
    const int status = answer.left(end < 0 ? answer.size() : end).toInt(&number);
    if (!number)
        return InstanceReply{2, QStringLiteral("运行中的程序没有应答")};
    return InstanceReply{status, end < 0 ? QString() : QString::fromUtf8(answer.mid(end + 1))};
}

} // namespace halvix
