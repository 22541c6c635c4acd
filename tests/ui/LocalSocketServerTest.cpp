#include "app/LocalSocketServer.h"

#include "TempFolder.h"

#include <QFile>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace halvix;

namespace {

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// A client on a thread of its own: sends `request`, then reads the reply to its end after
// `readAfterMs`, or goes without reading when it is negative. `reading` turns true as it reads.
QByteArray visit(const QByteArray& path, const QByteArray& request, int readAfterMs,
                 std::atomic<bool>& reading) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    QByteArray reply;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL);
        if (readAfterMs >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(readAfterMs));
            reading = true;
            const timeval limit{10, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            char chunk[4096];
            for (ssize_t got; (got = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
                reply.append(chunk, got);
        }
    }
    ::close(fd);
    return reply;
}

const QByteArray kBigReply = QByteArray(1024 * 1024, 'x') + "end";

} // namespace

class LocalSocketServerTest : public QObject {
    Q_OBJECT

private slots:
    void answersEachClientAndLeavesNoDescriptor_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("readAfterMs");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("handled");
        const qsizetype most = LocalSocketServer::kMaxRequest;
        QTest::newRow("a reply larger than the socket buffer, read late")
            << QByteArray("big\n") << 400 << kBigReply << 1;
        QTest::newRow("the longest request") << QByteArray(most, 'w') + '\n'
                                             << 0 << QByteArray::number(most) << 1;
        QTest::newRow("an over-long line") << QByteArray(most + 1, 'w') + '\n' << 0 << QByteArray() << 0;
        QTest::newRow("an over-long request without its end")
            << QByteArray(most + 20000, 'w') << 0 << QByteArray() << 0;
        QTest::newRow("gone without reading a large reply") << QByteArray("big\n") << -1 << QByteArray() << 1;
        QTest::newRow("gone before a later answer") << QByteArray("later\n") << -1 << QByteArray() << 1;
        QTest::newRow("gone without asking") << QByteArray() << -1 << QByteArray() << 0;
    }

    void answersEachClientAndLeavesNoDescriptor() {
        QFETCH(QByteArray, request);
        QFETCH(int, readAfterMs);
        QFETCH(QByteArray, reply);
        QFETCH(int, handled);

        test::TempFolder folder;
        const QByteArray path = QFile::encodeName(QString::fromStdString((folder / "s").string()));
        const int before = openDescriptors();
        LocalSocketServer server;
        QString error;
        QVERIFY2(server.listen(QString::fromLocal8Bit(path), error), qPrintable(error));

        int calls = 0;
        LocalSocketServer::Reply later;
        std::atomic<bool> answered = false;
        server.setRequestHandler([&](const QByteArray& line, const LocalSocketServer::Reply& answer) {
            ++calls;
            if (line == "later")
                later = answer;
            else
                answer(line == "big" ? kBigReply : QByteArray::number(line.size()));
            answered = true;
        });
        // The server's thread must keep running while the client leaves a large reply unread.
        std::atomic<bool> reading = false;
        int ticksWhileUnread = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ticksWhileUnread += answered && !reading; });
        ticker.start(20);

        std::atomic<bool> done = false;
        QByteArray received;
        std::thread client([&] {
            received = visit(path, request, readAfterMs, reading);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
        client.join();
        QCOMPARE(received, reply);
        QCOMPARE(calls, handled);
        if (readAfterMs > 0)
            QVERIFY2(ticksWhileUnread >= 5, qPrintable(QString::number(ticksWhileUnread)));
        // Listening takes one descriptor; the client's connection is closed with it gone.
        QTRY_COMPARE(openDescriptors(), before + 1);
        if (later) {
            later("0\nlate\n");
            QCoreApplication::processEvents();
            QCOMPARE(openDescriptors(), before + 1);
        }
        server.close();
        QCOMPARE(openDescriptors(), before);
        QVERIFY(!std::filesystem::exists(folder / "s"));
    }

    // The kernel takes a socket path of at most 107 bytes; a longer one is refused with the reason,
    // and a socket file left at the path is replaced by one only its user may use.
    void listensOnPathsTheKernelTakes() {
        test::TempFolder folder;
        for (const qsizetype length : {qsizetype(107), qsizetype(108)}) {
            const QString base = QString::fromStdString(folder.path().string()) + QLatin1Char('/');
            const QString path = base + QString(length - base.size(), QLatin1Char('s'));
            const QByteArray name = QFile::encodeName(path);
            if (length <= LocalSocketServer::kMaxPathBytes) {
                const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(length));
                QCOMPARE(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
                ::close(stale);
            }
            LocalSocketServer server;
            QString error;
            const bool listening = server.listen(path, error);
            QCOMPARE(listening, length <= LocalSocketServer::kMaxPathBytes);
            if (!listening) {
                QVERIFY2(error.contains(QStringLiteral("最多 107 字节")), qPrintable(error));
                continue;
            }
            struct stat info {};
            QCOMPARE(::stat(name.constData(), &info), 0);
            QCOMPARE(info.st_mode & 0777, 0600u);
            QCOMPARE(askLocalSocket(path, "x\n", 200).connected, true);
        }
    }
};

QTEST_GUILESS_MAIN(LocalSocketServerTest)
#include "LocalSocketServerTest.moc"
