#pragma once

#include "app/LocalSocketServer.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace halvix {

// What the running bell answered: an exit status and lines of text.
struct InstanceReply {
    int status = 0;
    QString text;
    bool answered = true; // false: it took the request but said nothing within the wait
};

// At most one running bell per program folder. The bell holds an flock on "halvix.lock" in the
// program folder, so every start on the folder sees it, whoever starts it and whatever its
// temporary folder; the kernel drops the lock with the process, so a killed bell leaves none (a
// folder that cannot hold the file, missing or read-only, is locked in the runtime folder instead).
// The bell listens on a local socket in the user's runtime folder: XDG_RUNTIME_DIR when it is a
// folder of this user that nobody else may enter, otherwise ~/.cache/halvix (XDG_CACHE_HOME), made
// mode 0700; never the shared temporary folder, where another user could take the name first.
// The socket is named after a hash of the folder's canonical path. A later start sends its request
// (the command's words, one line, tab-separated) and gets back one status line and the answer.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<InstanceReply(const QStringList& words)>;
    // For requests whose answer takes a while (a publication the broker must confirm): true when it
    // took the request and will call `answer` once, later; false leaves it to the plain handler.
    using Answer = std::function<void(const InstanceReply& reply)>;
    using LaterHandler = std::function<bool(const QStringList& words, const Answer& answer)>;

    static constexpr const char* kLockFileName = "halvix.lock";
    // How long a start waits for a bell that holds the folder without answering.
    static constexpr std::chrono::milliseconds kPatience{30'000};

    // What became of a start on the folder.
    struct Start {
        enum class Outcome { Bell, HandedOver, NoAnswer, Failed };
        Outcome outcome = Outcome::Failed;
        InstanceReply reply; // HandedOver: what the running bell answered
        QString error;       // Failed: why the folder cannot be claimed
    };

    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket's file name for `folder` (without the runtime folder).
    static QString serverName(const QString& folder);
    // The runtime folders a bell's socket may be in, the one a new bell uses first; folders that
    // are missing, another user's or open to others are left out.
    static QStringList runtimeFolders();

    // True when this process is now the folder's bell, listening for requests; false when another
    // holds the folder (or the lock or the socket cannot be made: `error` says so).
    bool claim(QString& error);
    // Claims the folder, or hands `words` to its running bell. A bell that holds the folder and takes
    // the request without answering may be ending (its quit waiting for a frozen sound server; it
    // keeps its socket and lock to its end) or stopped: the start waits for the lock to go and then
    // claims the folder. One silent for `patience` counts as hung, one that cannot be reached for
    // a few seconds in a row (listening in a runtime folder this start does not see) too.
    Start claimOrHandOver(const QStringList& words, std::chrono::milliseconds patience = kPatience);
    // Answers every request from now on; requests before it wait in the event loop.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    void setLaterHandler(LaterHandler handler) { m_laterHandler = std::move(handler); }

    // Sends `words` to the folder's running bell and waits for its answer; nothing when none runs.
    static std::optional<InstanceReply> send(const QString& folder, const QStringList& words,
                                             int waitMs = 10000);

private:
    void onRequest(const QByteArray& line, const LocalSocketServer::Reply& reply);

    QString m_folder;
    QString m_name;
    int m_lockFd = -1;
    LocalSocketServer m_server;
    Handler m_handler;
    LaterHandler m_laterHandler;
};

} // namespace halvix
