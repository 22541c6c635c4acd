#pragma once

#include "common/MessageSink.h"
#include "editing/CsvFile.h"
#include "store/TextTable.h"
#include "widgets/TextTableModel.h"

#include <QDialog>
#include <QString>
#include <filesystem>
#include <memory>

namespace Ui {
class DataDialog;
}

namespace halvix {

class ChoiceGroup;
class UserPrompts;

// "数据管理": shows one plan table at a time, deletes rows from the list, imports and exports the
// list as CSV, and writes the list back into the chosen table on 保存. Nothing reaches the
// database except through 保存; closing with changes not saved asks 保存, 放弃 or 取消.
class DataDialog final : public QDialog {
    Q_OBJECT
public:
    DataDialog(std::filesystem::path programFolder, UserPrompts& prompts, QWidget* parent = nullptr);
    ~DataDialog() override;

    // Code 1..9 of the chosen plan table, 0 while none is chosen.
    int selectedTable() const { return m_selectedTable; }

    // Column 0 of row i becomes "i + 1".
    void renumberRows();
    // Columns 0..6 of every row (empty where the list lacks a column); returns the cells per row.
    int readListRows(TextList& cells) const;
    // The list differs from what the chosen table held when it was read or last saved.
    bool unsavedChanges() const;

    void done(int result) override;

signals:
    // 保存 wrote the list into `table`: whoever rings from it reads it again.
    void saved(const QString& table);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onChooseTable(int code);
    void onSave();
    // Writes the list into the chosen table; false (with the reason shown) when nothing was written.
    bool save();
    void rememberStoredRows();
    // `row` is -1 when the double-click was not on a row.
    void onDeleteRow(int row);
    void onImport();
    void onExport();

    void notify(const std::string& text, MessageIcon icon);

    std::unique_ptr<Ui::DataDialog> m_ui;
    std::filesystem::path m_programFolder;
    UserPrompts& m_prompts;
    TextTable m_list;
    TextTableModel m_model;
    ChoiceGroup* m_tableButtons;
    CsvFile m_csv;
    int m_selectedTable = 0;
    TextList m_storedCells; // the list's cells as the chosen table holds them
};

} // namespace halvix
