#include "store/DatabaseFailure.h"

#include <sqlite3.h>

namespace halvix {

namespace {

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
        return "数据库文件已损坏, 或不是数据库文件。";
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

std::string databaseFailureText(int code, const std::string& description) {
    const std::string number = "(错误码 " + std::to_string(code) + ")";
    if (const char* meaning = meaningOf(code))
        return meaning + number;
    return "访问数据库时出错" + number + ":\n" + description;
}

std::string databaseFailureText(sqlite3* db) {
    return databaseFailureText(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

} // namespace halvix
