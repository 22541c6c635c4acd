#include "calendar/window/CalendarDialog.h"

#include "calendar/CalendarColours.h"

#include "support/ScheduleFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/Widgets.h"
#include "widgets/ChineseInterface.h"

#include <QAbstractButton>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTextCharFormat>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

using namespace halvix;
using test::ScheduleFixture;
using test::ScriptedPrompts;
using Rows = std::vector<std::vector<std::string>>;

namespace {

const Rows kShown = {{"2024-09-29", "2024-09-29", "调休", "星期一", "补国庆"},
                     {"2024-10-01", "2024-10-07", "停铃", "", "国庆节"},
                     {"2024-11-04", "2024-11-08", "考试", "", "期中考试"}};
const Rows kStored = {{"2024-09-29", "2024-09-29", "调休", "1", "补国庆"},
                      {"2024-10-01", "2024-10-07", "停铃", "", "国庆节"},
                      {"2024-11-04", "2024-11-08", "考试", "", "期中考试"}};

// A program folder with a database, the dialog over it (stored day type 日常, term 春季), and
// scripted answers.
struct Harness {
    ScheduleFixture& database;
    ScriptedPrompts prompts;
    std::unique_ptr<CalendarDialog> dialog;

    explicit Harness(ScheduleFixture& fx)
        : database(fx), dialog(std::make_unique<CalendarDialog>(fx.folder(), 1, 1, prompts)) {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }

    template <typename T> T* child(const char* name) const { return test::child<T>(*dialog, name); }
    void click(const char* name) const { child<QAbstractButton>(name)->click(); }
    void edit(const char* start, const char* end, const char* type, const char* note,
              const char* weekday = nullptr) const {
        child<QDateEdit>("startDate")->setDate(QDate::fromString(start, Qt::ISODate));
        child<QDateEdit>("endDate")->setDate(QDate::fromString(end, Qt::ISODate));
        child<QComboBox>("typeCombo")->setCurrentText(QString::fromUtf8(type));
        if (weekday)
            child<QComboBox>("weekdayCombo")->setCurrentText(QString::fromUtf8(weekday));
        child<QLineEdit>("noteEdit")->setText(QString::fromUtf8(note));
    }
    Rows shown() const { return test::shownRows(*child<QTableView>("entryList")->model()); }
    void selectRow(int row) const { child<QTableView>("entryList")->selectRow(row); }
    // The one line the month view shows for `date`.
    std::string decisionOf(const char* date) const {
        child<QCalendarWidget>("monthView")->setSelectedDate(QDate::fromString(date, Qt::ISODate));
        return child<QLabel>("decisionLabel")->text().toStdString();
    }
    QColor colourOf(const char* date) const {
        const auto* view = child<QCalendarWidget>("monthView");
        return view->dateTextFormat(QDate::fromString(date, Qt::ISODate)).background().color();
    }
    QString path(const std::string& name) const {
        return QString::fromStdString((database.folder() / name).string());
    }
};

void addTheAutumnEntries(const Harness& h) {
    h.edit("2024-11-04", "2024-11-08", "考试", "期中考试");
    h.click("addButton");
    h.edit("2024-10-01", "2024-10-07", "停铃", "国庆节");
    h.click("addButton");
    h.edit("2024-09-29", "2024-09-29", "调休", "补国庆", "星期一");
    h.click("addButton");
}

} // namespace

class CalendarDialogTest : public QObject {
    Q_OBJECT
private slots:
    // The program's locale: Chinese, whose weeks begin on Sunday.
    void initTestCase() { useChineseInterface(); }
    void addedEntriesAreSavedAndShownAgain();
    void aBadImportChangesNothingAndAnExportImportsBack();
    void closingWithUnsavedChangesAsks_data();
    void closingWithUnsavedChangesAsks();
    void marksKeepTheWeekendRedAndWeeksBeginOnMonday();
    void aSelectedSilentDateStaysFramed();
};

namespace {

QColor qColour(const Rgb& rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

// The month view's entries for October 2024 (the 1st a Tuesday): the autumn term set by date,
// a 停铃 week, a 调休 Saturday and an exam week, each over a weekend.
void addOctober(const Harness& h) {
    h.edit("2024-09-01", "2024-10-31", "秋季", "秋季学期");
    h.click("addButton");
    h.edit("2024-10-01", "2024-10-07", "停铃", "国庆节");
    h.click("addButton");
    h.edit("2024-10-12", "2024-10-12", "调休", "补课", "星期一");
    h.click("addButton");
    h.edit("2024-10-14", "2024-10-20", "考试", "期中考试");
    h.click("addButton");
    h.child<QCalendarWidget>("monthView")->setCurrentPage(2024, 10);
}

// Where the month view draws `date` (selected, so that it is on the page) and what it shows.
QImage cellOf(const Harness& h, const QDate& date, QRect& cell) {
    auto* view = h.child<QCalendarWidget>("monthView");
    view->setSelectedDate(date);
    auto* table = view->findChild<QTableView*>();
    cell = table->visualRect(table->selectionModel()->currentIndex());
    return table->viewport()->grab().toImage();
}

} // namespace

void CalendarDialogTest::marksKeepTheWeekendRedAndWeeksBeginOnMonday() {
    ScheduleFixture fx;
    Harness h(fx);
    addOctober(h);
    const QColor black(Qt::black);
    const QColor red = qColour(kWeekendText);
    const struct {
        const char* date;
        Rgb background;
        QColor text;
    } cases[] = {
        {"2024-10-09", kAutumnTerm.background, black}, // Wednesday in the term
        {"2024-10-26", kAutumnTerm.background, red},   // Saturday in the term
        {"2024-10-03", kSilentDay.background, qColour(kSilentDay.text)},
        {"2024-10-05", kSilentDay.background, red},   // Saturday without bells
        {"2024-10-12", kMakeUpDay.background, black}, // a 调休 Saturday is a school day
        {"2024-10-16", kExamDay.background, black},
        {"2024-10-20", kExamDay.background, red},    // Sunday in the exam week
        {"2024-11-02", kWeekendDay.background, red}, // Saturday without a mark
    };
    const auto* view = h.child<QCalendarWidget>("monthView");
    for (const auto& c : cases) {
        const QDate date = QDate::fromString(c.date, Qt::ISODate);
        // As the month view merges them: the weekday's format, then the date's.
        QTextCharFormat shown = view->weekdayTextFormat(Qt::DayOfWeek(date.dayOfWeek()));
        shown.merge(view->dateTextFormat(date));
        const QColor background = shown.hasProperty(QTextFormat::BackgroundBrush)
                                      ? shown.background().color()
                                      : qColour(kWeekendDay.background);
        QCOMPARE(background, qColour(c.background));
        QCOMPARE(shown.foreground().color(), c.text);
    }

    // The month view and every date picker's month view begin their weeks on Monday.
    QCOMPARE(view->firstDayOfWeek(), Qt::Monday);
    for (const char* picker : {"startDate", "endDate"})
        QCOMPARE(h.child<QDateEdit>(picker)->calendarWidget()->firstDayOfWeek(), Qt::Monday);
}

void CalendarDialogTest::aSelectedSilentDateStaysFramed() {
    ScheduleFixture fx;
    Harness h(fx);
    addOctober(h);
    const QColor frame = qColour(kSilentDay.text);
    // Selected or not, a 停铃 date has its frame; no other date has one.
    const struct {
        const char* date;
        bool framed;
    } cases[] = {{"2024-10-03", true}, {"2024-10-05", true}, {"2024-10-09", false}, {"2024-10-12", false}};
    for (const auto& c : cases) {
        QRect cell;
        const QImage page = cellOf(h, QDate::fromString(c.date, Qt::ISODate), cell);
        QVERIFY2(cell.width() > 10 && cell.height() > 10, c.date);
        const QPoint sides[] = {{cell.left() + 2, cell.center().y()},
                                {cell.right() - 2, cell.center().y()},
                                {cell.center().x(), cell.top() + 2},
                                {cell.center().x(), cell.bottom() - 2}};
        for (const QPoint& side : sides)
            QVERIFY2((page.pixelColor(side) == frame) == c.framed,
                     qPrintable(QString("%1 at %2,%3: %4")
                                    .arg(c.date)
                                    .arg(side.x())
                                    .arg(side.y())
                                    .arg(page.pixelColor(side).name())));
    }
}

void CalendarDialogTest::addedEntriesAreSavedAndShownAgain() {
    ScheduleFixture fx;
    {
        Harness h(fx);
        QCOMPARE(h.dialog->windowTitle(), QString("校历"));
        for (auto* widget : h.dialog->findChildren<QWidget*>()) {
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            const bool control = button || qobject_cast<QComboBox*>(widget) ||
                                 qobject_cast<QDateEdit*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QTableView*>(widget);
            // Our own controls; the parts of Qt's composite widgets are named by Qt.
            if (control && !widget->objectName().isEmpty() && !widget->objectName().startsWith("qt_"))
                QVERIFY2(!widget->accessibleName().isEmpty() || (button && !button->text().isEmpty()),
                         qPrintable(widget->objectName()));
        }
        addTheAutumnEntries(h);
        QCOMPARE(h.shown(), kShown);
        QVERIFY(h.prompts.messages.empty());

        // An end before the start is refused before it reaches the list.
        h.edit("2024-12-02", "2024-12-01", "日常", "");
        h.click("addButton");
        QCOMPARE(h.prompts.texts(), std::vector<std::string>{"无法添加: 结束日期早于开始日期"});
        QCOMPARE(h.shown(), kShown);

        // The month view decides from the list, before anything is saved.
        h.child<QCalendarWidget>("monthView")->setCurrentPage(2024, 10);
        QCOMPARE(h.decisionOf("2024-10-03"),
                 std::string("2024-10-03 星期四: 停铃 (国庆节, 第2行 2024-10-01 至 2024-10-07)"));
        QCOMPARE(h.decisionOf("2024-10-08"), std::string("2024-10-08 星期二: 日常 (默认), 春季 (默认)"));
        QVERIFY(h.colourOf("2024-10-03") != h.colourOf("2024-10-08"));
        QVERIFY(h.colourOf("2024-09-29") != h.colourOf("2024-10-03"));

        QSignalSpy saved(h.dialog.get(), &CalendarDialog::calendarSaved);
        h.prompts.clear();
        h.click("saveButton");
        QCOMPARE(h.prompts.texts(), std::vector<std::string>{"已保存!"});
        QCOMPARE(saved.count(), 1);
        QCOMPARE(fx.rows("select * from calendar"), kStored);
        h.click("saveButton");
        QCOMPARE(saved.count(), 1); // nothing changed: today's plan stays
    }
    Harness again(fx);
    QCOMPARE(again.shown(), kShown);

    // Changing the exam week to a make-up day reaches the table on 保存 only.
    again.selectRow(2);
    again.edit("2024-11-09", "2024-11-09", "调休", "补课", "星期五");
    again.click("changeButton");
    QCOMPARE(again.shown()[2],
             (std::vector<std::string>{"2024-11-09", "2024-11-09", "调休", "星期五", "补课"}));
    QCOMPARE(fx.rows("select * from calendar"), kStored);
    again.click("saveButton");
    QCOMPARE(fx.rows("select * from calendar")[2],
             (std::vector<std::string>{"2024-11-09", "2024-11-09", "调休", "5", "补课"}));
}

void CalendarDialogTest::aBadImportChangesNothingAndAnExportImportsBack() {
    ScheduleFixture fx;
    Harness h(fx);
    addTheAutumnEntries(h);
    h.click("saveButton");
    h.prompts.clear();

    fx.temp().write("bad.csv", "开始日期,结束日期,类型,参数,备注\n2025-01-01,2025-01-01,停铃,,元旦\n"
                               "2025-01-10,2025-01-09,考试,,期末\n");
    h.prompts.openAnswers = {h.path("bad.csv")};
    h.click("importButton");
    QCOMPARE(h.prompts.texts(), std::vector<std::string>{"无法导入 " + (fx.folder() / "bad.csv").string() +
                                                         ":\n第3行: 结束日期早于开始日期"});
    QCOMPARE(h.shown(), kShown);

    // A file without entries would make 保存 delete them all: refused, the list as it was.
    for (const char* name : {"empty.csv", "blank.csv", "titles.csv"}) {
        fx.temp().write(name, std::string(name) == "empty.csv"   ? ""
                              : std::string(name) == "blank.csv" ? "\r\n  \r\n"
                                                                 : "开始日期,结束日期,类型,参数,备注,\r\n");
        h.prompts.clear();
        h.prompts.openAnswers = {h.path(name)};
        h.click("importButton");
        QCOMPARE(h.prompts.texts(), std::vector<std::string>{"无法导入 " + (fx.folder() / name).string() +
                                                             ":\n文件中没有任何校历条目。\n校历未改变。"});
        QCOMPARE(h.shown(), kShown);
        h.click("saveButton");
        QCOMPARE(fx.rows("select * from calendar"), kStored);
    }

    h.prompts.clear();
    h.prompts.saveAnswers = {h.path("out.csv")};
    h.click("exportButton");
    QCOMPARE(h.prompts.texts(), std::vector<std::string>{"已导出" + (fx.folder() / "out.csv").string()});
    h.selectRow(1);
    h.click("deleteButton");
    QCOMPARE(h.shown(), (Rows{kShown[0], kShown[2]}));

    h.prompts.clear();
    h.prompts.openAnswers = {h.path("out.csv")};
    h.click("importButton");
    QCOMPARE(h.prompts.texts(), std::vector<std::string>{"已导入 3 条, 按 保存 后生效。"});
    QCOMPARE(h.shown(), kShown);
    QSignalSpy saved(h.dialog.get(), &CalendarDialog::calendarSaved);
    h.click("saveButton");
    QCOMPARE(saved.count(), 0); // the same entries as stored
    QCOMPARE(fx.rows("select * from calendar"), kStored);
}

void CalendarDialogTest::closingWithUnsavedChangesAsks_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer"); // UserPrompts::SaveAnswer
    QTest::addColumn<bool>("stays");
    QTest::addColumn<bool>("stored");
    const struct {
        const char *name, *how;
        UserPrompts::SaveAnswer answer;
        bool stays, stored;
    } rows[] = {
        {"关闭, 保存", "closeButton", UserPrompts::SaveAnswer::Save, false, true},
        {"关闭, 放弃", "closeButton", UserPrompts::SaveAnswer::Discard, false, false},
        {"关闭, 取消", "closeButton", UserPrompts::SaveAnswer::Cancel, true, false},
        {"Esc, 取消", "escape", UserPrompts::SaveAnswer::Cancel, true, false},
        {"close box, 保存", "closeBox", UserPrompts::SaveAnswer::Save, false, true},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << r.how << int(r.answer) << r.stays << r.stored;
}

void CalendarDialogTest::closingWithUnsavedChangesAsks() {
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(bool, stays);
    QFETCH(bool, stored);
    ScheduleFixture fx;
    Harness h(fx);
    addTheAutumnEntries(h); // as an import not yet saved would leave them
    h.prompts.askToSaveAnswers = {static_cast<UserPrompts::SaveAnswer>(answer)};
    if (how == "closeButton")
        h.click("closeButton");
    else if (how == "escape")
        QTest::keyClick(h.dialog.get(), Qt::Key_Escape);
    else
        h.dialog->close();

    QCOMPARE(h.prompts.questions.size(), std::size_t{1});
    QCOMPARE(h.prompts.questions[0].text, std::string("校历已修改但尚未保存。\n是否保存?"));
    QVERIFY(h.prompts.questions[0].icon == MessageIcon::Question);
    QCOMPARE(h.dialog->isVisible(), stays);
    QCOMPARE(fx.rows("select * from calendar"), stored ? kStored : Rows{});
    QCOMPARE(h.shown(), kShown);         // what the list holds is never dropped while the dialog stays
    QVERIFY(h.prompts.messages.empty()); // closing with 保存 does not stop for "已保存!"

    // Once saved, the next close has nothing to ask.
    if (stored) {
        h.dialog->show();
        h.dialog->close();
        QCOMPARE(h.prompts.questions.size(), std::size_t{1});
    }
}

QTEST_MAIN(CalendarDialogTest)
#include "CalendarDialogTest.moc"
