// The autostart box of the settings dialog and the desktop entry it writes.

#include "widgets/Autostart.h"
#include "exam/window/SettingsDialog.h"
#include "support/SettingsHarness.h"

#include <QCheckBox>
#include <QTimeEdit>
#include <QtTest>

#include <filesystem>
#include <string>

using namespace halvix;
using namespace halvix::test;

class AutostartTest : public QObject {
    Q_OBJECT
    ConfigHome m_config;
    std::filesystem::path autostartEntry() const { return m_config / "autostart/halvix.desktop"; }

private slots:
    void autostartBoxWritesAndRemovesTheEntryAtOnceAndShowsItWhenOpened() {
        const auto boxOf = [](const SettingsHarness& h) { return h.find<QCheckBox>("autostartCheck"); };
        {
            // Ticked and then 取消: the entry is there, the exam plan and the week untouched.
            SettingsHarness h(true, "1125");
            QCOMPARE(boxOf(h)->text(), QString("开机自启动"));
            QVERIFY(!boxOf(h)->isChecked());
            boxOf(h)->click();
            QVERIFY(std::filesystem::exists(autostartEntry()));
            h.click("cancelButton");
            const std::string entry = readFile(autostartEntry());
            QVERIFY(entry.starts_with("[Desktop Entry]\n"));
            QVERIFY(entry.find("\nType=Application\n") != std::string::npos);
            const QString exec =
                "\nExec=" + XdgAutostart::execLine(QCoreApplication::applicationFilePath()) + "\n";
            QVERIFY2(entry.find(exec.toStdString()) != std::string::npos, entry.c_str());
            QCOMPARE(h.table("sjtime"), kOldPlan);
        }
        {
            // Unticked and 保存, nothing else changed: the entry goes, and 保存 writes nothing else.
            SettingsHarness h(true, "1125");
            h.database.run("update settable set 倒计时 = '17'");
            QVERIFY(boxOf(h)->isChecked());
            boxOf(h)->click();
            QVERIFY(!std::filesystem::exists(autostartEntry()));
            h.click("saveButton");
            QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
            QCOMPARE(h.table("sjtime"), kOldPlan);
            QCOMPARE(h.table("settable"), (Rows{{"10", "10", "10", "3", "2", "3", "5", "17"}}));
            QCOMPARE(h.file("xqno.txt"), std::string("1125"));
        }
        {
            // Switched off from the desktop's own settings: the entry stays, hidden.
            m_config.write("autostart/halvix.desktop",
                           "[Desktop Entry]\nType=Application\nExec=halvix\nHidden = true\n");
            SettingsHarness h;
            QVERIFY(!boxOf(h)->isChecked());
            boxOf(h)->click();
            QVERIFY(readFile(autostartEntry()).find("Hidden") == std::string::npos);
            std::filesystem::remove(autostartEntry());
        }
    }

    void refusedAutostartIsReportedAndTheExamSaveGoesOn() {
        // The autostart folder's place is taken by a file: the entry cannot be written.
        std::filesystem::remove_all(m_config / "autostart");
        m_config.write("autostart", "a file");
        SettingsHarness h;
        h.find<QCheckBox>("autostartCheck")->click();
        QCOMPARE(h.prompts.messages.size(), size_t(1));
        QVERIFY(h.prompts.messages[0].text.starts_with("无法写入开机自启动项"));
        QVERIFY(!h.find<QCheckBox>("autostartCheck")->isChecked());
        h.find<QTimeEdit>("yuwenStart")->setTime(QTime(9, 0));
        h.click("saveButton");
        QCOMPARE(h.prompts.messages.size(), size_t(1));
        QCOMPARE(h.dialog->result(), int(QDialog::Accepted));
        QVERIFY(h.table("sjtime") != kOldPlan);
        std::filesystem::remove(m_config / "autostart");
    }

    void autostartExecLineIsQuotedByTheDesktopEntryRules() {
        const std::pair<QString, QString> cases[] = {
            {"/usr/bin/halvix", "/usr/bin/halvix"},
            {"/opt/my school/halvix", "\"/opt/my school/halvix\""},
            {"/home/a$b/halvix", "\"/home/a\\\\$b/halvix\""},
            {"/home/100%/halvix", "/home/100%%/halvix"},
            {"/srv/学校 广播/halvix", "\"/srv/学校 广播/halvix\""},
        };
        for (const auto& [path, exec] : cases)
            QCOMPARE(XdgAutostart::execLine(path), exec);
    }
};

QTEST_MAIN(AutostartTest)
#include "AutostartTest.moc"
