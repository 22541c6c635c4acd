#pragma once

#include "store/TextTable.h"

#include <string>
#include <vector>

namespace halvix {

// Whether an entry of today's plan is still to ring. A load makes every entry Pending; the bell
// makes it Done once it rang (or was dealt with in its second), Passed when its time went by
// without it: before the program started, or over a minute overdue. Only Pending entries ring.
enum class EntryState { Pending, Done, Passed };

// The word the list shows for `state`: 待完, 完成 or 已过.
const char* stateWord(EntryState state);

// One entry of today's plan, as its table stores it: the bell reads its time, event, sound and
// state; the list shows every field.
struct PlanEntry {
    std::string number; // 序号
    std::string date;   // 日期: the weekday or the date the row is for
    std::string time;   // 时间, as written: "08:00" or "08:00:30" (a text that never rings stays as it is)
    std::string event;  // 事件
    std::string sound;  // 声音
    EntryState state = EntryState::Pending;
    std::string extra; // 备注

    bool operator==(const PlanEntry&) const = default;
};

// Today's plan: its entries in time order and the titles of its list. The strings a list or a
// report shows are made from it at their edge (toTable).
class DayPlan {
public:
    DayPlan() = default;
    // The rows a load read from the database, their titles with them; a status other than 完成 and
    // 已过 is Pending.
    static DayPlan fromTable(const TextTable& table);
    // The plan as the list shows it, each state as its word.
    TextTable toTable() const;

    const TextList& titles() const { return m_titles; }
    int size() const { return static_cast<int>(m_entries.size()); }
    bool empty() const { return m_entries.empty(); }
    const PlanEntry& operator[](int row) const { return m_entries.at(static_cast<std::size_t>(row)); }
    PlanEntry& operator[](int row) { return m_entries.at(static_cast<std::size_t>(row)); }
    void append(PlanEntry entry) { m_entries.push_back(std::move(entry)); }
    // Removes `row` when there is one; false otherwise.
    bool remove(int row);
    // No entries; the titles stay.
    void clearEntries() { m_entries.clear(); }
    void setTitles(TextList titles) { m_titles = std::move(titles); }

    bool operator==(const DayPlan&) const = default;

private:
    TextList m_titles;
    std::vector<PlanEntry> m_entries;
};

} // namespace halvix
