#include "campus/SharedTables.h"

#include "calendar/CalendarEntry.h"
#include "calendar/CalendarStore.h"
#include "store/TableCatalogue.h"

namespace halvix::campus {

const std::vector<SharedTable>& sharedTables() {
    static const std::vector<SharedTable> all = [] {
        const TextList planColumns = {"序号", "日期", "时间", "事件", "声音", "状态", "备注"};
        std::vector<SharedTable> list;
        for (const PlanTableInfo& info : planTables())
            list.push_back({info.table, planColumns});
        list.push_back({tables::settable,
                        {"初一听力", "初二听力", "初三听力", "进场到发卡", "发卡到开袋", "开袋到发卷",
                         "发卷到答题", "倒计时"}});
        list.push_back({tables::lxtime, {"类型"}});
        list.push_back({tables::jjtime, {"季节"}});
        list.push_back({kCalendarTable, calendarColumns()});
        return list;
    }();
    return all;
}

const SharedTable* findSharedTable(std::string_view name) {
    for (const SharedTable& table : sharedTables())
        if (table.name == name)
            return &table;
    return nullptr;
}

} // namespace halvix::campus
