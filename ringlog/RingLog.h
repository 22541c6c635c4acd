#pragma once

#include "store/TextTable.h"

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct sqlite3;

namespace halvix {

// One row of the table `ringlog`.
struct RingRow {
    std::string moment;    // 时刻 "YYYY-MM-DD HH:MM:SS.mmm", local time
    std::string planTime;  // 计划时间: the entry's time text; empty for tray actions
    std::string event;     // 事件
    std::string sound;     // 声音
    std::string result;    // 结果: a word of resultWord (bell/RingResult.h)
    long long delayMs = 0; // 延迟毫秒: due second to the start of playback
    std::string note;      // 备注
    std::string node;      // 节点: the building's id the row came from; empty for this machine

    bool operator==(const RingRow&) const = default;
};

inline constexpr const char* kRingLogFile = "ringlog.db";
// Rows older than this many days go at the nightly reload.
inline constexpr int kRingLogKeepDays = 400;

// The log of what rang, in its own SQLite file beside the plan database, so that a locked or
// read-only plan database never stops it and a ring never writes the plan database. WAL mode: a
// reader (the 响铃记录 window) never waits for the writer, and a killed process loses at most the
// row being written.
class RingLog {
public:
    explicit RingLog(std::filesystem::path file);
    ~RingLog();
    RingLog(const RingLog&) = delete;
    RingLog& operator=(const RingLog&) = delete;

    // Opens the file, creating it and the table when absent. False, with lastError, when it cannot.
    bool open();
    bool isOpen() const { return m_db != nullptr; }
    void close();

    // Each row is its own transaction: committed when this returns true.
    bool append(const RingRow& row);
    // Whose rows a read returns. A machine's own rows decide what it rang already; a building's
    // rows on the central must never count as the central's.
    enum class Whose { ThisMachine, Everyone };
    // Rows of the date "YYYY-MM-DD" in the order written; nothing when the file cannot be read.
    std::optional<std::vector<RingRow>> rowsOn(std::string_view date, Whose whose = Whose::ThisMachine);
    // Rows of `date` and every later date.
    std::optional<std::vector<RingRow>> rowsSince(std::string_view date);
    // Whether the log holds this very row already (a node's row delivered twice).
    std::optional<bool> holds(const RingRow& row);
    // The buildings whose rows the log holds, ordered; this machine's own rows not among them.
    std::optional<std::vector<std::string>> nodes();
    // Removes the rows of the dates before `date`. Returns the rows removed, or -1 on failure.
    int removeBefore(std::string_view date);

    const std::string& lastError() const { return m_error; }

private:
    std::optional<std::vector<RingRow>> select(const char* sql, std::string_view date);
    bool fail(const char* what);
    bool hasNodeColumn();
    bool addNodeColumn();

    std::filesystem::path m_file;
    sqlite3* m_db = nullptr;
    std::string m_error;
    bool m_hasNode = true; // false for an older file that could not be given the column (read-only)
};

// The column titles, in table order.
const TextList& ringLogColumns();
TextList ringRowCells(const RingRow& row);
// The cell of `row` in the column `column` of ringLogColumns(); empty past the last column.
std::string ringRowCell(const RingRow& row, std::size_t column);
// The rows as a CSV file with a title line, in code page 936 like the plan tables' files.
bool writeRingLogCsv(const std::filesystem::path& path, const std::vector<RingRow>& rows);
// "YYYY-MM-DD" of the first date kept when today is `today` (kRingLogKeepDays before it).
std::string firstKeptDate(std::string_view today);

// Writes log rows on a thread of its own, so that neither the sound nor the tick ever waits for the
// disk. A row that cannot be written is dropped (the sound matters, the log does not); the first
// failure after a success is kept for the caller to report once.
class RingLogWriter {
public:
    // Called on the writer's thread with each row once it is finished, written or not (a row the
    // disk refused still happened): whoever else follows the log (the campus) learns of it there.
    using Finished = std::function<void(const RingRow&)>;

    // `stored`, when given, is called on the writer's thread with each row of this bell once it is
    // committed to the file: a row told of there survives the program being killed.
    explicit RingLogWriter(std::filesystem::path file, Finished finished = {}, Finished stored = {});
    // Writes what is queued, then stops.
    ~RingLogWriter();
    RingLogWriter(const RingLogWriter&) = delete;
    RingLogWriter& operator=(const RingLogWriter&) = delete;

    // Only queues: returns at once.
    void append(RingRow row);
    // Appends a row a building sent, unless the log holds it already: the broker delivers a row
    // again when its acknowledgement was lost.
    void appendFromNode(RingRow row);
    // Appends those of `rows` (entries of the date "YYYY-MM-DD") that the log holds no row of yet,
    // matched by plan time and sound: each logged row of the date accounts for one of them.
    void appendUnlogged(std::string date, std::vector<RingRow> rows);
    // Removes, on the writer's thread, the rows older than kRingLogKeepDays before `today`.
    void removeOld(std::string today);
    // Runs `read` on the writer's thread with its connection, after everything queued so far is
    // written (or dropped): a window reads the log without waiting for the writer or the disk.
    void read(std::function<void(RingLog&)> read);
    // Waits until everything queued so far is written (or dropped).
    void flush();
    // The reason of a failure not yet reported; empty when there is none. Taking it clears it.
    std::string takeFailure();
    // Rows written and rows dropped since start.
    long long written() const;
    long long dropped() const;

    const std::filesystem::path& file() const { return m_file; }

private:
    struct Job {
        std::optional<RingRow> row;
        bool once = false;             // the row is skipped when the log holds it
        std::string removeBefore;      // a cleanup when non-empty
        std::vector<RingRow> unlogged; // rows to append unless the log of `unloggedDate` has them
        std::string unloggedDate;
        std::function<void(RingLog&)> read; // a read on the writer's thread when set
    };
    // Rows written, or -1 when the log could not be read or written.
    long long appendUnlogged(RingLog& log, Job& job);
    void finished(const RingRow& row) const;
    void run(std::stop_token stop);
    void perform(RingLog& log, Job& job);

    std::filesystem::path m_file;
    Finished m_finished;
    Finished m_stored;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_failing = false;
    std::string m_failure;
    long long m_written = 0;
    long long m_dropped = 0;
    std::jthread m_thread; // last: started once everything above exists
};

} // namespace halvix
