// The tray icon beside the main window: its menu, the ways the window ends, bringing it back.

#include "bell/window/BellTray.h"
#include "bell/window/MainDialog.h"
#include "support/ProgramWindow.h"
#include "widgets/Resources.h"

#include <QAction>
#include <QMenu>
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

    void enterEscAndTheTrayMenuEndTheWindowAndRemoveTheTrayIcon_data() {
        QTest::addColumn<int>("how"); // 0 Enter, 1 Esc, 2 关闭, 3 close box
        QTest::addColumn<int>("result");
        QTest::newRow("Enter") << 0 << int(QDialog::Accepted);
        QTest::newRow("Esc") << 1 << int(QDialog::Rejected);
        QTest::newRow("关闭") << 2 << int(QDialog::Rejected);
        QTest::newRow("close box") << 3 << int(QDialog::Rejected);
    }
    void enterEscAndTheTrayMenuEndTheWindowAndRemoveTheTrayIcon() {
        QFETCH(int, how);
        QFETCH(int, result);
        Program program;
        auto window = program.open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        BellTray bellTray;
        window->attachTray(bellTray);
        bellTray.show();
        QSystemTrayIcon* tray = bellTray.icon();
        QVERIFY(tray->isVisible());
        QCOMPARE(tray->toolTip(), QStringLiteral("校园广播"));
        QCOMPARE(tray->icon().cacheKey() != 0, true);
        const QList<QAction*> items = tray->contextMenu()->actions();
        QCOMPARE(items.last()->text(), QStringLiteral("关闭")); // the rest: RingTrayTest
        QSignalSpy finished(window.get(), &QDialog::finished);

        auto* list = child<QTableView>(*window, "planList");
        list->setFocus();
        if (how == 0)
            QTest::keyClick(list, Qt::Key_Return);
        else if (how == 1)
            QTest::keyClick(list, Qt::Key_Escape);
        else if (how == 2)
            items.last()->trigger();
        else
            window->close();

        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), result);
        QVERIFY(!window->isVisible());
        QVERIFY(!tray->isVisible());
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
