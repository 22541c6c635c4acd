#include "exam/window/SettingsDialog.h"
#include "support/ScreenReader.h"
#include "support/SettingsHarness.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using namespace halvix;
using namespace halvix::test;

class SettingsDialogTest : public QObject {
    Q_OBJECT
    ConfigHome m_config; // a save writes or removes the autostart entry

private slots:
    void opensCollapsedWithStoredSettingsAndFirstKind() {
        SettingsHarness h;
        QCOMPARE(h.dialog->windowTitle(), QString("时间设置"));
        QVERIFY(qAbs(h.dialog->windowOpacity() - 228 / 255.0) < 0.01);
        QVERIFY(h.find<QAbstractButton>("kindRadio1")->isChecked());
        QCOMPARE(h.time("yuwen", "Start"), QTime(8, 1));
        QCOMPARE(h.time("huaxue", "End"), QTime(16, 51));
        QCOMPARE(h.date(0), QDate::currentDate());
        QCOMPARE(h.field("listening7Edit"), QString("10"));
        QCOMPARE(h.field("countdownEdit"), QString("15"));
        QVERIFY(h.prompts.messages.empty());

        auto* toggle = h.find<QAbstractButton>("toggleButton");
        auto* lower = h.find<QFrame>("lowerFrame");
        // The toggle says what a click will do.
        QCOMPARE(toggle->text(), QString("显示"));
        QVERIFY(!lower->isVisible());
        const QSize collapsed = h.dialog->size();
        toggle->click();
        QTRY_VERIFY(h.dialog->height() > collapsed.height());
        QCOMPARE(toggle->text(), QString("隐藏"));
        QVERIFY(lower->isVisible());
        QCOMPARE(h.dialog->width(), collapsed.width());
        toggle->click();
        QTRY_COMPARE(h.dialog->size(), collapsed);
        QCOMPARE(toggle->text(), QString("显示"));
    }

    void expandedItFitsAboveATaskbar() {
        SettingsHarness h;
        const QRect room = h.dialog->screen()->availableGeometry();
        const QSize collapsed = h.dialog->frameGeometry().size();
        // Where the collapsed dialog stands: centred on a screen 768 px high (as over the main
        // window), and low on the screen, as a window manager may put it.
        const QPoint places[] = {
            {room.left() + (room.width() - collapsed.width()) / 2, (768 - collapsed.height()) / 2},
            {room.left() + 10, room.bottom() - collapsed.height() - 10}};
        auto* toggle = h.find<QAbstractButton>("toggleButton");
        for (const QPoint& placed : places) {
            h.dialog->move(placed);
            QTRY_COMPARE(h.dialog->frameGeometry().topLeft(), placed);
            toggle->click();
            QTRY_VERIFY(h.dialog->height() > collapsed.height() + 100);
            const QRect frame = h.dialog->frameGeometry();
            const QString where = QString("%1,%2 %3x%4 in %5x%6")
                                      .arg(frame.x())
                                      .arg(frame.y())
                                      .arg(frame.width())
                                      .arg(frame.height())
                                      .arg(room.width())
                                      .arg(room.height());
            QVERIFY2(room.contains(frame), qPrintable(where));
            QCOMPARE(frame.left(), placed.x()); // moved up and down only
            // 728 px at 1024 x 768 leaves 40 for a taskbar; a window manager's title bar and
            // borders (here there is none) take up to 40 more.
            QVERIFY2(frame.height() <= 728 - 40, qPrintable(where));
            if (placed == places[0])
                QVERIFY2(frame.bottom() < 728 - 40, qPrintable(where));
            toggle->click(); // collapsed again, about the same centre
            QTRY_COMPARE(h.dialog->frameGeometry().size(), collapsed);
        }
    }

    void kindRadiosLoadTheirTimetables() {
        SettingsHarness h;
        // A screen reader's toggle does what a click does.
        const struct {
            int kind;
            bool screenReader;
        } choices[] = {{4, false}, {2, true}, {6, false}, {1, true}, {5, true}, {3, false}};
        for (const auto& [kind, screenReader] : choices) {
            auto* radio = h.find<QAbstractButton>(QString("kindRadio%1").arg(kind));
            QCOMPARE(test::accessibleRole(radio), QAccessible::RadioButton);
            if (screenReader)
                QVERIFY(test::doFirstAction(radio));
            else
                radio->click();
            QVERIFY(radio->isChecked());
            QCOMPARE(h.dialog->examKind(), kind);
            QCOMPARE(h.time("yuwen", "Start"), QTime(8, kind));
            QCOMPARE(h.time("sipin", "End"), QTime(9, 50 + kind));
            QCOMPARE(h.time("huaxue", "End"), QTime(16, 50 + kind));
        }
        QVERIFY(h.prompts.messages.empty());

        // A click on the checked kind loads its timetable again over what was typed.
        h.find<QTimeEdit>("yuwenStart")->setTime(QTime(10, 0));
        h.click("kindRadio3");
        QCOMPARE(h.time("yuwen", "Start"), QTime(8, 3));
    }

    void examDateSpreadsSubjectsOverTwoDaysByKind() {
        // Grid order: 语文 思品 数学 历史 英语 地理 物理 生物 化学; 1 = first day, 2 = the day after.
        const std::vector<std::vector<int>> days = {
            {1, 1, 1, 1, 1, 1, 1, 1, 2}, {1, 1, 1, 1, 2, 1, 2, 1, 2}, {1, 1, 1, 1, 2, 1, 2, 1, 2},
            {1, 1, 1, 2, 2, 2, 2, 1, 2}, {1, 1, 1, 1, 1, 1, 1, 1, 2}, {1, 1, 1, 1, 2, 2, 2, 2, 2},
        };
        SettingsHarness h;
        for (QDate first : {QDate(2026, 6, 30), QDate(2026, 12, 31)}) {
            for (int kind = 1; kind <= 6; ++kind) {
                h.click(QString("kindRadio%1").arg(kind));
                h.chooseExamDate(first);
                for (int g = 0; g < 9; ++g)
                    QCOMPARE(h.date(g), days[kind - 1][g] == 1 ? first : first.addDays(1));
            }
        }
        // Changing the kind alone leaves the dates where they are.
        h.click("kindRadio1");
        QCOMPARE(h.date(4), QDate(2027, 1, 1));
    }

    void saveWritesPlanSettingsWeekAndTimetable() {
        SettingsHarness h;
        h.click("kindRadio4");
        h.chooseExamDate(QDate(2026, 6, 30));
        h.find<QTimeEdit>("huaxueStart")->setTime(QTime(15, 30));
        h.setField("interval1Edit", "4");
        h.click("weekdayCheck1");
        h.click("weekdayCheck5");
        h.click("saveButton");

        QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
        QVERIFY(h.prompts.messages.empty());
        const Rows plan = h.table("sjtime");
        QCOMPARE(plan.size(), std::size_t(9 * 5 + 3));
        QCOMPARE(plan[0], (std::vector<std::string>{"1", "6月30日", "07:50", "组织进入考场",
                                                    "h01组织进入考场.mp3", "待完", "语文"}));
        // 英语, fifth in the grid, starts at 12:04 on the second day.
        const std::vector<std::string> englishStart = {
            "13", "7月1日", "12:04", "开始答题", "h05开始答题.mp3", "待完", "英语"};
        QCOMPARE(plan[12], englishStart);
        QCOMPARE(plan[13][3], std::string("初一听力"));
        QCOMPARE(plan[13][2], std::string("12:06"));
        const auto chemistryStart = std::find_if(plan.begin(), plan.end(), [](const auto& row) {
            return row[6] == "化学" && row[3] == "开始答题";
        });
        QVERIFY(chemistryStart != plan.end());
        QCOMPARE((*chemistryStart)[2], std::string("15:30"));
        QCOMPARE((*chemistryStart)[1], std::string("7月1日"));

        QCOMPARE(h.table("settable"), (Rows{{"10", "10", "10", "4", "2", "3", "5", "15"}}));
        QCOMPARE(h.file("xqno.txt"), std::string("1125"));
        std::string expected = presetText(4);
        expected.replace(expected.find("1604\n"), 4, "1530");
        QCOMPARE(h.file("tovk/cjqmhtime.txt"), expected);
        for (int kind : {1, 2, 3, 5, 6})
            QCOMPARE(h.file(std::string("tovk/") + kPresetFiles[kind - 1]), presetText(kind));
    }

    void saveStepsRunInOrderAndEachFailureIsReported() {
        SettingsHarness h;
        const std::string stored = readFile(h.database.database());
        std::filesystem::remove(h.database.database());
        std::filesystem::create_directories(h.database.folder() / "xqno.txt/blocked");
        std::filesystem::remove_all(h.database.folder() / "tovk");
        h.database.temp().write("tovk", "not a folder");
        h.click("weekdayCheck1");
        h.click("saveButton");

        // Without the database the plan and the settings are lost: the dialog stays open for them.
        QVERIFY(h.dialog->isVisible());
        QVERIFY(h.dialog->result() != QDialog::Accepted);
        const auto texts = h.prompts.texts();
        QCOMPARE(texts.size(), std::size_t(4));
        QVERIFY(texts[0].find("jbase.mdb") != std::string::npos);
        QCOMPARE(texts[1], std::string("数据保存失败!"));
        QVERIFY(h.prompts.messages[1].icon == MessageIcon::Critical);
        QCOMPARE(texts[2], std::string("无法写入 xqno.txt"));
        QCOMPARE(texts[3], std::string("无法保存考试时间文件:cbhtime.txt"));

        // Put right, the same dialog saves and closes.
        h.database.temp().write("jbase.mdb", stored);
        std::filesystem::remove_all(h.database.folder() / "xqno.txt");
        std::filesystem::remove(h.database.folder() / "tovk");
        h.prompts.clear();
        h.click("saveButton");
        QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
        QVERIFY(h.prompts.messages.empty());
        QCOMPARE(h.table("settable"), kDefaultSettings);
        QVERIFY(h.table("sjtime") != kOldPlan);
    }

    void listeningOfTwentyOneWritesNothing() {
        SettingsHarness h;
        h.setField("listening8Edit", "21");
        h.click("weekdayCheck1");
        h.find<QTimeEdit>("yuwenStart")->setTime(QTime(9, 0));
        h.click("saveButton");

        QVERIFY(h.dialog->isVisible());
        QVERIFY(h.dialog->result() != QDialog::Accepted);
        QCOMPARE(h.prompts.texts(), (std::vector<std::string>{"Please enter an integer between 1 and 20.",
                                                              "听力时长设置错误。"}));
        QCOMPARE(h.prompts.messages[1].caption, std::string("提示"));
        QCOMPARE(h.table("sjtime"), kOldPlan);
        QCOMPARE(h.table("settable"), kDefaultSettings);
        QVERIFY(!std::filesystem::exists(h.database.folder() / "xqno.txt"));
        QCOMPARE(h.file("tovk/cbhtime.txt"), presetText(1));

        h.prompts.clear();
        h.setField("listening8Edit", "1");
        h.click("saveButton");
        QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
        QCOMPARE(h.table("settable"), (Rows{{"10", "1", "10", "3", "2", "3", "5", "15"}}));
    }

    void refusedFieldKeepsItsValueAndTheSaveGoesOn() {
        SettingsHarness h;
        h.setField("interval2Edit", "abc");
        h.setField("interval3Edit", "9"); // after the refused field: not read
        h.setField("countdownEdit", "25");
        h.click("saveButton");
        QCOMPARE(h.prompts.texts(), std::vector<std::string>{"Please enter an integer."});
        QCOMPARE(h.table("settable"), kDefaultSettings);
        QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
    }

    void noListeningSwitchSetsOnesAndBringsBackTheStoredDurations() {
        SettingsHarness h;
        h.database.run("update settable set 初一听力='12', 初二听力='13', 初三听力='14'");
        auto* noListening = h.find<QCheckBox>("noListeningCheck");
        h.setField("countdownEdit", "18"); // unsaved typing goes when the switch redraws the fields
        noListening->click();
        QCOMPARE(h.field("listening7Edit"), QString("1"));
        QCOMPARE(h.field("listening9Edit"), QString("1"));
        QCOMPARE(h.field("countdownEdit"), QString("15"));
        QVERIFY(!h.find<QLineEdit>("listening8Edit")->isEnabled());
        noListening->click();
        QCOMPARE(h.field("listening7Edit"), QString("12"));
        QCOMPARE(h.field("listening9Edit"), QString("14"));
        QVERIFY(h.find<QLineEdit>("listening8Edit")->isEnabled());
        noListening->click();
        h.click("saveButton");
        QCOMPARE(h.table("settable"), (Rows{{"1", "1", "1", "3", "2", "3", "5", "15"}}));
    }

    void cardStepsCheckboxAddsTheirAnnouncements() {
        SettingsHarness h;
        h.click("cardStepsCheck");
        h.click("saveButton");
        const Rows plan = h.table("sjtime");
        QCOMPARE(plan.size(), std::size_t(9 * 7 + 3));
        QCOMPARE(plan[1][3], std::string("发机读卡"));
        QCOMPARE(plan[1][2], std::string("07:51"));
        QCOMPARE(plan[2][3], std::string("开启试卷袋"));
        QCOMPARE(plan[2][2], std::string("07:53"));
    }

    void weekdayCaptionsValuesResetAndFile() {
        SettingsHarness h;
        h.click("weekdayCheck3");
        h.click("resetButton");
        for (int w = 1; w <= 7; ++w) {
            auto* box = h.find<QCheckBox>(QString("weekdayCheck%1").arg(w));
            QCOMPARE(box->text().toStdString(), WeekdayClicks::weekdayName(w));
            QVERIFY(!box->isChecked());
        }
        h.click("weekdayCheck2");
        h.click("weekdayCheck5");
        h.click("weekdayCheck2");
        QCOMPARE(h.find<QCheckBox>("weekdayCheck2")->text(), QString("星期二  1  3"));
        QCOMPARE(h.find<QCheckBox>("weekdayCheck5")->text(), QString("星期五  2"));
        QVERIFY(!h.find<QCheckBox>("weekdayCheck2")->isChecked());
        QCOMPARE(h.dialog->weekdayClicks().weekdayValues(), (WeekdayValues{0, 32, 0, 0, 25, 0, 0}));
        h.click("saveButton");
        QCOMPARE(h.file("xqno.txt"), std::string("32"));
    }

    void theStoredWeekShowsAndStaysUnlessWeekdaysAreClicked() {
        const struct {
            const char* stored;
            const char* shown;
            std::vector<int> clicks;
            const char* written; // what xqno.txt holds after 保存
        } cases[] = {
            {"1125", "当前: 星期一 至 星期五", {}, "1125"},
            {"1256\n", "当前: 星期二 至 星期六", {}, "1256\n"},
            {"37", "当前: 第一天 未设定, 最后一天 星期日", {}, "37"},
            {"不是数字", "当前: 未设定", {}, "不是数字"},
            {nullptr, "当前: 未设定", {}, nullptr},
            {"1125", "当前: 星期一 至 星期五", {3}, "1313"}, // a single click: first and last school day
            {"1125", "当前: 星期一 至 星期五", {2, 6}, "1226"},
            {"1125", "当前: 星期一 至 星期五", {2, 6, -1}, "1125"}, // -1: 重置, nothing clicked then
        };
        for (const auto& c : cases) {
            SettingsHarness h(true, c.stored);
            QCOMPARE(h.find<QLabel>("storedWeekLabel")->text(), QString(c.shown));
            for (int weekday : c.clicks)
                h.click(weekday < 0 ? QString("resetButton") : QString("weekdayCheck%1").arg(weekday));
            h.click("saveButton");
            QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
            if (c.written)
                QCOMPARE(h.file("xqno.txt"), std::string(c.written));
            else
                QVERIFY(!std::filesystem::exists(h.database.folder() / "xqno.txt"));
        }
    }

    void missingTimetableFileIsReportedAndTheDialogStays() {
        SettingsHarness h(false);
        QCOMPARE(h.prompts.texts(), std::vector<std::string>{"无法读取考试时间文件:cbhtime.txt"});
        QCOMPARE(h.prompts.messages[0].caption, std::string("提示"));
        QVERIFY(h.dialog->isVisible());
        h.click("kindRadio6"); // read once for a click, and once for a screen reader's toggle
        QCOMPARE(h.prompts.texts().back(), std::string("无法读取考试时间文件:qjqmtime.txt"));
        QVERIFY(test::doFirstAction(h.find<QAbstractButton>("kindRadio5")));
        QCOMPARE(h.prompts.texts(), (std::vector<std::string>{"无法读取考试时间文件:cbhtime.txt",
                                                              "无法读取考试时间文件:qjqmtime.txt",
                                                              "无法读取考试时间文件:qjbqhtime.txt"}));
        h.click("kindRadio6");

        h.find<QTimeEdit>("yuwenStart")->setTime(QTime(8, 30));
        h.click("saveButton");
        QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
        QVERIFY(readFile(h.database.folder() / "tovk/qjqmtime.txt").starts_with("830\n"));
    }

    void cancelWritesNothing() {
        SettingsHarness h;
        h.click("weekdayCheck1");
        h.setField("countdownEdit", "5");
        h.click("cancelButton");
        QCOMPARE(h.dialog->result(), int(QDialog::Rejected));
        QCOMPARE(h.table("sjtime"), kOldPlan);
        QCOMPARE(h.table("settable"), kDefaultSettings);
        QVERIFY(!std::filesystem::exists(h.database.folder() / "xqno.txt"));
    }

    void dataButtonOpensTheDataDialog() {
        SettingsHarness h;
        QString seen;
        QTimer::singleShot(0, [&seen] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                seen = modal->windowTitle();
                modal->close();
            }
        });
        h.click("dataButton");
        QCOMPARE(seen, QString("数据管理"));
        QVERIFY(h.dialog->isVisible());
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"
