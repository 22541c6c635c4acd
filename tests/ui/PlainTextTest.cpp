// Texts the program did not write (a building's name or problem, a sound's name, a calendar note,
// a database's error) show as written wherever a window quotes them: never read as markup, so a
// building named "<b>x</b><img src=/etc/passwd>" shows exactly that and loads no file.
#include "widgets/PlainText.h"
#include "bell/window/BellTray.h"
#include "calendar/window/CalendarDialog.h"
#include "calendar/CalendarStore.h"
#include "campus/window/CampusWindow.h"
#include "campus/NodeBoard.h"
#include "emergency/EmergencyFile.h"
#include "ringlog/RingLog.h"
#include "ringlog/window/RingLogDialog.h"
#include "support/ProgramWindow.h"
#include "widgets/Resources.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace halvix;
using namespace halvix::test;

namespace {

const QString kMarkup = QStringLiteral("<b>x</b><img src=/etc/passwd>");
// A sound is a file name: the same markup without a '/', and an '&' that a menu would eat.
const QString kSound = QStringLiteral("<img src=passwd>R&D<b>警报.mp3");
constexpr std::int64_t kNow = 1'765'180'800'000;

std::string text(const QString& shown) {
    return shown.toStdString();
}

// One place that quotes a text: it is given the text and answers what the user sees there.
using Place = std::function<QString(const QString& quoted)>;

QString campusRowNote(const QString& quoted) {
    campus::NodeBoard board;
    board.setCentralRevision(7, kNow);
    campus::NodeStatus status;
    status.node = "jxl";
    status.name = text(quoted);
    status.online = true;
    status.revision = 7;
    status.snapshotProblem = text(quoted);
    if (const std::string problem = board.receiveStatus(writeStatus(status), status.node, kNow);
        !problem.empty())
        qFatal("status refused: %s", problem.c_str());
    TempFolder folder;
    campus::CampusWindow window(folder.path());
    window.showBoard(board, kNow);
    const QAbstractItemModel& rows = *child<QTableView>(window, QStringLiteral("nodeList"))->model();
    return shownToolTip(rows.index(0, 1).data(Qt::ToolTipRole).toString());
}

QString campusEmergencyLine(const QString& quoted) {
    TempFolder folder;
    campus::CampusWindow window(folder.path());
    window.showEmergency(QString::fromStdString(emergencyLine({true, text(quoted), {"lab"}, kNow, "值班室"})),
                         true);
    return shownText(*child<QLabel>(window, QStringLiteral("emergencyLabel")));
}

QString campusStatusLine(const QString& quoted) {
    TempFolder folder;
    folder.write("voic/" + text(quoted), "x");
    campus::CampusWindow window(folder.path());
    ScriptedPrompts prompts;
    prompts.confirmAnswers.push_back(true);
    window.setPrompts(prompts);
    child<QComboBox>(window, QStringLiteral("targetBox"))->setCurrentIndex(1); // 全部节点
    window.onEmergency();
    return shownText(*child<QLabel>(window, QStringLiteral("statusLabel")));
}

QString trayTip(const QString& quoted) {
    BellTray tray;
    tray.setEmergency(QStringLiteral("紧急广播中: ") + quoted);
    tray.setStatus(quoted);
    return shownToolTip(tray.toolTip());
}

QString traySoundItem(QMenu* (BellTray::*menu)() const, const QString& quoted) {
    BellTray tray;
    tray.setSoundLister([quoted] { return QStringList{quoted}; });
    tray.setEmergencySoundLister([quoted] { return QStringList{quoted}; });
    emit(tray.*menu)()->aboutToShow();
    const QList<QAction*> items = (tray.*menu)()->actions();
    return items.size() == 1 ? shownMenuText(items[0]->text())
                             : QStringLiteral("items: %1").arg(items.size());
}

// The main window on a Monday whose calendar entry (a 停铃 day) carries the text as its note, while
// kSound sounds as the emergency.
QString mainWindowLine(const char* label, const QString& quoted) {
    Program program;
    std::string ignored;
    if (!saveEmergency(program.db.folder(), {true, text(kSound), {}, kNow, "命令行"}, ignored))
        qFatal("emergency not saved: %s", ignored.c_str());
    SilentSink quiet;
    if (!saveCalendar(program.db.folder(),
                      {{{2024, 3, 4}, {2024, 3, 4}, CalendarType::Silent, 0, text(quoted)}}, quiet))
        qFatal("calendar not saved");
    program.clock.time = monday(7, 0, 0);
    auto window = program.open();
    return shownText(*child<QLabel>(*window, QString::fromLatin1(label)));
}

QString calendarDecision(const QString& quoted) {
    ScheduleFixture database;
    SilentSink quiet;
    if (!saveCalendar(database.folder(),
                      {{{2024, 10, 1}, {2024, 10, 7}, CalendarType::Silent, 0, text(quoted)}}, quiet))
        qFatal("calendar not saved");
    ScriptedPrompts prompts;
    CalendarDialog dialog(database.folder(), 1, 1, prompts);
    child<QCalendarWidget>(dialog, QStringLiteral("monthView"))->setSelectedDate(QDate(2024, 10, 2));
    return shownText(*child<QLabel>(dialog, QStringLiteral("decisionLabel")));
}

// The ring log's status quotes the database's error when it cannot be read.
QString ringLogStatus(const QString& quoted) {
    TempFolder folder;
    RingLogWriter writer(folder.path() / "ringlog.db");
    ScriptedPrompts prompts;
    RingLogDialog dialog(writer, prompts, QDate(2024, 3, 4));
    QLabel* status = child<QLabel>(dialog, QStringLiteral("statusLabel"));
    status->setText(quoted);
    return shownText(*status);
}

// A message box of the program (a notice that quotes a name), read while it waits for its click.
QString messageBox(const QString& quoted) {
    QString shown = QStringLiteral("no box");
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = shownText(*child<QLabel>(*box, QStringLiteral("qt_msgbox_label")));
        box->done(0);
    });
    DialogPrompts prompts(nullptr);
    prompts.show({"已导出 " + text(quoted), "响铃记录", MessageIcon::Information});
    return shown;
}

struct Case {
    const char* where;
    Place shown;
    QString quoted;
};

const std::vector<Case>& places() {
    using namespace std::placeholders;
    static const std::vector<Case> all = {
        {"校园 window: a building's name and refusal in its row's tooltip", campusRowNote, kMarkup},
        {"校园 window: the emergency line", campusEmergencyLine, kMarkup},
        {"校园 window: the status after 紧急广播", campusStatusLine, kSound},
        {"tray: the tip", trayTip, kMarkup},
        {"tray: 立即播放's sound", std::bind(traySoundItem, &BellTray::playMenu, _1), kSound},
        {"tray: 紧急广播's sound", std::bind(traySoundItem, &BellTray::emergencyMenu, _1), kSound},
        {"main window: the status line", std::bind(mainWindowLine, "statusLine", _1), kSound},
        {"main window: today's line", std::bind(mainWindowLine, "todayLine", _1), kMarkup},
        {"main window: the emergency banner", std::bind(mainWindowLine, "emergencyLine", _1), kSound},
        {"calendar: the decision of a date", calendarDecision, kMarkup},
        {"ring log: the status", ringLogStatus, kMarkup},
        {"message box", messageBox, kMarkup},
    };
    return all;
}

} // namespace

class PlainTextTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void quotedTextShowsAsWritten_data() {
        QTest::addColumn<int>("place");
        for (int i = 0; i < int(places().size()); ++i)
            QTest::newRow(places()[std::size_t(i)].where) << i;
    }

    void quotedTextShowsAsWritten() {
        QFETCH(int, place);
        const Case& c = places()[std::size_t(place)];
        const QString shown = c.shown(c.quoted);
        QVERIFY2(shown.contains(c.quoted), qPrintable(QStringLiteral("shows \"%1\"").arg(shown)));
    }

    // Any text at all, as a tooltip, shows as it was: random texts of markup, entities, line ends
    // and spaces.
    void aToolTipShowsAnyTextAsWritten() {
        const QStringList pieces{
            QStringLiteral("<b>"),  QStringLiteral("</b>"),      QStringLiteral("<img src=x>"),
            QStringLiteral("&lt;"), QStringLiteral("&amp;"),     QStringLiteral("&"),
            QStringLiteral("<"),    QStringLiteral(">"),         QStringLiteral("\n"),
            QStringLiteral("  "),   QStringLiteral("教学楼"),    QStringLiteral("\""),
            QStringLiteral("<p>"),  QStringLiteral("<!doctype"), QStringLiteral("x")};
        QRandomGenerator random(20261210);
        for (int i = 0; i < 3000; ++i) {
            QString text;
            for (int n = random.bounded(1, 8); n > 0; --n)
                text += pieces[random.bounded(int(pieces.size()))];
            QCOMPARE(shownToolTip(plainToolTip(text)), text);
        }
    }
};

QTEST_MAIN(PlainTextTest)
#include "PlainTextTest.moc"
