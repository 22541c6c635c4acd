#pragma once

#include "exam/window/SettingsDialog.h"
#include "support/ScheduleFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TempFolder.h"
#include "support/Widgets.h"

#include <QAbstractButton>
#include <QDateEdit>
#include <QLineEdit>
#include <QTimeEdit>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

namespace halvix::test {

using Rows = std::vector<std::vector<std::string>>;

inline const char* const kPresetFiles[] = {"cbhtime.txt",   "cj1htime.txt",  "cj2htime.txt",
                                           "cjqmhtime.txt", "qjbqhtime.txt", "qjqmtime.txt"};
// Grid order of the subjects' pickers.
inline const char* const kGrid[] = {"yuwen", "sipin", "shuxue",  "lishi", "yingyu",
                                    "dili",  "wuli",  "shengwu", "huaxue"};

// Kind k examines grid subject g from (8 + g):0k to (8 + g):5k.
inline std::string presetText(int kind) {
    std::string text;
    for (int g = 0; g < 9; ++g)
        text +=
            std::to_string((8 + g) * 100 + kind) + "\n" + std::to_string((8 + g) * 100 + 50 + kind) + "\n";
    return text;
}

inline const Rows kOldPlan = {{"1", "5月1日", "08:00", "旧", "old.mp3", "待完", "语文"}};
inline const Rows kDefaultSettings = {{"10", "10", "10", "3", "2", "3", "5", "15"}};

// A program folder with its database and the six timetable files, the dialog over it.
struct SettingsHarness {
    ScheduleFixture database;
    ScriptedPrompts prompts;
    std::unique_ptr<SettingsDialog> dialog;

    // `storedWeek`: the content of xqno.txt when the dialog opens (none when null).
    explicit SettingsHarness(bool withPresets = true, const char* storedWeek = nullptr) {
        if (storedWeek)
            database.temp().write("xqno.txt", storedWeek);
        if (withPresets)
            for (int kind = 1; kind <= 6; ++kind)
                database.temp().write(std::string("tovk/") + kPresetFiles[kind - 1], presetText(kind));
        database.insertPlan("sjtime", kOldPlan);
        dialog = std::make_unique<SettingsDialog>(database.folder(), prompts);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }

    template <typename T> T* find(const QString& name) const { return child<T>(*dialog, name); }
    void click(const QString& name) const { find<QAbstractButton>(name)->click(); }
    QTime time(const char* subject, const char* which) const {
        return find<QTimeEdit>(QString(subject) + which)->time();
    }
    QDate date(int g) const { return find<QDateEdit>(QString(kGrid[g]) + "Date")->date(); }
    void setField(const char* name, const QString& text) const { find<QLineEdit>(name)->setText(text); }
    QString field(const char* name) const { return find<QLineEdit>(name)->text(); }
    // The user leaves the exam-date picker.
    void chooseExamDate(QDate day) const {
        auto* picker = find<QDateEdit>("examDateEdit");
        picker->setDate(day);
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(picker, &leave);
    }
    std::string file(const std::string& name) const { return readFile(database.folder() / name); }
    Rows table(const char* name) const { return database.rows(std::string("select * from ") + name); }
};

// The user's configuration folder, where the autostart entry goes: one of the test's own, so that
// no save touches the real one.
struct ConfigHome : TempFolder {
    ConfigHome() { qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(path().string())); }
};

} // namespace halvix::test
