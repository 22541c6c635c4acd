#pragma once

#include <filesystem>
#include <string>

struct sqlite3;

namespace halvix {

// The table every start reads first: a database file without it is none of this program's.
inline constexpr const char* kIdentifyingTable = "lxtime";

// How a program folder comes to have no database, for what is said about it.
enum class MissingDatabase {
    NotFound, // asked for and not there
    NotYet,   // none since this program started
    Lost,     // there earlier in this run, gone now
};
// What is missing and what to do, in one line of Chinese: the folder, and how to put a database there.
std::string missingDatabaseText(const std::filesystem::path& folder, MissingDatabase how);
// The same for a file that opens but lacks `table`: an empty file, or another program's database.
std::string foreignDatabaseText(const std::string& table);

// What an SQLite result code means, told in Chinese for the user, e.g. "数据库正被其他程序占用,
// 请稍后再试。(错误码 5)", on one line. SQLite's own description is English and is shown only where
// no Chinese line says more: a plain error names the refusing trigger; a missing table is said in
// Chinese.
std::string databaseFailureText(int code, const std::string& description);
// The same for the last failure on the connection.
std::string databaseFailureText(sqlite3* db);

} // namespace halvix
