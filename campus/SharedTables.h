#pragma once

#include "store/TextTable.h"

#include <string>
#include <string_view>
#include <vector>

namespace halvix::campus {

// A table the central shares with every node, with its columns in their stored order.
struct SharedTable {
    std::string name;
    TextList columns;
};

// The nine plan tables, settable, lxtime, jjtime and calendar: everything a node needs to ring
// the central's plan. Nothing else of jbase.mdb ever leaves or enters through a snapshot.
const std::vector<SharedTable>& sharedTables();
// The shared table of that name; nullptr for any other name.
const SharedTable* findSharedTable(std::string_view name);

} // namespace halvix::campus
