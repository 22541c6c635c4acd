#pragma once

#include "bell/PlanView.h"
#include "store/TextTable.h"

#include <QObject>

#include <functional>
#include <memory>

class QTableView;

namespace halvix {

class Bell;
class TextTableModel;
class UserPrompts;

// Today's plan as the main window lists it: the bell's table in a list, the armed row at the top
// and selected, rows whose sound has a problem (or that rang unheard) red with the reason as their
// tooltip, and a row deleted from today's list (never from the database) on a double click once
// the user confirms it.
class PlanList final : public QObject, public PlanView {
    Q_OBJECT

public:
    PlanList(Bell& bell, QTableView& view, UserPrompts& prompts, QObject* parent = nullptr);
    ~PlanList() override;

    // Asks whether to delete `row` and re-arms the bell. `row` is -1 for a double click where no
    // row is: asked all the same, and nothing goes.
    void askToDelete(int row);
    // The red rows' reasons may have changed.
    void rowNotesChanged();

    // PlanView
    void statusChanged(int row) override;
    void showArmedRow(int row) override;
    void advanceSelection(int row) override;
    void planReplaced() override;

signals:
    // The night's reload (or another) replaced the whole plan.
    void replaced();

private:
    Bell& m_bell;
    QTableView& m_view;
    UserPrompts& m_prompts;
    TextTable m_shown; // the plan's strings, made here for the list
    std::unique_ptr<TextTableModel> m_model;
};

} // namespace halvix
