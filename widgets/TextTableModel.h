#pragma once

#include "store/TextTable.h"

#include <QAbstractTableModel>
#include <functional>
#include <string>
#include <vector>

class QTableView;

namespace halvix {

// Shows a TextTable (owned by the window) in a QTableView. While a view shows it, change the table
// through this model so the view follows; after any other change to the table, call tableChanged().
class TextTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TextTableModel(TextTable& table, QObject* parent = nullptr);

    const TextTable& table() const { return m_table; }

    // Titles become `names` and every row goes. No names: nothing changes.
    void setListColumns(const TextList& names);
    // Columns from `names`, one row per names.size() values (a last short row is padded).
    // Either list empty: nothing changes and 0 is returned. Returns the rows put in.
    int fillList(const TextList& names, const TextList& values);
    // No columns, no rows.
    void clearList();
    bool removeListRow(int row);
    void setCell(int row, int column, std::string text);
    // Column 0 of row i becomes "i + 1".
    void renumberRows();
    // Views re-read everything.
    void tableChanged();
    // A note on a row (empty for none): such a row shows its text in red, a warning sign at its start
    // and the note as its tooltip.
    using RowNote = std::function<QString(int row)>;
    void setRowNote(RowNote note) { m_rowNote = std::move(note); }
    // The notes changed: views repaint every row.
    void rowNotesChanged();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    TextTable& m_table;
    RowNote m_rowNote;
};

// Column widths for a list `available` pixels wide: each column gets the width it `wanted` (its
// title and texts) and the last one also what is left over. When they do not all fit, the column
// with the most room beyond its `least` width (its title's) gives way first, so short columns such
// as a status stay whole while long sounds and notes end in "…".
std::vector<int> fitColumnWidths(std::vector<int> wanted, std::vector<int> least, int available);

// Puts `model` into `view` with the list look: grid lines, whole rows selected one at a time, no
// editing, font "宋体" 16 px (or the system's Chinese fallback), and the columns fitted to their
// texts within the view's width (fitColumnWidths), again whenever the rows or the view change.
void showAsList(QTableView& view, QAbstractItemModel& model);

// Calls `handler` with the row of every double click in `view`, -1 where the click hit no row.
void onListDoubleClick(QTableView& view, std::function<void(int row)> handler);

} // namespace halvix
