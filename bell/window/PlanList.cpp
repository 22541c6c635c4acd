#include "bell/window/PlanList.h"

#include "bell/service/Bell.h"
#include "bell/BellEngine.h"
#include "bell/DayPlanSelector.h"
#include "common/MessageSink.h"
#include "widgets/TextTableModel.h"
#include "widgets/UserPrompts.h"

#include <QTableView>

namespace halvix {

namespace {

constexpr char kDeleteQuestion[] = "\n\n是否删除?\n\n 注:只删除,不保存!";

} // namespace

PlanList::PlanList(Bell& bell, QTableView& view, UserPrompts& prompts, QObject* parent)
    : QObject(parent), m_bell(bell), m_view(view), m_prompts(prompts),
      m_model(std::make_unique<TextTableModel>(bell.plan())) {
    showAsList(m_view, *m_model);
    m_model->setRowNote([this](int row) { return m_bell.rowProblem(row); });
    onListDoubleClick(m_view, [this](int row) { askToDelete(row); });
    connect(&m_bell, &Bell::rowProblemsChanged, this, &PlanList::rowNotesChanged);
}

PlanList::~PlanList() {
    m_view.setModel(nullptr);
}

void PlanList::askToDelete(int row) {
    // A double click where no row is asks about no row; OK then deletes nothing.
    if (!m_prompts.confirm(
            {deleteQuestion(m_bell.plan(), row, kDeleteQuestion), "删除", MessageIcon::Question}) ||
        !m_model->removeListRow(row))
        return;
    // The rows below moved up: the bell must not ring whatever now stands at the armed position.
    m_bell.engine().rowRemoved(row, m_bell.clock().now());
}

void PlanList::rowNotesChanged() {
    m_model->rowNotesChanged();
}

void PlanList::statusChanged(int row) {
    // The bell wrote the cell into the table itself; setting the same text again tells the view.
    m_model->setCell(row, BellEngine::kStatusColumn,
                     std::string(m_bell.plan().cell(row, BellEngine::kStatusColumn)));
}

void PlanList::showArmedRow(int row) {
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid())
        return;
    m_view.scrollTo(index, QAbstractItemView::PositionAtTop);
    m_view.selectRow(row);
}

void PlanList::advanceSelection(int row) {
    if (row < m_bell.plan().rowCount())
        m_view.selectRow(row);
    else
        m_view.clearSelection();
}

void PlanList::planReplaced() {
    m_model->tableChanged();
    emit replaced();
}

} // namespace halvix
