#include "store/ScheduleDatabase.h"

#include "common/MessageSink.h"
#include "common/PathText.h"
#include "store/DatabaseFailure.h"

#include <sqlite3.h>

#include <charconv>
#include <system_error>
#include <utility>

namespace halvix {

namespace {

constexpr int kBusyTimeoutMs = 5000;
// How long a database opened on this thread waits for a lock; see DatabaseWaitLimit.
thread_local int t_busyTimeoutMs = kBusyTimeoutMs;

// One prepared statement, finalized when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        m_status = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_status == SQLITE_OK && m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_status = SQLITE_ERROR;
};

std::string quoteIdentifier(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

std::string realText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
}

// How a stored value reads as text, by SQLite's storage class.
std::string fieldText(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return "0";
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return realText(sqlite3_column_double(stmt, column));
    default: {
        // TEXT and BLOB: the bytes as they are.
        const void* bytes = sqlite3_column_blob(stmt, column);
        const int size = sqlite3_column_bytes(stmt, column);
        return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                     : std::string();
    }
    }
}

// SQLITE_ROW when the database holds `table`, SQLITE_DONE when it does not, or why it cannot tell.
int findTable(sqlite3* db, const std::string& table) {
    Statement probe(db, "select 1 from sqlite_master where type = 'table' and name = '" + table + "'");
    return probe.ok() ? sqlite3_step(probe.get()) : sqlite3_errcode(db);
}

} // namespace

DatabaseWaitLimit::DatabaseWaitLimit(int ms) : m_previous(std::exchange(t_busyTimeoutMs, ms)) {}

DatabaseWaitLimit::~DatabaseWaitLimit() {
    t_busyTimeoutMs = m_previous;
}

ScheduleDatabase::ScheduleDatabase(std::filesystem::path folder, MessageSink& sink)
    : m_folder(std::move(folder)), m_sink(sink) {}

ScheduleDatabase::~ScheduleDatabase() {
    if (m_db)
        sqlite3_close_v2(m_db);
}

void ScheduleDatabase::open() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    sqlite3* db = nullptr;
    // Never create the file: a missing database is a failure to report, not an empty new one.
    // SQLite takes the name in UTF-8 on every system.
    int status = sqlite3_open_v2(pathToUtf8(filePath()).c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    bool ours = false;
    if (status == SQLITE_OK) {
        sqlite3_busy_timeout(db, t_busyTimeoutMs);
        // Opening is lazy; reading the schema proves the file is a database we can use, its first
        // table that it is this program's.
        status = sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
        const int found = status == SQLITE_OK ? findTable(db, kIdentifyingTable) : status;
        ours = found == SQLITE_ROW;
        if (found != SQLITE_ROW && found != SQLITE_DONE)
            status = found;
    }
    if (!ours) {
        // An empty or another program's file is told as such, and never written: no table is
        // made in it, so a file put in the wrong place stays as it was.
        std::error_code ignored;
        const std::string text =
            !std::filesystem::exists(filePath(), ignored)
                ? missingDatabaseText(m_folder, MissingDatabase::NotFound)
            : status == SQLITE_OK
                ? foreignDatabaseText(kIdentifyingTable)
                : "无法打开 " + std::string(kFileName) + ": " +
                      (db ? databaseFailureText(db) : databaseFailureText(status, sqlite3_errstr(status)));
        sqlite3_close_v2(db);
        m_state = State::Closed;
        m_openFailed = true;
        m_sink.show({text, "", MessageIcon::Critical});
        return;
    }
    m_db = db;
    m_state = State::Open;
    m_openFailed = false;
}

void ScheduleDatabase::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_state = State::Closed;
}

bool ScheduleDatabase::ensureOpen() {
    if (m_state == State::Unopened)
        open();
    return m_db != nullptr;
}

bool ScheduleDatabase::execute(const std::string& sql) {
    if (!ensureOpen())
        return false;
    return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool ScheduleDatabase::loadTable(const std::string& table, TextList& names, TextList& values) {
    TextList readNames;
    TextList readValues;
    const ReadResult result = readRows("select * from " + table, readNames, readValues);
    if (result == ReadResult::Failed) {
        return false;
    }
    if (result == ReadResult::NoRows) {
        // The caller may still want the columns of an empty table.
        names = std::move(readNames);
        return false;
    }
    names = std::move(readNames);
    values = std::move(readValues);
    return true;
}

bool ScheduleDatabase::query(TextList& names, TextList& values, const std::string& sql) {
    TextList readNames;
    if (queryRows(readNames, values, sql) != ReadResult::Rows)
        return false;
    names = std::move(readNames);
    return true;
}

ScheduleDatabase::ReadResult ScheduleDatabase::queryRows(TextList& names, TextList& values,
                                                         const std::string& sql) {
    if (databaseMissing())
        return ReadResult::Failed;
    values.clear();
    if (sql.empty())
        return ReadResult::NoRows;
    return readRows(sql, names, values);
}

ScheduleDatabase::ReadResult ScheduleDatabase::readRows(const std::string& sql, TextList& names,
                                                        TextList& values) {
    if (!ensureOpen()) {
        if (!m_openFailed) // a failed open said why already
            m_sink.show({"数据库查询失败: 数据库未打开", "", MessageIcon::Critical});
        return ReadResult::Failed;
    }
    Statement stmt(m_db, sql);
    if (!stmt.ok()) {
        const std::string reason = databaseFailureText(m_db);
        close();
        m_sink.show({"数据库查询失败: " + reason, "", MessageIcon::Critical});
        return ReadResult::Failed;
    }
    const int columns = sqlite3_column_count(stmt.get());
    for (int c = 0; c < columns; ++c) {
        const char* name = sqlite3_column_name(stmt.get(), c);
        names.emplace_back(name ? name : "");
    }
    bool any = false;
    for (;;) {
        const int status = sqlite3_step(stmt.get());
        if (status == SQLITE_DONE)
            break;
        if (status != SQLITE_ROW) {
            // A damaged page or a lock that outlasted the busy timeout, part-way through the rows.
            m_sink.show({"数据库查询失败: " + databaseFailureText(m_db), "", MessageIcon::Critical});
            return ReadResult::Failed; // rows read so far stay in `values`
        }
        any = true;
        for (int c = 0; c < columns; ++c)
            values.push_back(fieldText(stmt.get(), c));
    }
    return any ? ReadResult::Rows : ReadResult::NoRows;
}

bool ScheduleDatabase::replaceRows(const std::string& table, std::size_t columnCount,
                                   const TextList& values) {
    if (values.empty())
        return false;
    return rewriteTable(table, columnCount, values);
}

bool ScheduleDatabase::clearTable(const std::string& table) {
    return rewriteTable(table, 0, {});
}

bool ScheduleDatabase::rewriteTable(const std::string& table, std::size_t columnCount,
                                    const TextList& values) {
    std::string reason;
    // Inside a caller's transaction (a read-modify-write) the rewrite is a savepoint of it.
    const bool nested = m_db != nullptr && sqlite3_get_autocommit(m_db) == 0;
    const char* const begin = nested ? "savepoint rewrite" : "begin immediate";
    const char* const end = nested ? "release rewrite" : "commit";
    const char* const undo = nested ? "rollback to rewrite; release rewrite" : "rollback";
    if (!ensureOpen()) {
        reason = "数据库未打开";
    } else if (sqlite3_exec(m_db, begin, nullptr, nullptr, nullptr) != SQLITE_OK) {
        reason = databaseFailureText(m_db);
    } else {
        if (writeRows(table, columnCount, values, reason) &&
            sqlite3_exec(m_db, end, nullptr, nullptr, nullptr) == SQLITE_OK)
            return true;
        if (reason.empty())
            reason = databaseFailureText(m_db);
        // Whatever went wrong, the table keeps the rows it had.
        sqlite3_exec(m_db, undo, nullptr, nullptr, nullptr);
    }
    if (!m_openFailed)
        m_sink.show({"数据库写入失败: " + reason, "", MessageIcon::Critical});
    m_sink.show({"数据保存失败!", "", MessageIcon::Critical});
    return false;
}

bool ScheduleDatabase::beginWrite() {
    if (!ensureOpen())
        return false;
    if (sqlite3_exec(m_db, "begin immediate", nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    m_sink.show({"数据库写入失败: " + databaseFailureText(m_db), "", MessageIcon::None});
    return false;
}

bool ScheduleDatabase::commitWrite() {
    if (m_db != nullptr && sqlite3_exec(m_db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    if (m_db != nullptr) {
        m_sink.show({"数据库写入失败: " + databaseFailureText(m_db), "", MessageIcon::None});
        sqlite3_exec(m_db, "rollback", nullptr, nullptr, nullptr);
    }
    return false;
}

void ScheduleDatabase::rollbackWrite() {
    if (m_db != nullptr && sqlite3_get_autocommit(m_db) == 0)
        sqlite3_exec(m_db, "rollback", nullptr, nullptr, nullptr);
}

bool ScheduleDatabase::writeRows(const std::string& table, std::size_t columnCount, const TextList& values,
                                 std::string& reason) {
    // Columns are filled by position, so learn the table's column names first.
    TextList columns;
    {
        Statement probe(m_db, "select * from " + quoteIdentifier(table));
        if (!probe.ok()) {
            reason = databaseFailureText(m_db);
            return false;
        }
        for (int c = 0; c < sqlite3_column_count(probe.get()); ++c)
            columns.emplace_back(sqlite3_column_name(probe.get(), c));
    }
    if (columnCount > columns.size()) {
        reason = "表 " + table + " 只有 " + std::to_string(columns.size()) + " 列, 无法写入 " +
                 std::to_string(columnCount) + " 列";
        return false;
    }
    if (sqlite3_exec(m_db, ("delete from  " + quoteIdentifier(table)).c_str(), nullptr, nullptr, nullptr) !=
        SQLITE_OK)
        return false;
    if (columnCount == 0 || values.empty())
        return true;

    std::string sql = "insert into " + quoteIdentifier(table) + " (";
    std::string placeholders;
    for (std::size_t c = 0; c < columnCount; ++c) {
        sql += (c ? "," : "") + quoteIdentifier(columns[c]);
        placeholders += c ? ",?" : "?";
    }
    sql += ") values (" + placeholders + ")";
    Statement insert(m_db, sql);
    if (!insert.ok())
        return false;
    for (std::size_t start = 0; start < values.size(); start += columnCount) {
        sqlite3_reset(insert.get());
        for (std::size_t c = 0; c < columnCount; ++c) {
            // A last, incomplete row gets empty texts rather than reading past the list.
            const std::string& text = start + c < values.size() ? values[start + c] : std::string();
            sqlite3_bind_text(insert.get(), static_cast<int>(c + 1), text.data(),
                              static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            return false;
    }
    return true;
}

bool ScheduleDatabase::databaseMissing() const {
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_folder, error), end; !error && it != end;
         it.increment(error)) {
        if (pathToUtf8(it->path().filename()) == kFileName)
            return false;
    }
    return true;
}

} // namespace halvix
