#include "widgets/TextTableModel.h"

#include "widgets/PlainText.h"
#include "widgets/ProgramFont.h"

#include <QApplication>
#include <QBrush>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>
#include <QTableView>

#include <algorithm>
#include <utility>
#include <vector>

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
    const bool mark = role == Qt::DecorationRole && index.column() == 0;
    if (!m_rowNote || (role != Qt::ForegroundRole && role != Qt::ToolTipRole &&
                       role != Qt::AccessibleDescriptionRole && !mark))
        return {};
    const QString note = m_rowNote(index.row());
    if (note.isEmpty())
        return {};
    if (role == Qt::ForegroundRole)
        return QBrush(Qt::red);
    // The selection paints over the red: the warning sign at the row's start stays.
    if (mark)
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    // The tooltip for the mouse, the description for a screen reader; the note may be a building's
    // problem as it sent it.
    return role == Qt::ToolTipRole ? plainToolTip(note) : note;
}

void TextTableModel::rowNotesChanged() {
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(
            index(0, 0), index(rowCount() - 1, columnCount() - 1),
            {Qt::ForegroundRole, Qt::DecorationRole, Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
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

std::vector<int> fitColumnWidths(std::vector<int> wanted, std::vector<int> least, int available) {
    if (wanted.empty() || least.size() != wanted.size())
        return wanted;
    int excess = -available;
    for (const int width : wanted)
        excess += width;
    // Too wide: the column with the most room beyond its least width gives way, down to the room of
    // the next one, until the columns fit or none has room left (then the view scrolls).
    while (excess > 0) {
        std::size_t most = wanted.size();
        int room = 0;
        int nextRoom = 0;
        for (std::size_t c = 0; c < wanted.size(); ++c) {
            const int own = wanted[c] - least[c];
            if (own > room) {
                nextRoom = room;
                room = own;
                most = c;
            } else {
                nextRoom = std::max(nextRoom, own);
            }
        }
        if (most == wanted.size())
            break;
        const int cut = std::min(excess, std::max(1, room - nextRoom));
        wanted[most] -= cut;
        excess -= cut;
    }
    // What is left over goes to the last column.
    if (excess < 0)
        wanted.back() -= excess;
    return wanted;
}

namespace {

constexpr int kCellPadding = 12;

// Each column as wide as its title and its texts, the last one filling the view: nobody scrolls
// sideways to see a row's status or note. Texts too long for what is left end in "…".
void fitColumns(QTableView& view) {
    const QAbstractItemModel* model = view.model();
    const int columns = model ? model->columnCount() : 0;
    if (columns == 0)
        return;
    const QFontMetrics metrics(view.horizontalHeader()->font());
    std::vector<int> wanted;
    std::vector<int> least;
    for (int c = 0; c < columns; ++c) {
        const int title =
            metrics.horizontalAdvance(model->headerData(c, Qt::Horizontal).toString()) + kCellPadding;
        least.push_back(title);
        // Public in the base class: the table view's own measure of the column's cells.
        const int cells = static_cast<const QAbstractItemView&>(view).sizeHintForColumn(c);
        wanted.push_back(std::max(title, cells + kCellPadding / 2));
    }
    // The vertical scroll bar's room is kept, so that a longer list does not need a sideways one.
    const int available = view.width() - 2 * view.frameWidth() -
                          view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view);
    const std::vector<int> widths = fitColumnWidths(wanted, least, available);
    for (int c = 0; c < columns; ++c)
        view.setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
}

// Fits the columns again when the rows or the view's size change.
class ColumnFitter final : public QObject {
public:
    explicit ColumnFitter(QTableView& view) : QObject(&view), m_view(view) { view.installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
            fitColumns(m_view);
        return QObject::eventFilter(watched, event);
    }

private:
    QTableView& m_view;
};

} // namespace

void showAsList(QTableView& view, QAbstractItemModel& model) {
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
    // The header's own minimum follows its font and would widen the narrow number column.
    view.horizontalHeader()->setMinimumSectionSize(20);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setTextElideMode(Qt::ElideRight);
    fitColumns(view);
    new ColumnFitter(view);
    const auto refit = [&view] { fitColumns(view); };
    QObject::connect(&model, &QAbstractItemModel::modelReset, &view, refit);
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &view, refit);
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &view, refit);
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
