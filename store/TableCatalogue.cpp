#include "store/TableCatalogue.h"

namespace halvix {

TextList flattenRows(const std::vector<PlanRow>& rows) {
    TextList cells;
    cells.reserve(rows.size() * kPlanColumnCount);
    for (const PlanRow& row : rows)
        for (std::string& cell : row.cells())
            cells.push_back(std::move(cell));
    return cells;
}

const std::array<PlanTableInfo, 9>& planTables() {
    static const std::array<PlanTableInfo, 9> all{{
        {1, tables::cjtime, "星期一", "春季"},
        {2, tables::zccjtime, "星期2--4", "春季"},
        {3, tables::qjtime, "星期一", "秋季"},
        {4, tables::zcqjtime, "星期2--4", "秋季"},
        {5, tables::fridtime, "星期五", ""},
        {6, tables::kscjtime, "考试", "春季"},
        {7, tables::ksqjtime, "考试", "秋季"},
        {8, tables::sjtime, "考试设置", ""},
        {9, tables::sundaytime, "星期天", ""},
    }};
    return all;
}

std::string planTableName(int code) {
    for (const PlanTableInfo& info : planTables())
        if (info.code == code)
            return info.table;
    return {};
}

namespace sql {

std::string dailyPlan(const std::string& table) {
    return "select * from " + table + " order by 时间 ASC";
}

std::string examDayPlan(int season, const std::string& dateText) {
    const char* fixed = season == 1 ? tables::kscjtime : tables::ksqjtime;
    // The doubled blanks are part of the query text as it has always been sent.
    return "select * from sjtime where 日期='" + dateText + "'  union all select * from " + fixed +
           "  order by 时间 ASC";
}

std::string selectAll(const std::string& table) {
    return "select * from " + table;
}

} // namespace sql

std::string dateText(int month, int day) {
    return std::to_string(month) + "月" + std::to_string(day) + "日";
}

} // namespace halvix
