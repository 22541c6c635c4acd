#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace halvix {

// What the running bell answered: an exit status and lines of text.
struct InstanceReply {
    int status = 0;
    QString text;
};

// At most one running bell per program folder. The bell holds a lock file and listens on a local
// socket, both named after a hash of the folder's canonical path; a later start sends its request
// (the command's words, one line, tab-separated) and gets back one status line and the answer.
// A lock left by a killed bell is stale (its process is gone) and so is its socket: neither blocks
// a new start.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<InstanceReply(const QStringList& words)>;

    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket's name for `folder`.
    static QString serverName(const QString& folder);

    // True when this process is now the folder's bell, listening for requests; false when another
    // holds the folder (or the socket cannot be made: `error` says so).
    bool claim(QString& error);
    // Answers every request from now on; requests before it wait in the event loop.
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    // Sends `words` to the folder's running bell and waits for its answer; nothing when none runs.
    static std::optional<InstanceReply> send(const QString& folder, const QStringList& words,
                                             int waitMs = 10000);

private:
    void onConnection();

    QString m_name;
    QLockFile m_lock;
    QLocalServer m_server;
    Handler m_handler;
};

} // namespace halvix
