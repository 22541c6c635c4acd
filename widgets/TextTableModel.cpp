#include "widgets/TextTableModel.h"

#include "widgets/ProgramFont.h"

#include <QBrush>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTableView>
#include <utility>

namespace halvix {

TextTableModel::TextTableModel(TextTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table) {}

void TextTableModel::setListColumns(const TextList& names) {
    if (names.empty())
        return;
    beginResetModel();
    m_table.setColumns(names);
    endResetModel();
}

int TextTableModel::fillList(const TextList& names, const TextList& values) {
    if (names.empty() || values.empty())
        return 0;
    beginResetModel();
    const int rows = m_table.fill(names, values);
    endResetModel();
    return rows;
}

void TextTableModel::clearList() {
    beginResetModel();
    m_table.clear();
    endResetModel();
}

bool TextTableModel::removeListRow(int row) {
    if (row < 0 || row >= m_table.rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_table.removeRow(row);
    endRemoveRows();
    return true;
}

void TextTableModel::setCell(int row, int column, std::string text) {
    if (row < 0 || row >= m_table.rowCount() || column < 0)
        return;
    m_table.setCell(row, column, std::move(text));
    if (column < columnCount())
        emit dataChanged(index(row, column), index(row, column), {Qt::DisplayRole});
}

void TextTableModel::renumberRows() {
    m_table.renumber();
    if (m_table.rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(m_table.rowCount() - 1, 0), {Qt::DisplayRole});
}

void TextTableModel::tableChanged() {
    beginResetModel();
    endResetModel();
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.rowCount();
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.columnCount();
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromStdString(m_table.cell(index.row(), index.column()));
    if (!m_rowNote ||
        (role != Qt::ForegroundRole && role != Qt::ToolTipRole && role != Qt::AccessibleDescriptionRole))
        return {};
    const QString note = m_rowNote(index.row());
    if (note.isEmpty())
        return {};
    if (role == Qt::ForegroundRole)
        return QBrush(Qt::red);
    // The tooltip for the mouse, the description for a screen reader.
    return note;
}

void TextTableModel::rowNotesChanged() {
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         {Qt::ForegroundRole, Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_table.columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromStdString(m_table.names()[static_cast<std::size_t>(section)]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

int listColumnWidth(int column, int titleWidth) {
    if (column <= 0)
        return 50;
    if (column <= 2)
        return titleWidth + 60;
    if (column <= 4)
        return titleWidth + 110;
    if (column == 5)
        return titleWidth + 50;
    return titleWidth + 250;
}

namespace {

void applyColumnWidths(QTableView& view, const TextTableModel& model) {
    const QFontMetrics metrics(view.font());
    const TextList& names = model.table().names();
    for (int c = 0; c < model.columnCount(); ++c) {
        const int title =
            metrics.horizontalAdvance(QString::fromStdString(names[static_cast<std::size_t>(c)]));
        view.setColumnWidth(c, listColumnWidth(c, title));
    }
}

} // namespace

void showAsList(QTableView& view, TextTableModel& model) {
    QFont font;
    font.setFamilies(songFamilies());
    font.setPixelSize(16);
    view.setFont(font);
    view.horizontalHeader()->setFont(font);
    view.setModel(&model);
    view.setShowGrid(true);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setWordWrap(false);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 6);
    view.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view.horizontalHeader()->setHighlightSections(false);
    view.horizontalHeader()->setStretchLastSection(false);
    // The header's own minimum follows its font and would widen the 50-pixel number column.
    view.horizontalHeader()->setMinimumSectionSize(20);
    applyColumnWidths(view, model);
    QObject::connect(&model, &QAbstractItemModel::modelReset, &view,
                     [&view, &model] { applyColumnWidths(view, model); });
}

namespace {

// The view's own doubleClicked signal comes only for a row; the empty area below counts too.
class DoubleClickFilter final : public QObject {
public:
    DoubleClickFilter(QTableView& view, std::function<void(int)> handler)
        : QObject(view.viewport()), m_view(view), m_handler(std::move(handler)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonDblClick)
            return QObject::eventFilter(watched, event);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_handler(m_view.indexAt(mouse->position().toPoint()).row());
        return true;
    }

private:
    QTableView& m_view;
    std::function<void(int)> m_handler;
};

} // namespace

void onListDoubleClick(QTableView& view, std::function<void(int row)> handler) {
    view.viewport()->installEventFilter(new DoubleClickFilter(view, std::move(handler)));
}

} // namespace halvix
