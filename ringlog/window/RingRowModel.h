#pragma once

#include "ringlog/RingLog.h"

#include <QAbstractTableModel>

#include <optional>

#include <string>
#include <vector>

namespace halvix {

// The ring log's rows of one date as a list with the log's columns. A cell's text is made when a
// view asks for it, so a date of a hundred thousand rows shows without the window thread making
// them all first; a node filter keeps the rows and changes only which of them are listed.
class RingRowModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit RingRowModel(QObject* parent = nullptr);

    // The rows of a date, those of `node` listed (as filter does).
    void setRows(std::vector<RingRow> rows, const std::optional<std::string>& node);
    // Lists the rows of the building `node` ("" for this machine's), or (without one) every row.
    void filter(const std::optional<std::string>& node);
    // The rows listed, in order.
    std::vector<RingRow> listed() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void list(const std::optional<std::string>& node);

    std::vector<RingRow> m_rows;
    std::vector<std::size_t> m_listed; // indexes into m_rows
};

} // namespace halvix
