#pragma once

#include "store/TextTable.h"

#include <cstddef>
#include <filesystem>
#include <string>

struct sqlite3;

namespace halvix {

class MessageSink;

// The only way the program reaches its database, the file "jbase.mdb" (SQLite inside) in the
// program folder. One object per user action: construct, open, work, close. Failures never throw:
// each is shown through the sink, one line in Chinese (see DatabaseFailure.h), and becomes a false
// result. A file that opens without the table lxtime is no database of this program's: it is
// refused as a damaged one is, and never written.
class ScheduleDatabase {
public:
    static constexpr const char* kFileName = "jbase.mdb";
    // What a read found: rows, none, or a failure that was reported.
    enum class ReadResult { Rows, NoRows, Failed };

    ScheduleDatabase(std::filesystem::path folder, MessageSink& sink);
    virtual ~ScheduleDatabase();
    ScheduleDatabase(const ScheduleDatabase&) = delete;
    ScheduleDatabase& operator=(const ScheduleDatabase&) = delete;

    void open();
    void close();
    bool isOpen() const { return m_db != nullptr; }

    bool execute(const std::string& sql);
    // "select * from <table>" in the table's own order. False when no row: then only `names` is
    // set (the columns of the empty table) and `values` is untouched.
    bool loadTable(const std::string& table, TextList& names, TextList& values);
    bool query(TextList& names, TextList& values, const std::string& sql);
    // As query, telling an empty result from a failure. `names` is set whenever the query ran.
    ReadResult queryRows(TextList& names, TextList& values, const std::string& sql);
    // Deletes every row and inserts values row by row, in one transaction: on any failure the
    // table keeps its old rows. An empty list changes nothing and returns false.
    bool replaceRows(const std::string& table, std::size_t columnCount, const TextList& values);
    // Empties the table in one transaction (saving an empty list). False, with messages, on failure.
    bool clearTable(const std::string& table);
    bool databaseMissing() const;

    // A read-modify-write as one transaction: beginWrite takes the write lock first (so nobody
    // writes between the read and the write), commitWrite keeps the changes, rollbackWrite drops
    // them. replaceRows and clearTable in between become part of it. Failures go to the sink.
    bool beginWrite();
    bool commitWrite();
    void rollbackWrite();

    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path filePath() const { return m_folder / kFileName; }

private:
    enum class State { Unopened, Open, Closed };

    // Only an object that was never opened opens itself on first use.
    bool ensureOpen();
    ReadResult readRows(const std::string& sql, TextList& names, TextList& values);
    bool rewriteTable(const std::string& table, std::size_t columnCount, const TextList& values);
    bool writeRows(const std::string& table, std::size_t columnCount, const TextList& values,
                   std::string& reason);

    std::filesystem::path m_folder;
    MessageSink& m_sink;
    sqlite3* m_db = nullptr;
    State m_state = State::Unopened;
    bool m_openFailed = false; // and said why: what fails for want of it adds nothing
};

// While one lives on a thread, the databases that thread opens wait at most `ms` for a lock that
// another program holds, instead of five seconds: a load on the bell's tick fails at once and is
// tried again later rather than holding up the ticks. Limits nest; the previous one returns.
class DatabaseWaitLimit {
public:
    explicit DatabaseWaitLimit(int ms);
    ~DatabaseWaitLimit();
    DatabaseWaitLimit(const DatabaseWaitLimit&) = delete;
    DatabaseWaitLimit& operator=(const DatabaseWaitLimit&) = delete;

private:
    int m_previous;
};

} // namespace halvix
