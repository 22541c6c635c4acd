#include "store/DatabaseFailure.h"

#include "common/PathText.h"

#include <sqlite3.h>

#include <string_view>

namespace halvix {

namespace {

constexpr char kFileName[] = "jbase.mdb";
// The database a new per-user folder starts from, as the package installs it.
constexpr char kRestoreAdvice[] = "请从备份恢复, 或复制安装的默认数据库 /usr/share/halvix/jbase.mdb";
constexpr std::string_view kNoSuchTable = "no such table: ";

const char* meaningOf(int code) {
    switch (code & 0xff) {
    case SQLITE_READONLY:
        return "数据库文件是只读的, 无法写入。";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "数据库正被其他程序占用, 请稍后再试。";
    case SQLITE_FULL:
        return "磁盘已满, 无法写入数据库。";
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return "数据库文件已损坏, 或不是数据库文件, 请从备份恢复 (文件未作改动)。";
    case SQLITE_CANTOPEN:
        return "无法打开数据库文件。";
    case SQLITE_IOERR:
        return "读写数据库文件时出错。";
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "没有访问数据库文件的权限。";
    case SQLITE_NOMEM:
        return "内存不足, 无法访问数据库。";
    default:
        return nullptr;
    }
}

} // namespace

std::string missingDatabaseText(const std::filesystem::path& folder, MissingDatabase how) {
    const char* what = how == MissingDatabase::Lost     ? "数据库已丢失! "
                       : how == MissingDatabase::NotYet ? "还没有数据库: "
                                                        : "找不到数据库: ";
    return std::string(what) + "文件夹 " + pathToUtf8(folder) + " 中没有 " + kFileName + ", " +
           kRestoreAdvice + " 到此文件夹。";
}

std::string foreignDatabaseText(const std::string& table) {
    return std::string(kFileName) + " 不是本程序的数据库 (缺少表 " + table + "), " + kRestoreAdvice +
           " 替换它 (文件未作改动)。";
}

std::string databaseFailureText(int code, const std::string& description) {
    const std::string number = "(错误码 " + std::to_string(code) + ")";
    if (const char* meaning = meaningOf(code))
        return meaning + number;
    if (description.starts_with(kNoSuchTable))
        return "数据库中缺少表 " + description.substr(kNoSuchTable.size()) + ", " + kRestoreAdvice + "。" +
               number;
    return "访问数据库时出错" + number + ": " + description;
}

std::string databaseFailureText(sqlite3* db) {
    return databaseFailureText(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

} // namespace halvix
