// The tray icon beside the main window: its menu, the ways the window ends (asked while entries
// are left today), bringing it back.

#include "bell/window/BellTray.h"
#include "bell/BellEngine.h"
#include "bell/window/MainDialog.h"
#include "support/FakeClock.h"
#include "support/ProgramWindow.h"
#include "widgets/Resources.h"
#include "widgets/UserPrompts.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QtTest>

using namespace halvix;
using namespace halvix::test;

class BellTrayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    // The plan rings at 08:00 and 08:30. Each way of ending the window, at a time when both, one or
    // none of them are left: asked first while any is (取消 the default), ended at once otherwise.
    // The system's request to end (SIGTERM goes to reject) never asks.
    void endingTheWindowAsksWhileEntriesAreLeft_data() {
        QTest::addColumn<int>("how");    // 0 Enter, 1 Esc, 2 关闭, 3 close box, 4 the system's request
        QTest::addColumn<int>("hour");   // 7: two left, 8 (08:10): one, 9: none
        QTest::addColumn<int>("answer"); // -1 nothing asked, 0 取消, 1 确定
        QTest::addColumn<int>("result"); // -1: the window stays
        const char* const ways[] = {"Enter", "Esc", "关闭", "close box", "the system's request"};
        const int ended[] = {QDialog::Accepted, QDialog::Rejected, QDialog::Rejected, QDialog::Rejected,
                             QDialog::Rejected};
        for (int how = 0; how < 5; ++how) {
            const bool asks = how != 4;
            QTest::addRow("%s, nothing left", ways[how]) << how << 9 << -1 << ended[how];
            QTest::addRow("%s, two left, 取消", ways[how])
                << how << 7 << (asks ? 0 : -1) << (asks ? -1 : ended[how]);
            QTest::addRow("%s, one left, 确定", ways[how]) << how << 8 << (asks ? 1 : -1) << ended[how];
        }
    }
    void endingTheWindowAsksWhileEntriesAreLeft() {
        QFETCH(int, how);
        QFETCH(int, hour);
        QFETCH(int, answer);
        QFETCH(int, result);
        Program program;
        auto window = program.openDay({{"08:00", "第一节", "上课.mp3"}, {"08:30", "第二节", "上课.mp3"}},
                                      monday(hour, hour == 8 ? 10 : 0, 0));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        BellTray bellTray;
        window->attachTray(bellTray);
        bellTray.show();
        QSystemTrayIcon* tray = bellTray.icon();
        QVERIFY(tray->isVisible());
        QVERIFY(tray->toolTip().startsWith(QStringLiteral("校园广播")));
        QCOMPARE(tray->icon().cacheKey() != 0, true);
        const QList<QAction*> items = tray->contextMenu()->actions();
        QCOMPARE(items.last()->text(), QStringLiteral("关闭")); // the rest: RingTrayTest
        QSignalSpy finished(window.get(), &QDialog::finished);
        if (answer >= 0)
            program.prompts.confirmAnswers = {answer == 1};

        auto* list = child<QTableView>(*window, "planList");
        list->setFocus();
        if (how == 0)
            QTest::keyClick(list, Qt::Key_Return);
        else if (how == 1)
            QTest::keyClick(list, Qt::Key_Escape);
        else if (how == 2)
            items.last()->trigger();
        else if (how == 3)
            window->close();
        else
            window->reject();

        if (answer < 0) {
            QVERIFY(program.prompts.questions.empty());
        } else {
            const int left = hour == 7 ? 2 : 1;
            QCOMPARE(program.prompts.questionTexts(),
                     std::vector<std::string>{"今天还有 " + std::to_string(left) +
                                              " 个铃声未响, 关闭后将不再响铃。确定关闭?"});
            QCOMPARE(program.prompts.cancelDefault, std::vector<bool>{true});
        }
        QCOMPARE(finished.size(), result < 0 ? 0 : 1);
        if (result >= 0)
            QCOMPARE(finished[0][0].toInt(), result);
        QCOMPARE(window->isVisible(), result < 0);
        QCOMPARE(tray->isVisible(), result < 0);
    }

    // The question in a real box: Enter and Esc both keep the program, and the bell rings on while
    // it waits across the 08:00 entry's time (ticks every 20 ms, each a second on the bell's clock).
    void theRealQuestionKeepsTheProgramAndTheBellRingsMeanwhile_data() {
        QTest::addColumn<int>("how");    // 0 Enter, 1 Esc, 2 close box
        QTest::addColumn<int>("answer"); // the key pressed in the box
        const char* const ways[] = {"Enter", "Esc", "close box"};
        for (int how = 0; how < 3; ++how) {
            QTest::addRow("%s, then Enter in the box", ways[how]) << how << int(Qt::Key_Return);
            QTest::addRow("%s, then Esc in the box", ways[how]) << how << int(Qt::Key_Escape);
        }
    }
    void theRealQuestionKeepsTheProgramAndTheBellRingsMeanwhile() {
        QFETCH(int, how);
        QFETCH(int, answer);
        Program program;
        program.db.run("delete from zccjtime");
        insertEntries(program.db, "zccjtime",
                      {{"08:00", "第一节", "上课.mp3"}, {"08:30", "第二节", "上课.mp3"}});
        program.clock.time = monday(7, 59, 50);
        DialogPrompts prompts;
        StandaloneWindow window(program.db.folder(), program.clock, prompts);
        prompts.setParent(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy finished(&window, &QDialog::finished);
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, &window, [&] {
            program.clock.time = localTimeAt(wallSecondOf(program.clock.time) + 1);
            window.onTick(program.clock.time);
        });
        ticks.start(20);

        QString asked;
        bool cancelIsDefault = false;
        std::string stateWhileAsked;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, &window, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || program.clock.time.minute != 0 || program.clock.time.second < 10)
                return; // answered once the entry's time has passed with the question open
            answerer.stop();
            asked = box->text();
            cancelIsDefault = box->defaultButton() == box->button(QMessageBox::Cancel);
            stateWhileAsked = window.plan().toTable().cell(0, 5);
            QTest::keyClick(box, Qt::Key(answer));
        });
        answerer.start(10);
        auto* list = child<QTableView>(window, "planList");
        list->setFocus();
        if (how == 2)
            window.close();
        else
            QTest::keyClick(list, how == 0 ? Qt::Key_Return : Qt::Key_Escape);
        ticks.stop();

        QCOMPARE(asked, QStringLiteral("今天还有 2 个铃声未响, 关闭后将不再响铃。确定关闭?"));
        QVERIFY(cancelIsDefault);
        QCOMPARE(stateWhileAsked, std::string("完成")); // the entry rang while the question waited
        QCOMPARE(finished.size(), 0);
        QVERIFY(window.isVisible());
        QCOMPARE(window.engine().entriesLeft(), 1);
    }

    void trayDoubleClickBringsTheWindowBack() {
        Program program;
        auto window = program.open();
        BellTray tray;
        window->attachTray(tray);
        window->hide();
        emit tray.icon()->activated(QSystemTrayIcon::Context);
        QVERIFY(!window->isVisible());
        emit tray.icon()->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(window->isVisible());
    }

    // Here (offscreen) there is no notification area: a hidden window could never come back.
    void withoutATrayTheWindowStaysVisible() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        Program program;
        auto window = program.open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->onTick(program.clock.time);
        QTest::qWait(MainDialog::kHideDelayMs + 500);
        QVERIFY(window->isVisible());
        window->showMinimized();
        QTest::qWait(100);
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(BellTrayTest)
#include "BellTrayTest.moc"
