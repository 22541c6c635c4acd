#include "ringlog/RingLog.h"

#include "bell/RingResult.h"

#include "editing/CsvFile.h"
#include "store/DatabaseFailure.h"
#include "time/CivilDate.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

namespace halvix {

namespace {

constexpr int kBusyTimeoutMs = 3000;

constexpr const char* kCreate =
    "CREATE TABLE IF NOT EXISTS ringlog (时刻 TEXT, 计划时间 TEXT, 事件 TEXT, 声音 TEXT, 结果 TEXT,"
    " 延迟毫秒 INTEGER, 备注 TEXT, 节点 TEXT NOT NULL DEFAULT '')";
// Files written before buildings sent their rows have no 节点: read as this machine's.
constexpr const char* kColumns =
    "select 时刻, 计划时间, 事件, 声音, 结果, 延迟毫秒, 备注, 节点 from ringlog ";
constexpr const char* kColumnsWithoutNode =
    "select 时刻, 计划时间, 事件, 声音, 结果, 延迟毫秒, 备注, '' from ringlog ";

std::string columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

// Finalizes the statement whatever way the caller leaves.
struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

void bindText(sqlite3_stmt* statement, int index, std::string_view text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

} // namespace

RingLog::RingLog(std::filesystem::path file) : m_file(std::move(file)) {}

RingLog::~RingLog() {
    close();
}

void RingLog::close() {
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool RingLog::fail(const char* what) {
    m_error = std::string(what) + ": " + (m_db ? databaseFailureText(m_db) : "无法打开");
    return false;
}

bool RingLog::open() {
    if (m_db)
        return true;
    const std::u8string path = m_file.u8string();
    const int opened = sqlite3_open_v2(reinterpret_cast<const char*>(path.c_str()), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (opened != SQLITE_OK) {
        fail("无法打开响铃记录");
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // FULL: a row reported written is on the disk, also when the machine loses power right after.
    const char* setup = "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;";
    if (sqlite3_exec(m_db, setup, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(m_db, kCreate, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail("无法打开响铃记录");
        close();
        return false;
    }
    m_hasNode = addNodeColumn();
    // The check for a building's row delivered twice looks it up by its moment; a file that cannot
    // be written goes without the index.
    sqlite3_exec(m_db, "CREATE INDEX IF NOT EXISTS ringlog_moment ON ringlog (时刻)", nullptr, nullptr,
                 nullptr);
    return true;
}

bool RingLog::hasNodeColumn() {
    Statement columns;
    return sqlite3_prepare_v2(m_db, "select count(*) from pragma_table_info('ringlog') where name = '节点'",
                              -1, &columns.handle, nullptr) == SQLITE_OK &&
           sqlite3_step(columns.handle) == SQLITE_ROW && sqlite3_column_int(columns.handle, 0) > 0;
}

bool RingLog::addNodeColumn() {
    if (hasNodeColumn())
        return true;
    // Adding a column with a constant default rewrites no row: every row of the older file stays.
    // Another connection (the window's, the checker's) may add it at the same moment, so whether the
    // ALTER worked or not, the table itself says what it has.
    sqlite3_exec(m_db, "ALTER TABLE ringlog ADD COLUMN 节点 TEXT NOT NULL DEFAULT ''", nullptr, nullptr,
                 nullptr);
    return hasNodeColumn();
}

bool RingLog::append(const RingRow& row) {
    if (!open())
        return false;
    Statement insert;
    if (!m_hasNode && !row.node.empty()) {
        m_error = "无法写入响铃记录: 记录文件没有节点一列";
        return false;
    }
    // Columns named: a file that gained 节点 from another connection still takes the older row.
    const char* sql = m_hasNode
                          ? "insert into ringlog (时刻, 计划时间, 事件, 声音, 结果, 延迟毫秒, 备注, 节点)"
                            " values (?, ?, ?, ?, ?, ?, ?, ?)"
                          : "insert into ringlog (时刻, 计划时间, 事件, 声音, 结果, 延迟毫秒, 备注)"
                            " values (?, ?, ?, ?, ?, ?, ?)";
    if (sqlite3_prepare_v2(m_db, sql, -1, &insert.handle, nullptr) != SQLITE_OK)
        return fail("无法写入响铃记录");
    bindText(insert.handle, 1, row.moment);
    bindText(insert.handle, 2, row.planTime);
    bindText(insert.handle, 3, row.event);
    bindText(insert.handle, 4, row.sound);
    bindText(insert.handle, 5, row.result);
    sqlite3_bind_int64(insert.handle, 6, row.delayMs);
    bindText(insert.handle, 7, row.note);
    if (m_hasNode)
        bindText(insert.handle, 8, row.node);
    if (sqlite3_step(insert.handle) != SQLITE_DONE)
        return fail("无法写入响铃记录");
    return true;
}

std::optional<std::vector<RingRow>> RingLog::select(const char* condition, std::string_view date) {
    if (!open())
        return std::nullopt;
    Statement query;
    const std::string sql =
        std::string(m_hasNode ? kColumns : kColumnsWithoutNode) + condition + " order by rowid";
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &query.handle, nullptr) != SQLITE_OK) {
        fail("无法读取响铃记录");
        return std::nullopt;
    }
    bindText(query.handle, 1, date);
    std::vector<RingRow> rows;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query.handle)) == SQLITE_ROW) {
        RingRow row;
        row.moment = columnText(query.handle, 0);
        row.planTime = columnText(query.handle, 1);
        row.event = columnText(query.handle, 2);
        row.sound = columnText(query.handle, 3);
        row.result = columnText(query.handle, 4);
        row.delayMs = sqlite3_column_int64(query.handle, 5);
        row.note = columnText(query.handle, 6);
        row.node = columnText(query.handle, 7);
        rows.push_back(std::move(row));
    }
    if (step != SQLITE_DONE) {
        fail("无法读取响铃记录");
        return std::nullopt;
    }
    return rows;
}

std::optional<std::vector<RingRow>> RingLog::rowsOn(std::string_view date, Whose whose) {
    if (!open())
        return std::nullopt;
    // A file without the column holds this machine's rows alone.
    const bool own = whose == Whose::ThisMachine && m_hasNode;
    return select(own ? "where substr(时刻, 1, 10) = ?1 and 节点 = ''" : "where substr(时刻, 1, 10) = ?1",
                  date);
}

std::optional<std::vector<RingRow>> RingLog::rowsSince(std::string_view date) {
    return select("where 时刻 >= ?1", date);
}

std::optional<bool> RingLog::holds(const RingRow& row) {
    if (!open())
        return std::nullopt;
    if (!m_hasNode)
        return false;
    Statement query;
    if (sqlite3_prepare_v2(
            m_db,
            "select 1 from ringlog where 时刻 = ?1 and 节点 = ?2 and 计划时间 = ?3 and 声音 = ?4"
            " and 结果 = ?5 limit 1",
            -1, &query.handle, nullptr) != SQLITE_OK) {
        fail("无法读取响铃记录");
        return std::nullopt;
    }
    bindText(query.handle, 1, row.moment);
    bindText(query.handle, 2, row.node);
    bindText(query.handle, 3, row.planTime);
    bindText(query.handle, 4, row.sound);
    bindText(query.handle, 5, row.result);
    const int step = sqlite3_step(query.handle);
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        fail("无法读取响铃记录");
        return std::nullopt;
    }
    return step == SQLITE_ROW;
}

std::optional<std::vector<std::string>> RingLog::nodes() {
    if (!open())
        return std::nullopt;
    std::vector<std::string> nodes;
    if (!m_hasNode)
        return nodes;
    Statement query;
    if (sqlite3_prepare_v2(m_db, "select distinct 节点 from ringlog where 节点 <> '' order by 节点", -1,
                           &query.handle, nullptr) != SQLITE_OK) {
        fail("无法读取响铃记录");
        return std::nullopt;
    }
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query.handle)) == SQLITE_ROW)
        nodes.push_back(columnText(query.handle, 0));
    if (step != SQLITE_DONE) {
        fail("无法读取响铃记录");
        return std::nullopt;
    }
    return nodes;
}

int RingLog::removeBefore(std::string_view date) {
    if (!open())
        return -1;
    Statement remove;
    if (sqlite3_prepare_v2(m_db, "delete from ringlog where 时刻 < ?1", -1, &remove.handle, nullptr) !=
        SQLITE_OK) {
        fail("无法清理响铃记录");
        return -1;
    }
    bindText(remove.handle, 1, date);
    if (sqlite3_step(remove.handle) != SQLITE_DONE) {
        fail("无法清理响铃记录");
        return -1;
    }
    return sqlite3_changes(m_db);
}

const TextList& ringLogColumns() {
    static const TextList columns{"时刻", "计划时间", "事件", "声音", "结果", "延迟毫秒", "备注", "节点"};
    return columns;
}

std::string ringRowCell(const RingRow& row, std::size_t column) {
    switch (column) {
    case 0:
        return row.moment;
    case 1:
        return row.planTime;
    case 2:
        return row.event;
    case 3:
        return row.sound;
    case 4:
        return row.result;
    case 5:
        return std::to_string(row.delayMs);
    case 6:
        return row.note;
    case 7:
        return row.node;
    default:
        return {};
    }
}

TextList ringRowCells(const RingRow& row) {
    TextList cells;
    for (std::size_t column = 0; column < ringLogColumns().size(); ++column)
        cells.push_back(ringRowCell(row, column));
    return cells;
}

bool writeRingLogCsv(const std::filesystem::path& path, const std::vector<RingRow>& rows) {
    TextList cells = ringLogColumns();
    for (const RingRow& row : rows)
        for (std::string& cell : ringRowCells(row))
            cells.push_back(std::move(cell));
    return CsvFile().writeFile(path, ringLogColumns().size(), cells);
}

std::string firstKeptDate(std::string_view today) {
    const auto date = readDateText(today);
    if (!date)
        return {};
    return dateText(dateFromDayNumber(dayNumber(*date) - kRingLogKeepDays));
}

RingLogWriter::RingLogWriter(std::filesystem::path file, Finished finished, Finished stored)
    : m_file(std::move(file)), m_finished(std::move(finished)), m_stored(std::move(stored)),
      m_thread([this](std::stop_token stop) { run(stop); }) {}

RingLogWriter::~RingLogWriter() {
    m_thread.request_stop();
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void RingLogWriter::append(RingRow row) {
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(row), false, {}, {}, {}, {}});
    }
    m_wake.notify_one();
}

void RingLogWriter::appendFromNode(RingRow row) {
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(row), true, {}, {}, {}, {}});
    }
    m_wake.notify_one();
}

void RingLogWriter::removeOld(std::string today) {
    std::string before = firstKeptDate(today);
    if (before.empty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::nullopt, false, std::move(before), {}, {}, {}});
    }
    m_wake.notify_one();
}

void RingLogWriter::read(std::function<void(RingLog&)> read) {
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::nullopt, false, {}, {}, {}, std::move(read)});
    }
    m_wake.notify_one();
}

void RingLogWriter::appendUnlogged(std::string date, std::vector<RingRow> rows) {
    if (rows.empty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::nullopt, false, {}, std::move(rows), std::move(date), {}});
    }
    m_wake.notify_one();
}

void RingLogWriter::flush() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

std::string RingLogWriter::takeFailure() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_failure, {});
}

long long RingLogWriter::written() const {
    const std::lock_guard lock(m_mutex);
    return m_written;
}

long long RingLogWriter::dropped() const {
    const std::lock_guard lock(m_mutex);
    return m_dropped;
}

void RingLogWriter::finished(const RingRow& row) const {
    if (m_finished)
        m_finished(row);
}

void RingLogWriter::run(std::stop_token stop) {
    // The connection lives on this thread only; opened at the first job, and again after a failure.
    RingLog log(m_file);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, stop, [this] { return !m_jobs.empty(); });
        // Stopping still writes what was queued: the last rows before the end are often the news.
        if (m_jobs.empty()) {
            m_idle.notify_all();
            if (stop.stop_requested())
                return;
            continue;
        }
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        perform(log, job);
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
}

long long RingLogWriter::appendUnlogged(RingLog& log, Job& job) {
    // Read on this thread: the bell never waits for the disk.
    auto logged = log.rowsOn(job.unloggedDate);
    if (!logged)
        return -1;
    long long written = 0;
    for (const RingRow& row : job.unlogged) {
        // A 播放中断 row follows its entry's own row: it accounts for no entry of its own.
        const auto same = std::find_if(logged->begin(), logged->end(), [&row](const RingRow& done) {
            return done.planTime == row.planTime && done.sound == row.sound &&
                   done.result != resultWord(RingResult::CutOff);
        });
        if (same != logged->end()) {
            logged->erase(same);
            continue;
        }
        finished(row);
        if (!log.append(row))
            return -1;
        if (m_stored)
            m_stored(row);
        ++written;
    }
    return written;
}

void RingLogWriter::perform(RingLog& log, Job& job) {
    if (job.read)
        return job.read(log);
    long long written = 0;
    bool ok = true;
    if (job.row) {
        // Rows another building reported are its own to tell, not this bell's.
        if (!job.once)
            finished(*job.row);
        const auto held = job.once ? log.holds(*job.row) : std::optional<bool>(false);
        ok = held && (*held || log.append(*job.row));
        written = ok && !*held ? 1 : 0;
        if (written && !job.once && m_stored)
            m_stored(*job.row);
    } else if (!job.unlogged.empty()) {
        written = appendUnlogged(log, job);
        ok = written >= 0;
    } else {
        ok = log.removeBefore(job.removeBefore) >= 0;
    }
    if (!ok)
        log.close(); // opened afresh for the next job: the file may be usable again by then
    const std::lock_guard lock(m_mutex);
    if (ok)
        m_written += written;
    else if (job.row)
        ++m_dropped;
    else if (!job.unlogged.empty())
        m_dropped += static_cast<long long>(job.unlogged.size());
    if (ok) {
        m_failing = false;
    } else if (!m_failing) {
        m_failing = true;
        m_failure = log.lastError();
    }
}

} // namespace halvix
