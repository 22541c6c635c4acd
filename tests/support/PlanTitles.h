#pragma once

#include "store/TextTable.h"

namespace halvix::test {

// The column titles of every plan table, in their order.
inline const TextList kPlanTitles = {"序号", "日期", "时间", "事件", "声音", "状态", "备注"};

} // namespace halvix::test
