// One bell per program folder. A start hands its request to a bell that answers; it waits for a bell
// that holds the folder without answering (one ending, whose quit waits for a frozen sound server)
// and becomes the bell once that one has ended; it gives up on one that stays silent (hung) and on
// one it cannot reach for a few seconds.
#include "app/SingleInstance.h"

#include "TempFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstring>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace halvix;
using Outcome = SingleInstance::Start::Outcome;

namespace {

// Another process holding the folder as a silent bell does: the lock and, when `listening`, the
// socket, which takes connections but never answers (a stopped bell, or one whose event loop is
// over). It lets go by ending after `holdMs` (never when negative, until destroyed).
class SilentHolder {
public:
    SilentHolder(const QString& folder, bool listening, int holdMs) {
        const QByteArray lock = QFile::encodeName(QDir(folder).filePath(SingleInstance::kLockFileName));
        const QByteArray socketPath =
            QFile::encodeName(SingleInstance::runtimeFolders().value(0) + QLatin1Char('/') +
                              SingleInstance::serverName(folder));
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            // Plain system calls only, in the child of a Qt program.
            const int fd = ::open(lock.constData(), O_RDWR | O_CREAT, 0600);
            bool held = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
            if (held && listening) {
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                std::memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
                const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
                ::unlink(socketPath.constData());
                held = ::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                       ::listen(server, 8) == 0;
            }
            [[maybe_unused]] const auto told = ::write(ready[1], held ? "1" : "0", 1);
            if (holdMs < 0)
                ::pause();
            ::usleep(static_cast<useconds_t>(holdMs) * 1000);
            ::_exit(0);
        }
        ::close(ready[1]);
        char held = '0';
        m_holding = ::read(ready[0], &held, 1) == 1 && held == '1';
        ::close(ready[0]);
    }
    ~SilentHolder() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    SilentHolder(const SilentHolder&) = delete;
    SilentHolder& operator=(const SilentHolder&) = delete;

    bool holding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    bool m_holding = false;
};

QString folderOf(const test::TempFolder& folder) {
    return QString::fromStdString(folder.path().string());
}

// A start on `folder` made on a thread of its own, so that a bell of this thread can answer it.
struct OtherStart {
    SingleInstance::Start start;
    qint64 tookMs = 0;
    std::unique_ptr<QThread> thread;

    OtherStart(const QString& folder, std::chrono::milliseconds patience) {
        thread.reset(QThread::create([this, folder, patience] {
            QElapsedTimer took;
            took.start();
            SingleInstance instance(folder);
            start = instance.claimOrHandOver({QStringLiteral("show")}, patience);
            tookMs = took.elapsed();
        }));
        thread->start();
    }
    bool done() const { return thread->isFinished(); }
};

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // A runtime folder of the test's own, as private as the program wants it.
        QVERIFY(m_runtime.path().string().size() > 0);
        QFile::setPermissions(folderOf(m_runtime),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folderOf(m_runtime)));
        QCOMPARE(SingleInstance::runtimeFolders().value(0), folderOf(m_runtime));
    }

    void waitsForAHolderThatDoesNotAnswer_data() {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<int>("patienceMs");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("leastMs");
        QTest::addColumn<int>("mostMs");
        QTest::newRow("an ending bell") << true << 1500 << 20000 << int(Outcome::Bell) << 1400 << 3000;
        QTest::newRow("a bell before its socket")
            << false << 1500 << 20000 << int(Outcome::Bell) << 1400 << 3000;
        QTest::newRow("a hung bell") << true << -1 << 2500 << int(Outcome::NoAnswer) << 2400 << 4000;
        QTest::newRow("a bell nobody reaches")
            << false << -1 << 20000 << int(Outcome::NoAnswer) << 4900 << 6500;
    }

    void waitsForAHolderThatDoesNotAnswer() {
        QFETCH(bool, listening);
        QFETCH(int, holdMs);
        QFETCH(int, patienceMs);
        QFETCH(int, outcome);
        QFETCH(int, leastMs);
        QFETCH(int, mostMs);

        test::TempFolder folder;
        SilentHolder holder(folderOf(folder), listening, holdMs);
        QVERIFY(holder.holding());
        QElapsedTimer took;
        took.start();
        SingleInstance instance(folderOf(folder));
        const SingleInstance::Start start =
            instance.claimOrHandOver({QStringLiteral("show")}, std::chrono::milliseconds(patienceMs));
        const qint64 elapsed = took.elapsed();
        QCOMPARE(int(start.outcome), outcome);
        QVERIFY2(elapsed >= leastMs && elapsed <= mostMs, qPrintable(QString::number(elapsed) + " ms"));
        if (start.outcome != Outcome::Bell)
            return;
        // The new bell answers the next start.
        instance.setHandler([](const QStringList& words) {
            return InstanceReply{0, words.join(QLatin1Char(' '))};
        });
        OtherStart next(folderOf(folder), std::chrono::milliseconds(5000));
        QTRY_VERIFY_WITH_TIMEOUT(next.done(), 15000);
        QCOMPARE(int(next.start.outcome), int(Outcome::HandedOver));
        QCOMPARE(next.start.reply.text, QStringLiteral("show"));
    }

    // The program's own ending: its event loop is over, its socket and lock stay to its end.
    void aStartDuringAnEndingBecomesTheBellAtItsEnd() {
        test::TempFolder folder;
        auto ending = std::make_unique<SingleInstance>(folderOf(folder));
        QString error;
        QVERIFY2(ending->claim(error), qPrintable(error));
        OtherStart next(folderOf(folder), std::chrono::milliseconds(20000));
        std::this_thread::sleep_for(std::chrono::milliseconds(7000));
        QVERIFY(!next.done());
        ending.reset();
        QTRY_VERIFY_WITH_TIMEOUT(next.done(), 5000);
        QCOMPARE(int(next.start.outcome), int(Outcome::Bell));
        QVERIFY2(next.tookMs >= 6900 && next.tookMs < 8500, qPrintable(QString::number(next.tookMs) + " ms"));
    }

    void aBellThatAnswersTakesTheStart() {
        test::TempFolder folder;
        SingleInstance running(folderOf(folder));
        QString error;
        QVERIFY2(running.claim(error), qPrintable(error));
        running.setHandler([](const QStringList&) { return InstanceReply{0, QStringLiteral("窗口已显示")}; });
        OtherStart next(folderOf(folder), std::chrono::milliseconds(20000));
        QTRY_VERIFY_WITH_TIMEOUT(next.done(), 15000);
        QCOMPARE(int(next.start.outcome), int(Outcome::HandedOver));
        QCOMPARE(next.start.reply.text, QStringLiteral("窗口已显示"));
        QVERIFY2(next.tookMs < 2000, qPrintable(QString::number(next.tookMs) + " ms"));
    }

private:
    test::TempFolder m_runtime;
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
