#include "bell/window/PlanList.h"

#include "bell/DayPlanSelector.h"
#include "bell/service/Bell.h"
#include "common/MessageSink.h"
#include "store/TableCatalogue.h"
#include "widgets/TextTableModel.h"
#include "widgets/UserPrompts.h"

#include <QTableView>

namespace halvix {

namespace {

constexpr char kDeleteQuestion[] = "\n\n是否删除?\n\n 注:只删除,不保存!";

} // namespace

PlanList::PlanList(Bell& bell, QTableView& view, UserPrompts& prompts, QObject* parent)
    : QObject(parent), m_bell(bell), m_view(view), m_prompts(prompts), m_shown(bell.plan().toTable()),
      m_model(std::make_unique<TextTableModel>(m_shown)) {
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
    if (!m_prompts.confirm({deleteQuestion(m_shown, row, kDeleteQuestion), "删除", MessageIcon::Question}) ||
        !m_model->removeListRow(row))
        return;
    m_bell.removeEntry(row);
}

void PlanList::rowNotesChanged() {
    m_model->rowNotesChanged();
}

void PlanList::statusChanged(int row) {
    m_model->setCell(row, StatusColumn, stateWord(m_bell.plan()[row].state));
}

void PlanList::showArmedRow(int row) {
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid())
        return;
    m_view.scrollTo(index, QAbstractItemView::PositionAtTop);
    m_view.selectRow(row);
}

void PlanList::advanceSelection(int row) {
    if (row < m_bell.plan().size())
        m_view.selectRow(row);
    else
        m_view.clearSelection();
}

void PlanList::planReplaced() {
    m_shown = m_bell.plan().toTable();
    m_model->tableChanged();
    emit replaced();
}

} // namespace halvix
