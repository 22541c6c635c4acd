// How late the bell's ticks are handled in the window program (the bell, its main window shown)
// while the window or the bell works on something large, next to the same run without it:
//   none       nothing but the bell and its window (the reference);
//   ringlog    every 5 s the 响铃记录 window opens (or reads the date again), 2 s later its list goes
//              to the last row and the 节点 filter changes to 本机 and back to 全部;
//   soundcheck every 5 s the plan is read again, which checks the day's sounds (the plan's entries
//              name a folder of thousands of tracks), and one entry plays that folder;
//   snapshot   the program is a campus building: 10 s into the run it connects to a loopback broker
//              that holds a shared plan of 30 sounds of 1 MB (published before the ticks started),
//              receives it, applies it on its worker thread and reads the plan again.
// The program folder is prepared by bench/window-loads.sh. Lateness as bench_LockedDatabaseUiBench.
// Usage: bench_WindowLoadUiBench PROGRAM_FOLDER none|ringlog|soundcheck|snapshot [seconds=40]
#include "TickLateness.h"
#include "audio/PulsePlayer.h"
#include "bell/service/Bell.h"
#include "bell/window/MainDialog.h"
#include "campus/service/CampusRuntime.h"
#include "campus/service/MqttLink.h"
#include "campus/SnapshotBuilder.h"
#include "campus/SnapshotPublisher.h"
#include "ringlog/window/RingLogDialog.h"
#include "support/LoopbackBroker.h"
#include "support/ScheduleFixture.h"
#include "widgets/UserPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

namespace {

using namespace halvix;

void workTheRingLog(MainDialog& window) {
    window.onShowRingLog();
    QTimer::singleShot(2000, &window, [&window] {
        RingLogDialog* dialog = window.ringLogDialog();
        auto* list = dialog->findChild<QTableView*>(QStringLiteral("ringList"));
        auto* node = dialog->findChild<QComboBox*>(QStringLiteral("nodeFilter"));
        list->scrollToBottom();
        node->setCurrentIndex(1);
        node->setCurrentIndex(0);
        std::fprintf(stderr, "ring log lists %d rows\n", list->model()->rowCount());
    });
}

// Retains on `broker` a shared plan of 30 sounds of 1 MB, as a central would publish it, and waits
// for the broker's echo of the snapshot. False when it did not go out.
bool retainLargePlan(const test::LoopbackBroker& broker) {
    test::ScheduleFixture central;
    central.writeWeekFile("1125");
    central.insertPlan("cjtime", {{"1", "", "23:59:30", "上课", "新声音0.mp3", "待完", ""}});
    std::mt19937 random(7);
    for (int i = 0; i < 30; ++i) {
        std::string bytes(std::size_t{1} << 20, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() & 0xff);
        central.temp().write("voic/新声音" + std::to_string(i) + ".mp3", bytes);
    }
    const campus::Topics topics("bench");
    campus::MqttLink link(broker.linkSettings("office"));
    bool echoed = false;
    QObject::connect(&link, &campus::MqttLink::messageArrived, &link,
                     [&](const QString& topic, const QByteArray&, bool) {
                         echoed = echoed || topic.toStdString() == topics.snapshot();
                     });
    QString problem;
    link.subscribe(topics.snapshot());
    if (!link.start(problem))
        return false;
    campus::SoundHashCache cache;
    const campus::Publication publication = campus::publishSnapshot(
        central.folder(), topics, {}, cache, [&link](const std::string& topic, std::string payload) {
            return link.publish({topic, std::move(payload), 1, true, 0});
        });
    QElapsedTimer waited;
    waited.start();
    while (!echoed && waited.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::fprintf(stderr, "shared plan of %zu sounds retained: %s\n", publication.soundsSent.size(),
                 echoed ? "yes" : "no");
    return echoed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER none|ringlog|soundcheck|snapshot [seconds]\n",
                     argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const std::string load = argv[2];
    const int runSeconds = argc > 3 ? std::max(10, std::atoi(argv[3])) : 40;

    const SystemClock clock;
    TickDriver ticks;
    Bell bell(argv[1], clock, pulsePlayers());
    test::LoopbackBroker broker;
    if (load == "snapshot") {
        if (!broker.start() || !retainLargePlan(broker))
            return 2;
        const std::filesystem::path folder(argv[1]);
        std::ofstream(folder / "b1.pass") << "bench\n";
        std::filesystem::permissions(folder / "b1.pass", std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write);
        std::ofstream(folder / "campus.ini")
            << "[campus]\nrole = node\ncampus = bench\nid = b1\nname = 一号楼\n"
            << "user = b1\npassword_file = b1.pass\nbroker = mqtt://127.0.0.1:" << broker.port() << "\n";
    }
    campus::CampusRuntime campus(bell, QStringLiteral("bench"));
    QObject::connect(&campus, &campus::CampusRuntime::notice, &bell, [&clock](const QString& text) {
        std::fprintf(stderr, "%s notice: %s\n", bench::clockText(clock.now()).c_str(),
                     qPrintable(text.simplified()));
    });
    DialogPrompts prompts;
    MainDialog window(bell, prompts);
    prompts.setParent(&window);
    QObject::connect(&ticks, &TickDriver::tick, &bell, &Bell::onTick);
    const bench::TickLateness late(ticks, clock);
    bell.reloadPlan();
    window.show();
    ticks.start();

    QTimer work;
    work.setInterval(5000);
    QObject::connect(&work, &QTimer::timeout, &window, [&] {
        if (load == "ringlog")
            workTheRingLog(window);
        else if (load == "soundcheck")
            bell.reloadPlan();
    });
    QObject::connect(&bell, &Bell::soundsChecked, &bell, [](int count, const QString&) {
        std::fprintf(stderr, "sounds checked: %d problems\n", count);
    });
    work.start();
    if (load == "snapshot")
        QTimer::singleShot(10000, &campus, &campus::CampusRuntime::start);
    QTimer::singleShot(runSeconds * 1000, &app, &QCoreApplication::quit);
    QApplication::exec();
    std::printf("%s: ", load.c_str());
    return late.print(runSeconds) ? 0 : 1;
}
