// Randomized runs over one database file held by several connections of the process (the first of
// them read-only) while other processes read and write it and the process opens and closes its
// files elsewhere. With the database locks kept, the process's connections lock as one: a write
// waits only for a reader of the process where SQLite says so, every row is seen by every reader,
// another process never writes while a transaction of the process forbids it, and it always can
// when none does. Both journal kinds the program uses: the plan's rollback journal, the ring log's
// WAL.
#include "store/DatabaseLocks.h"
#include "support/DatabaseFaults.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace halvix {
namespace {

namespace fs = std::filesystem;

constexpr int kConnections = 3; // the first read-only
constexpr int kSteps = 200;

struct Connection {
    sqlite3* db = nullptr;
    bool reading = false; // inside BEGIN ... COMMIT, having read
};

// One file, its connections in the process and the rows it must hold.
class SharedFile {
public:
    SharedFile(fs::path file, bool wal) : m_file(std::move(file)), m_wal(wal) {
        const std::string mode = wal ? "wal" : "delete";
        EXPECT_EQ(
            test::sqliteShell(m_file, "pragma journal_mode=" + mode + "; create table t (v integer);").output,
            mode + "\n");
    }
    ~SharedFile() {
        for (Connection& connection : m_connections)
            sqlite3_close(connection.db);
    }

    int rows() const { return m_rows; }
    bool anyoneReading() const {
        for (const Connection& connection : m_connections)
            if (connection.reading)
                return true;
        return false;
    }

    Connection& opened(int index) {
        Connection& connection = m_connections[static_cast<std::size_t>(index)];
        if (!connection.db) {
            const int flags = index == 0 ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
            EXPECT_EQ(sqlite3_open_v2(m_file.c_str(), &connection.db, flags, nullptr), SQLITE_OK);
            // Short: an expected wait for another connection of the process is part of the run.
            sqlite3_busy_timeout(connection.db, 20);
        }
        return connection;
    }

    int count(sqlite3* db) {
        sqlite3_stmt* statement = nullptr;
        int counted = -1;
        if (sqlite3_prepare_v2(db, "select count(*) from t", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            counted = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        return counted;
    }

    // A row from a writing connection. In rollback mode the commit waits in vain while another
    // connection of the process reads; in WAL mode readers never stop it.
    void append(int index) {
        Connection& connection = opened(index);
        const bool refused = !m_wal && anyoneReading();
        const int result = sqlite3_exec(connection.db, "insert into t values (1)", nullptr, nullptr, nullptr);
        EXPECT_EQ(result, refused ? SQLITE_BUSY : SQLITE_OK) << sqlite3_errmsg(connection.db);
        if (result == SQLITE_OK)
            ++m_rows;
    }

    void beginReading(int index) {
        Connection& connection = opened(index);
        EXPECT_EQ(sqlite3_exec(connection.db, "begin", nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_EQ(count(connection.db), m_rows);
        connection.reading = true;
    }

    void endReading(int index) {
        Connection& connection = opened(index);
        EXPECT_EQ(sqlite3_exec(connection.db, "commit", nullptr, nullptr, nullptr), SQLITE_OK);
        connection.reading = false;
    }

    void close(int index) {
        Connection& connection = m_connections[static_cast<std::size_t>(index)];
        if (connection.reading)
            endReading(index);
        EXPECT_EQ(sqlite3_close(connection.db), SQLITE_OK);
        connection.db = nullptr;
    }

    // One of the database's files there are (itself, its -wal, -shm or -journal), opened and closed
    // elsewhere in the process.
    void sniff(unsigned which) {
        std::vector<std::string> names;
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            if (fs::exists(m_file.string() + suffix))
                names.push_back(m_file.string() + suffix);
        const int fd = ::open(names[which % names.size()].c_str(), O_RDONLY);
        if (fd >= 0)
            ::close(fd);
    }

    void readOutside() {
        EXPECT_EQ(test::sqliteShell(m_file, "select count(*) from t").output, std::to_string(m_rows) + "\n");
    }

    // Another process writes unless a reader of the process holds the rollback-journal file.
    void writeOutside() {
        const bool refused = !m_wal && anyoneReading();
        const test::ShellAnswer answer = test::sqliteShell(m_file, "insert into t values (2)");
        EXPECT_EQ(answer.status == 0, !refused) << answer.output;
        if (answer.status == 0)
            ++m_rows;
    }

    // While a connection of the process holds a write transaction, another process cannot write.
    void writeOutsideDuringOwnWrite(int index) {
        Connection& connection = opened(index);
        EXPECT_EQ(sqlite3_exec(connection.db, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
        const test::ShellAnswer answer = test::sqliteShell(m_file, "insert into t values (3)");
        EXPECT_NE(answer.status, 0);
        EXPECT_NE(answer.output.find("locked"), std::string::npos) << answer.output;
        EXPECT_EQ(sqlite3_exec(connection.db, "rollback", nullptr, nullptr, nullptr), SQLITE_OK);
    }

    bool reading(int index) const { return m_connections[static_cast<std::size_t>(index)].reading; }

private:
    fs::path m_file;
    bool m_wal;
    std::array<Connection, kConnections> m_connections;
    int m_rows = 0;
};

void runSteps(SharedFile& shared, unsigned seed) {
    std::mt19937 random(seed);
    std::discrete_distribution<int> kinds({25, 20, 20, 4, 10, 6, 6, 5});
    std::uniform_int_distribution<int> anyConnection(0, kConnections - 1);
    std::uniform_int_distribution<int> writer(1, kConnections - 1);
    // The read-only connection first: the others then open a file first opened read-only.
    shared.opened(0);
    for (int step = 0; step < kSteps && !testing::Test::HasFailure(); ++step) {
        const int kind = kinds(random);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step) + ", kind " +
                     std::to_string(kind));
        const int connection = kind == 0 || kind == 7 ? writer(random) : anyConnection(random);
        switch (kind) {
        case 0:
            if (!shared.reading(connection))
                shared.append(connection);
            break;
        case 1:
            if (!shared.reading(connection))
                shared.beginReading(connection);
            break;
        case 2:
            if (shared.reading(connection))
                shared.endReading(connection);
            break;
        case 3:
            shared.close(connection);
            break;
        case 4:
            shared.sniff(static_cast<unsigned>(random()));
            break;
        case 5:
            shared.readOutside();
            break;
        case 6:
            shared.writeOutside();
            break;
        default:
            if (!shared.reading(connection))
                shared.writeOutsideDuringOwnWrite(connection);
            break;
        }
    }
}

// Descriptors of this process still leading to `file`.
int descriptorsOf(const fs::path& file) {
    int found = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        found += fs::read_symlink(entry.path(), error) == file ? 1 : 0;
    }
    return found;
}

class SharedConnections : public testing::TestWithParam<bool> {};

TEST_P(SharedConnections, LockAsOneProcessAndKeepOthersOut) {
    ASSERT_TRUE(keepDatabaseLocks());
    for (const unsigned seed : {1u, 2u, 3u}) {
        test::TempFolder folder;
        const fs::path file = folder / "shared.db";
        int rows = 0;
        {
            SharedFile shared(file, GetParam());
            runSteps(shared, seed);
            rows = shared.rows();
        }
        EXPECT_EQ(test::sqliteShell(file, "select count(*) from t").output, std::to_string(rows) + "\n");
        EXPECT_EQ(descriptorsOf(file), 0) << "a descriptor outlived its connections";
    }
}

INSTANTIATE_TEST_SUITE_P(Journals, SharedConnections, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& journal) {
                             return journal.param ? std::string("Wal") : std::string("RollbackJournal");
                         });

} // namespace
} // namespace halvix
