// A save in 设置 or 数据 reaches the running bell at once when it wrote what today's plan reads, and
// the main window says so on its status line; the dialogs tell what they wrote.
#include "bell/window/MainDialog.h"
#include "support/DataHarness.h"
#include "support/ProgramWindow.h"
#include "support/SettingsHarness.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <filesystem>
#include <string>
#include <vector>

using namespace halvix;
using namespace halvix::test;

namespace {

const QString kReloaded = QStringLiteral("已保存, 今日计划已重新载入");

QStringList names(const QList<QVariant>& signal) {
    return signal.at(0).toStringList();
}

// Presses 设置 in `window`; the dialog, once open, tells it saved `saved` and is closed.
void saveInSettings(MainDialog& window, const QStringList& saved) {
    bool told = false;
    QTimer::singleShot(0, [&told, saved] {
        if (auto* settings = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget())) {
            emit settings->saved(saved);
            told = true;
            settings->reject();
        }
    });
    QTest::mouseClick(child<QPushButton>(window, "settingsButton"), Qt::LeftButton);
    QVERIFY(told);
}

} // namespace

class SaveReloadTest : public QObject {
    Q_OBJECT
    ConfigHome m_config; // the settings dialog reads the autostart entry from it

private slots:
    // Monday 4 March 2024, 日常, 春季, no school-week day: today reads zccjtime.
    void aSaveReloadsTodayOnlyWhenItWroteWhatTodayReads_data() {
        QTest::addColumn<QStringList>("saved");
        QTest::addColumn<QString>("week"); // xqno.txt after the save
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("reloaded");
        QTest::newRow("today's table") << QStringList{"zccjtime"} << "0"
                                       << "改后" << true;
        QTest::newRow("the other term's table") << QStringList{"zcqjtime"} << "0"
                                                << "春季正常" << false;
        QTest::newRow("the exam plan on a daily day") << QStringList{"sjtime", "settable"} << "0"
                                                      << "春季正常" << false;
        QTest::newRow("the school week, which makes Monday the first day")
            << QStringList{"sjtime", "settable", "xqno.txt"} << "115"
            << "春季周一" << true;
    }
    void aSaveReloadsTodayOnlyWhenItWroteWhatTodayReads() {
        QFETCH(QStringList, saved);
        QFETCH(QString, week);
        QFETCH(QString, event);
        QFETCH(bool, reloaded);
        Program program;
        insertEntries(program.db, "cjtime", {{"08:00", "春季周一", "上课.mp3"}});
        auto window = program.open();
        QCOMPARE(column(window->plan().toTable(), 3), std::vector<std::string>{"春季正常"});

        // What the dialog wrote; only the names it says it wrote decide.
        program.db.run("update zccjtime set 事件 = '改后'");
        program.db.writeWeekFile(week.toStdString());
        saveInSettings(*window, saved);

        QCOMPARE(column(window->plan().toTable(), 3), std::vector<std::string>{event.toStdString()});
        const QString status = child<QLabel>(*window, "statusLine")->text();
        QVERIFY2(status.contains(kReloaded) == reloaded, qPrintable(status));
        // The dialog says 已保存 itself; the reload adds no box (the preset the folder lacks may).
        for (const std::string& text : program.prompts.texts())
            QVERIFY2(text.find("读取") != std::string::npos, text.c_str());
    }

    void dataSaveTellsItsTableOnlyWhenItWroteIt() {
        DataHarness h;
        h.database.insertPlan("cjtime", kThreeRows);
        QSignalSpy saved(h.dialog.get(), &DataDialog::saved);
        h.click("saveButton"); // no table chosen
        QCOMPARE(saved.count(), 0);
        h.click("springMondayButton");
        h.click("saveButton");
        QCOMPARE(saved.count(), 1);
        QCOMPARE(saved.at(0).at(0).toString(), QStringLiteral("cjtime"));
        std::filesystem::rename(h.database.database(), h.database.folder() / "moved.mdb");
        h.click("saveButton");
        QCOMPARE(saved.count(), 1);
    }

    void settingsSaveTellsWhatItWrote() {
        {
            SettingsHarness h;
            QSignalSpy saved(h.dialog.get(), &SettingsDialog::saved);
            h.click("saveButton");
            QCOMPARE(saved.count(), 1);
            QCOMPARE(names(saved.at(0)), (QStringList{"sjtime", "settable"}));
        }
        {
            SettingsHarness h;
            QSignalSpy saved(h.dialog.get(), &SettingsDialog::saved);
            h.click("weekdayCheck1");
            h.click("weekdayCheck5");
            h.click("saveButton");
            QCOMPARE(saved.count(), 1);
            QCOMPARE(names(saved.at(0)), (QStringList{"sjtime", "settable", "xqno.txt"}));
        }
        {
            // Refused listening durations: nothing written, nothing told.
            SettingsHarness h;
            QSignalSpy saved(h.dialog.get(), &SettingsDialog::saved);
            h.setField("listening7Edit", "21");
            h.click("saveButton");
            QCOMPARE(saved.count(), 0);
        }
    }
};

QTEST_MAIN(SaveReloadTest)
#include "SaveReloadTest.moc"
