#include "bell/DayPlan.h"

#include "store/TableCatalogue.h"

#include <gtest/gtest.h>

namespace halvix {
namespace {

TEST(DayPlan, StateWordsReadBackAsTheirStates) {
    // The status column's word, the state a load reads from it, and the word it is shown as again.
    const struct {
        const char* stored;
        EntryState state;
        const char* shown;
    } cases[] = {
        {"待完", EntryState::Pending, "待完"},  {"完成", EntryState::Done, "完成"},
        {"已过", EntryState::Passed, "已过"},   {"", EntryState::Pending, "待完"},
        {"已过 ", EntryState::Pending, "待完"}, {"done", EntryState::Pending, "待完"},
    };
    for (const auto& c : cases) {
        TextTable table;
        table.setColumns({"序号", "日期", "时间", "事件", "声音", "状态", "备注"});
        table.appendRow({"1", "星期一", "08:00", "上课", "上课.mp3", c.stored, ""});
        const DayPlan plan = DayPlan::fromTable(table);
        ASSERT_EQ(plan.size(), 1) << c.stored;
        EXPECT_EQ(plan[0].state, c.state) << c.stored;
        EXPECT_EQ(plan.toTable().cell(0, StatusColumn), c.shown) << c.stored;
    }
}

} // namespace
} // namespace halvix
