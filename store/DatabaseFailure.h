#pragma once

#include <string>

struct sqlite3;

namespace halvix {

// What an SQLite result code means, told in Chinese for the user, e.g. "数据库正被其他程序占用,
// 请稍后再试。(错误码 5)". SQLite's own description is English and is shown only where no Chinese
// line says more: a plain error names the missing table or the refusing trigger.
std::string databaseFailureText(int code, const std::string& description);
// The same for the last failure on the connection.
std::string databaseFailureText(sqlite3* db);

} // namespace halvix
