#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace halvix {

// A stream server on a Unix-domain socket, run by the event loop of the thread that made it. Each
// client sends one request line and gets one reply, after which the server closes the connection.
// Nothing here blocks that thread: requests are read and replies written as the socket allows, so
// a reply larger than the socket's buffer goes out while the client takes it. A client that goes
// away is closed at once; replying to it afterwards does nothing.
class LocalSocketServer final : public QObject {
public:
    // Sends `bytes` and then closes the connection. Only the first call counts; a call after the
    // client has gone, or after the server has been destroyed, does nothing.
    using Reply = std::function<void(const QByteArray& bytes)>;
    // `line` is the request without its newline.
    using RequestHandler = std::function<void(const QByteArray& line, const Reply& reply)>;

    // A client whose request line (newline not counted) grows beyond this is dropped unanswered.
    static constexpr qsizetype kMaxRequest = 64 * 1024;
    // What the kernel takes as a socket's path (sockaddr_un::sun_path less its final zero byte).
    static constexpr qsizetype kMaxPathBytes = 107;

    explicit LocalSocketServer(QObject* parent = nullptr);
    ~LocalSocketServer() override;

    // Answers every request from now on, those of clients already connected too.
    void setRequestHandler(RequestHandler handler);
    // Listens at `path`, replacing a socket file left there (the caller makes sure that no one else
    // listens on it), with mode 0600 so that other users cannot connect. False with `error` (the
    // reason, in Chinese) when the path is too long or the socket cannot be made.
    bool listen(const QString& path, QString& error);
    // Stops listening and removes the socket file; connections already accepted are still answered.
    void close();

private:
    void acceptPending();
    void pauseAccepting();

    int m_fd = -1;
    QByteArray m_path;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::shared_ptr<RequestHandler> m_handler; // shared with the connections: children, deleted after it
};

// What a server answered: `connected` false when nobody listens at the path.
struct LocalAnswer {
    bool connected = false;
    QByteArray bytes;
};

// The client's side, which may block: connects to `path` and sends `request` (each within 2 s),
// then reads until the server closes the connection or `waitMs` have passed.
LocalAnswer askLocalSocket(const QString& path, const QByteArray& request, int waitMs);

} // namespace halvix
