#include "app/LocalSocketServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace halvix {

namespace {

static_assert(LocalSocketServer::kMaxPathBytes == static_cast<qsizetype>(sizeof(sockaddr_un::sun_path)) - 1);

QString systemError(int number) {
    return QString::fromLocal8Bit(std::strerror(number));
}

// The socket address of `path`, or false when the path does not fit in one.
bool socketAddress(const QByteArray& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() > LocalSocketServer::kMaxPathBytes)
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

const sockaddr* asAddress(const sockaddr_un& address) {
    return reinterpret_cast<const sockaddr*>(&address);
}

// One accepted client: reads its request line, hands it on, writes the reply, closes.
class Connection final : public QObject {
public:
    Connection(int fd, std::shared_ptr<const LocalSocketServer::RequestHandler> handler, QObject* parent)
        : QObject(parent), m_fd(fd), m_handler(std::move(handler)), m_reader(fd, QSocketNotifier::Read),
          m_writer(fd, QSocketNotifier::Write) {
        m_writer.setEnabled(false);
        connect(&m_reader, &QSocketNotifier::activated, this, [this] { onReadable(); });
        connect(&m_writer, &QSocketNotifier::activated, this, [this] { writeSome(); });
    }
    ~Connection() override { closeDescriptor(); }

private:
    void onReadable() {
        // At most a request's worth per wakeup, so that a client that keeps sending cannot hold the
        // thread; the notifier comes back for the rest.
        char chunk[16 * 1024];
        bool ended = false;
        for (qsizetype taken = 0; taken <= LocalSocketServer::kMaxRequest;) {
            const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (got > 0) {
                taken += got;
                if (!m_asked)
                    m_inbox.append(chunk, got);
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            ended = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        if (!m_asked && !takeRequest())
            return;
        // The client has gone (or stopped talking, which it does only when going): no one is left
        // to read an answer, given or still to come.
        if (ended)
            closeNow();
    }

    // Hands on a complete request line; false when the client was dropped for an over-long one.
    bool takeRequest() {
        const qsizetype end = m_inbox.indexOf('\n');
        if (end > LocalSocketServer::kMaxRequest ||
            (end < 0 && m_inbox.size() > LocalSocketServer::kMaxRequest)) {
            closeNow();
            return false;
        }
        if (end < 0)
            return true;
        m_asked = true;
        const QByteArray line = m_inbox.left(end);
        m_inbox.clear();
        const QPointer<Connection> guard(this);
        (*m_handler)(line, [guard](const QByteArray& bytes) {
            if (guard)
                guard->reply(bytes);
        });
        return !guard.isNull();
    }

    void reply(const QByteArray& bytes) {
        if (m_answered || m_fd < 0)
            return;
        m_answered = true;
        m_outbox = bytes;
        writeSome();
    }

    void writeSome() {
        while (m_written < m_outbox.size()) {
            const ssize_t put =
                ::send(m_fd, m_outbox.constData() + m_written,
                       static_cast<size_t>(m_outbox.size() - m_written), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (put > 0) {
                m_written += put;
            } else if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                m_writer.setEnabled(true);
                return;
            } else if (put == 0 || errno != EINTR) {
                break; // the client has gone
            }
        }
        closeNow();
    }

    // Closes the descriptor now (the count of open ones drops at once) and the object later, since
    // this may run inside one of its own notifiers.
    void closeNow() {
        if (closeDescriptor())
            deleteLater();
    }

    bool closeDescriptor() {
        if (m_fd < 0)
            return false;
        m_reader.setEnabled(false);
        m_writer.setEnabled(false);
        ::close(m_fd);
        m_fd = -1;
        m_outbox.clear();
        return true;
    }

    int m_fd;
    std::shared_ptr<const LocalSocketServer::RequestHandler> m_handler;
    QSocketNotifier m_reader;
    QSocketNotifier m_writer;
    QByteArray m_inbox;
    QByteArray m_outbox;
    qsizetype m_written = 0;
    bool m_asked = false;
    bool m_answered = false;
};

} // namespace

LocalSocketServer::LocalSocketServer(QObject* parent)
    // Until a handler is set, a client is left unanswered and goes when it gives up.
    : QObject(parent), m_handler(std::make_shared<RequestHandler>([](const QByteArray&, const Reply&) {})) {}

LocalSocketServer::~LocalSocketServer() {
    close();
}

void LocalSocketServer::setRequestHandler(RequestHandler handler) {
    if (handler)
        *m_handler = std::move(handler);
}

bool LocalSocketServer::listen(const QString& path, QString& error) {
    close();
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address;
    if (!socketAddress(name, address)) {
        error = QStringLiteral("路径长 %1 字节, 本地套接字的路径最多 %2 字节")
                    .arg(name.size())
                    .arg(kMaxPathBytes);
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = systemError(errno);
        return false;
    }
    // Left by a bell that was killed; the caller holds the lock that says no bell uses it now.
    ::unlink(name.constData());
    const bool bound = ::bind(fd, asAddress(address), sizeof address) == 0;
    if (!bound || ::chmod(name.constData(), 0600) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = systemError(errno);
        if (bound)
            ::unlink(name.constData());
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = name;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { acceptPending(); });
    return true;
}

void LocalSocketServer::close() {
    if (m_fd < 0)
        return;
    m_notifier.reset();
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_path.constData());
    m_path.clear();
}

void LocalSocketServer::acceptPending() {
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            new Connection(fd, m_handler, this);
        } else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            pauseAccepting();
            return;
        } else if (errno != EINTR && errno != ECONNABORTED) {
            return; // EAGAIN: none left
        }
    }
}

// Out of descriptors: the waiting client stays in the queue, and the notifier would fire at once
// again; try again in a moment instead of spinning.
void LocalSocketServer::pauseAccepting() {
    m_notifier->setEnabled(false);
    QTimer::singleShot(200, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
}

LocalAnswer askLocalSocket(const QString& path, const QByteArray& request, int waitMs) {
    LocalAnswer answer;
    sockaddr_un address;
    if (!socketAddress(QFile::encodeName(path), address))
        return answer;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return answer;
    // Bounds both the connect (a server whose queue is full) and each send.
    const timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, asAddress(address), sizeof address) != 0) {
        ::close(fd);
        return answer;
    }
    answer.connected = true;
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t put =
            ::send(fd, request.constData() + sent, static_cast<size_t>(request.size() - sent), MSG_NOSIGNAL);
        if (put > 0)
            sent += put;
        else if (put == 0 || errno != EINTR)
            break;
    }
    QElapsedTimer waited;
    waited.start();
    char chunk[16 * 1024];
    for (qint64 left = waitMs; left > 0; left = waitMs - waited.elapsed()) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got > 0)
            answer.bytes.append(chunk, got);
        else if (got == 0 || errno != EINTR)
            break;
    }
    ::close(fd);
    return answer;
}

} // namespace halvix
