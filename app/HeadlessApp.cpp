#include "app/HeadlessApp.h"

#include "app/CommandLine.h"
#include "app/InstanceRequests.h"
#include "app/ProgramPlace.h"
#include "app/QuitSignals.h"
#include "app/SingleInstance.h"
#include "audio/SoundMemory.h"
#include "bell/service/Bell.h"
#include "bell/service/TickDriver.h"
#include "campus/service/CampusRuntime.h"
#include "common/MessageSink.h"
#include "common/PathText.h"
#include "time/SystemClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

namespace halvix {

namespace {

void say(const Clock& clock, const QString& text) {
    const LocalTime t = clock.now();
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        std::fprintf(stderr, "%04d-%02d-%02d %02d:%02d:%02d %s\n", t.year, t.month, t.day, t.hour, t.minute,
                     t.second, qUtf8Printable(line));
    std::fflush(stderr);
}

// What the store reports, said like every other notice.
class SayingSink final : public MessageSink {
public:
    explicit SayingSink(const Clock& clock) : m_clock(clock) {}
    void show(const UserMessage& message) override { say(m_clock, QString::fromStdString(message.text)); }

private:
    const Clock& m_clock;
};

} // namespace

void printText(std::FILE* stream, const QString& text) {
    if (text.isEmpty())
        return;
    std::fputs(qUtf8Printable(text), stream);
    if (!text.endsWith(QLatin1Char('\n')))
        std::fputc('\n', stream);
}

std::optional<int> answerAtOnce(const Invocation& invocation) {
    switch (invocation.action) {
    case Invocation::Action::Help:
    case Invocation::Action::Version:
        printText(stdout, invocation.text);
        return kExitOk;
    case Invocation::Action::BadUsage:
        printText(stderr, invocation.text);
        return kExitBadUsage;
    case Invocation::Action::Run:
        break;
    }
    return std::nullopt;
}

QString programFolder(const Invocation& invocation, std::string* problem) {
    if (!invocation.folder.isEmpty())
        return QDir::cleanPath(QFileInfo(invocation.folder).absoluteFilePath());
    const ProgramFolderChoice choice = resolveProgramFolder();
    if (problem)
        *problem = choice.problem;
    return QString::fromStdU16String(choice.folder.u16string());
}

std::optional<int> claimOrHandOver(SingleInstance& instance, const QString& folder) {
    const SingleInstance::Start start = instance.claimOrHandOver({QStringLiteral("show")});
    switch (start.outcome) {
    case SingleInstance::Start::Outcome::Bell:
        return std::nullopt;
    case SingleInstance::Start::Outcome::HandedOver:
        printText(stdout, start.reply.text);
        return kExitOk;
    case SingleInstance::Start::Outcome::NoAnswer:
        printText(stderr, QStringLiteral("运行中的程序没有应答, 文件夹仍被它占用: ") + folder);
        return kExitNotRunning;
    case SingleInstance::Start::Outcome::Failed:
        break;
    }
    printText(stderr, start.error);
    return kExitBadUsage;
}

int runHeadlessService(int argc, char* argv[], const Invocation& invocation, BellPlayers (*makePlayers)()) {
    QCoreApplication app(argc, argv);
    const QString folder = programFolder(invocation);
    SingleInstance instance(folder);
    if (const std::optional<int> status = claimOrHandOver(instance, folder))
        return *status;
    return runHeadless(pathFromUtf8(folder.toStdString()), instance, makePlayers());
}

void returnMemoryAfterRings(Bell& bell) {
    auto* quiet = new QTimer(&bell);
    quiet->setSingleShot(true);
    quiet->setInterval(30'000);
    QObject::connect(quiet, &QTimer::timeout, quiet, &returnFreedMemory);
    QObject::connect(&bell.recorder(), &RingRecorder::entryStored, quiet, qOverload<>(&QTimer::start));
    QObject::connect(&bell, &Bell::planReloaded, quiet, qOverload<>(&QTimer::start));
}

int runHeadless(const std::filesystem::path& folder, SingleInstance& instance, BellPlayers players) {
    const SystemClock clock;
    TickDriver ticks;
    Bell bell(folder, clock, std::move(players));
    campus::CampusRuntime campus(bell, QStringLiteral(HALVIX_VERSION));
    const auto signalNotifier = quitOnSignals([] { QCoreApplication::exit(0); });
    returnMemoryAfterRings(bell);

    QObject::connect(&bell, &Bell::unattendedNotice, &bell,
                     [&clock](const QString& text) { say(clock, text); });
    QObject::connect(&bell, &Bell::decisionChanged, &bell,
                     [&clock](const QString& line) { say(clock, line); });
    QObject::connect(&bell, &Bell::soundsChecked, &bell, [&clock](int count, const QString& summary) {
        if (count > 0)
            say(clock, QStringLiteral("%1 个铃声有问题:\n%2").arg(count).arg(summary));
    });
    QObject::connect(&bell.emergency(), &EmergencyControl::changed, &bell, [&clock](const QString& text) {
        say(clock, text.isEmpty() ? QStringLiteral("紧急广播已解除") : text);
    });
    // The service's log says what the ring log holds: time, plan time, event, sound, result.
    QObject::connect(&bell.recorder(), &RingRecorder::entryStored, &bell, [&clock](const RingRow& row) {
        say(clock, QStringLiteral("已记录\t%1\t%2\t%3\t%4\t%5")
                       .arg(QString::fromStdString(row.moment), QString::fromStdString(row.planTime),
                            QString::fromStdString(row.event), QString::fromStdString(row.sound),
                            QString::fromStdString(row.result)));
    });
    QObject::connect(&campus, &campus::CampusRuntime::notice, &bell,
                     [&clock](const QString& text) { say(clock, text); });
    instance.setHandler(
        [&bell, &campus](const QStringList& words) { return answerRequest(bell, words, nullptr, &campus); });
    // A ring is answered once the loudspeakers played it; on the 主控, publications and commands asked
    // from the command line go through it.
    instance.setLaterHandler(
        [&bell, &campus](const QStringList& words, const SingleInstance::Answer& answer) {
            return answerLaterRequest(bell, campus, words, answer);
        });
    QTimer::singleShot(0, &bell, [&] {
        say(clock, QStringLiteral("无窗口运行: ") + QString::fromStdString(pathToUtf8(folder)));
        QObject::connect(&ticks, &TickDriver::tick, &bell, &Bell::onTick);
        ticks.start();
        SayingSink sink(clock);
        bell.useStoredChoice(sink);
        bell.reloadPlan();
        for (const UserMessage& notice : bell.takeNotices())
            say(clock, QString::fromStdString(notice.text));
        if (!bell.emergency().text().isEmpty())
            say(clock, bell.emergency().text());
        // After the first load: the plan rings from its own copy whatever the network does.
        campus.start();
    });
    const int status = QCoreApplication::exec();
    ticks.stop();
    bell.silence();
    say(clock, QStringLiteral("已结束"));
    return status;
}

} // namespace halvix
