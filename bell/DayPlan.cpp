#include "bell/DayPlan.h"

#include "store/TableCatalogue.h"

namespace halvix {

const char* stateWord(EntryState state) {
    switch (state) {
    case EntryState::Done:
        return kDone;
    case EntryState::Passed:
        return kPassed;
    case EntryState::Pending:
        break;
    }
    return kPending;
}

namespace {

EntryState stateOf(const std::string& word) {
    if (word == kDone)
        return EntryState::Done;
    return word == kPassed ? EntryState::Passed : EntryState::Pending;
}

} // namespace

DayPlan DayPlan::fromTable(const TextTable& table) {
    DayPlan plan;
    plan.m_titles = table.names();
    for (int row = 0; row < table.rowCount(); ++row)
        plan.m_entries.push_back({table.cell(row, NumberColumn), table.cell(row, DateColumn),
                                  table.cell(row, TimeColumn), table.cell(row, EventColumn),
                                  table.cell(row, SoundColumn), stateOf(table.cell(row, StatusColumn)),
                                  table.cell(row, ExtraColumn)});
    return plan;
}

TextTable DayPlan::toTable() const {
    TextTable table;
    table.setColumns(m_titles);
    for (const PlanEntry& entry : m_entries)
        table.appendRow({entry.number, entry.date, entry.time, entry.event, entry.sound,
                         stateWord(entry.state), entry.extra});
    return table;
}

bool DayPlan::remove(int row) {
    if (row < 0 || row >= size())
        return false;
    m_entries.erase(m_entries.begin() + row);
    return true;
}

} // namespace halvix
