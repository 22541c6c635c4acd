#pragma once

#include "calendar/CalendarEntry.h"
#include "common/MessageSink.h"
#include "store/TextTable.h"
#include "widgets/TextTableModel.h"

#include <QDialog>
#include <filesystem>
#include <memory>
#include <vector>

class QDate;

namespace Ui {
class CalendarDialog;
}

namespace halvix {

class UserPrompts;

// "校历": the calendar's entries in a list sorted by start date, an editor for one entry, and a
// month view that colours every date by what the calendar decides for it. Nothing reaches the
// database except through 保存; closing with changes not saved asks 保存, 放弃 or 取消.
class CalendarDialog final : public QDialog {
    Q_OBJECT
public:
    // storedDayType and storedSeason are the defaults of lxtime and jjtime: the month view shows
    // what they give on dates without an entry.
    CalendarDialog(std::filesystem::path programFolder, int storedDayType, int storedSeason,
                   UserPrompts& prompts, QWidget* parent = nullptr);
    ~CalendarDialog() override;

    // The entries as the list shows them, sorted by start date.
    const std::vector<CalendarEntry>& entries() const { return m_entries; }
    // A 保存 since the dialog opened changed what is stored.
    bool savedChanges() const { return m_savedChanges; }

    void done(int result) override;

signals:
    // 保存 stored entries that differ from those stored before: today's plan may have changed.
    void calendarSaved();

private:
    void onAdd();
    void onChange();
    void onDelete();
    void onSave();
    // Stores the list; false (with the reason shown) when nothing was stored.
    bool save();
    void onImport();
    void onExport();
    void onRowSelected();
    void onTypeChanged();

    // The entry the editor holds.
    CalendarEntry editorEntry() const;
    void showInEditor(const CalendarEntry& entry);
    // The list from m_entries, with `row` selected (-1: none); the month view and line follow.
    void showEntries(int row);
    int selectedRow() const;
    void paintMonth();
    void showDecision(const QDate& date);
    void notify(const std::string& text, MessageIcon icon);

    std::unique_ptr<Ui::CalendarDialog> m_ui;
    std::filesystem::path m_programFolder;
    int m_storedDayType;
    int m_storedSeason;
    UserPrompts& m_prompts;
    std::vector<CalendarEntry> m_entries;
    std::vector<CalendarEntry> m_stored; // what the database holds, as far as this dialog knows
    TextTable m_list;
    TextTableModel m_model;
    bool m_savedChanges = false;
};

} // namespace halvix
