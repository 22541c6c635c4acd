#pragma once

#include "common/MessageSink.h"
#include "editing/window/DataDialog.h"
#include "support/ScheduleFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/Widgets.h"

#include <QAbstractButton>
#include <QTableView>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

namespace halvix::test {

using Rows = std::vector<std::vector<std::string>>;

inline const Rows kThreeRows = {{"1", "", "07:55", "预备铃", "预备铃.mp3", "待完", ""},
                                {"2", "6月7日", "08:00:30", "上课铃", "voic/上课", "待完", "语文"},
                                {"3", "", "08:45", "下课铃", "下课.mp3", "待完", "0"}};

// A program folder with a database, the data dialog over it, and scripted answers.
struct DataHarness {
    ScheduleFixture database;
    ScriptedPrompts prompts;
    std::unique_ptr<DataDialog> dialog = std::make_unique<DataDialog>(database.folder(), prompts);

    DataHarness() {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }

    QTableView* list() const { return child<QTableView>(*dialog, "tableList"); }
    void click(const char* name) const { child<QAbstractButton>(*dialog, name)->click(); }
    // What the list shows, cell by cell.
    Rows shown() const { return shownRows(*list()->model()); }
    TextList titles() const {
        TextList out;
        for (int c = 0; c < list()->model()->columnCount(); ++c)
            out.push_back(list()->model()->headerData(c, Qt::Horizontal).toString().toStdString());
        return out;
    }
    void doubleClickAt(QPoint where) const {
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, where);
    }
    void doubleClickRow(int row) const {
        doubleClickAt(list()->visualRect(list()->model()->index(row, 1)).center());
    }
    Rows table(const std::string& name) const { return database.rows("select * from " + name); }
    QString path(const std::string& name) const {
        return QString::fromStdString((database.folder() / name).string());
    }
};

inline void expectMessage(const UserMessage& message, const std::string& text, MessageIcon icon) {
    QCOMPARE(message.text, text);
    QCOMPARE(message.caption, std::string());
    QVERIFY(message.icon == icon);
}

} // namespace halvix::test
