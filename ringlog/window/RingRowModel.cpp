#include "ringlog/window/RingRowModel.h"

namespace halvix {

RingRowModel::RingRowModel(QObject* parent) : QAbstractTableModel(parent) {}

// One reset each: a view fits its columns again at every reset.
void RingRowModel::setRows(std::vector<RingRow> rows, const std::optional<std::string>& node) {
    beginResetModel();
    m_rows = std::move(rows);
    list(node);
    endResetModel();
}

void RingRowModel::filter(const std::optional<std::string>& node) {
    beginResetModel();
    list(node);
    endResetModel();
}

void RingRowModel::list(const std::optional<std::string>& node) {
    m_listed.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (!node || m_rows[i].node == *node)
            m_listed.push_back(i);
}

std::vector<RingRow> RingRowModel::listed() const {
    std::vector<RingRow> rows;
    rows.reserve(m_listed.size());
    for (const std::size_t i : m_listed)
        rows.push_back(m_rows[i]);
    return rows;
}

int RingRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_listed.size());
}

int RingRowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ringLogColumns().size());
}

QVariant RingRowModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return QString::fromStdString(ringRowCell(m_rows[m_listed[static_cast<std::size_t>(index.row())]],
                                              static_cast<std::size_t>(index.column())));
}

QVariant RingRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    return QString::fromStdString(ringLogColumns()[static_cast<std::size_t>(section)]);
}

} // namespace halvix
