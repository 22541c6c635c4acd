#include "campus/SnapshotApplier.h"

#include "campus/FileSwap.h"
#include "campus/Sha256.h"
#include "campus/SharedTables.h"
#include "campus/SoundRepair.h"
#include "common/PathText.h"
#include "common/TextFile.h"
#include "store/DatabaseFailure.h"

#include <sqlite3.h>

#include <cstdlib>
#include <set>
#include <system_error>

namespace halvix::campus {

namespace {

namespace fs = std::filesystem;

constexpr int kBusyTimeoutMs = 5000;
// Beside jbase.mdb while files are swapped in: the revision being applied. Found at a start with
// the database still at an older revision, the apply was cut short before its commit, and the
// files it kept are put back.
constexpr const char* kSwapSuffix = ".halvix-apply";
constexpr const char* kStateTable = "campusstate";

fs::path soundPath(const fs::path& voic, const std::string& name) {
    return voic / pathFromUtf8(name);
}

std::string quoted(const std::string& name) {
    std::string text = "\"";
    for (char c : name) {
        text += c;
        if (c == '"')
            text += '"';
    }
    return text + "\"";
}

std::string revisionProblem(std::uint64_t offered, std::uint64_t applied) {
    return "版本 " + std::to_string(offered) + " 不新于已应用的版本 " + std::to_string(applied);
}

// 0 when no revision is recorded; nothing when the database cannot be read.
std::optional<std::uint64_t> recordedRevision(sqlite3* db) {
    std::optional<std::uint64_t> revision;
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = std::string("select 值 from ") + kStateTable + " where 名称 = 'revision'";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        const int status = sqlite3_step(stmt);
        if (status == SQLITE_ROW)
            revision = static_cast<std::uint64_t>(sqlite3_column_int64(stmt, 0));
        else if (status == SQLITE_DONE)
            revision = 0;
    } else if (sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) ==
               SQLITE_OK) {
        revision = 0; // a readable database that never took part in a campus
    }
    sqlite3_finalize(stmt);
    return revision;
}

// The database connection of one apply; rolled back and closed unless committed.
class Transaction {
public:
    explicit Transaction(const fs::path& database) {
        if (sqlite3_open_v2(pathToUtf8(database).c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK) {
            m_problem = "无法打开数据库: " + (m_db ? databaseFailureText(m_db) : std::string());
            return;
        }
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        run("begin immediate");
    }
    ~Transaction() {
        if (m_db && !m_committed)
            sqlite3_exec(m_db, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool ok() const { return m_problem.empty(); }
    const std::string& problem() const { return m_problem; }

    bool run(const std::string& sql) {
        if (!ok())
            return false;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            m_problem = "数据库写入失败: " + databaseFailureText(m_db);
        return ok();
    }

    bool replaceTable(const SnapshotTable& table) {
        std::string columns;
        std::string declared;
        std::string marks;
        for (const std::string& column : table.columns) {
            columns += (columns.empty() ? "" : ",") + quoted(column);
            declared += (declared.empty() ? "" : ",") + quoted(column) + " TEXT";
            marks += marks.empty() ? "?" : ",?";
        }
        // A node's database from before the calendar lacks that table.
        if (!run("create table if not exists " + quoted(table.name) + " (" + declared + ")") ||
            !run("delete from " + quoted(table.name)))
            return false;
        return insertRows("insert into " + quoted(table.name) + " (" + columns + ") values (" + marks + ")",
                          table.columns.size(), table.cells);
    }

    bool recordRevision(std::uint64_t revision) {
        return run(std::string("create table if not exists ") + kStateTable +
                   " (名称 TEXT PRIMARY KEY, 值 TEXT)") &&
               insertRows(std::string("insert or replace into ") + kStateTable + " values (?, ?)", 2,
                          {"revision", std::to_string(revision)});
    }

    std::optional<std::uint64_t> revision() { return ok() ? recordedRevision(m_db) : std::nullopt; }

    bool commit() {
        if (run("commit"))
            m_committed = true;
        return m_committed;
    }

private:
    bool insertRows(const std::string& sql, std::size_t width, const TextList& cells) {
        if (!ok())
            return false;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            m_problem = "数据库写入失败: " + databaseFailureText(m_db);
            return false;
        }
        for (std::size_t start = 0; start + width <= cells.size() && ok(); start += width) {
            sqlite3_reset(stmt);
            for (std::size_t c = 0; c < width; ++c)
                sqlite3_bind_text(stmt, static_cast<int>(c + 1), cells[start + c].data(),
                                  static_cast<int>(cells[start + c].size()), SQLITE_TRANSIENT);
            if (sqlite3_step(stmt) != SQLITE_DONE)
                m_problem = "数据库写入失败: " + databaseFailureText(m_db);
        }
        sqlite3_finalize(stmt);
        return ok();
    }

    sqlite3* m_db = nullptr;
    std::string m_problem;
    bool m_committed = false;
};

} // namespace

std::vector<std::string> missingSounds(const fs::path& folder, const Snapshot& snapshot) {
    std::vector<std::string> missing;
    std::set<std::string> listed;
    for (const DamagedSound& damaged : damagedSounds(folder, snapshot))
        if (listed.insert(damaged.sound.sha256).second)
            missing.push_back(damaged.sound.sha256);
    return missing;
}

std::string applySnapshot(const fs::path& folder, const Snapshot& snapshot, const SoundBytes& bytes) {
    if (const auto applied = storedRevision(folder); applied && *applied >= snapshot.revision)
        return revisionProblem(snapshot.revision, *applied);
    const fs::path voic = folder / "voic";
    std::error_code error;
    fs::create_directories(voic, error);
    // Declared before the transaction, so that on failure the files are put back after the rollback.
    FileSwap files(voic);
    // Written beside their place before the database is locked: the bell keeps writing meanwhile.
    for (const SnapshotSound& sound : snapshot.sounds) {
        const fs::path target = soundPath(voic, sound.name);
        if (fileHasSha256(target, sound.sha256))
            continue;
        const auto found = bytes.find(sound.sha256);
        if (found == bytes.end())
            return "缺少声音 " + sound.name + " 的内容";
        if (found->second.size() != sound.size || sha256Hex(found->second) != sound.sha256)
            return "声音 " + sound.name + " 的内容与其 SHA-256 或大小不符";
        if (std::string problem = files.stage(target, found->second, sound.name, true); !problem.empty())
            return problem;
    }
    if (std::string problem = files.stage(folder / "xqno.txt", snapshot.week, "xqno.txt", false);
        !problem.empty())
        return problem;

    Transaction transaction(folder / "jbase.mdb");
    if (!transaction.ok())
        return transaction.problem();
    // Again under the write lock, so that two applies cannot both pass it.
    if (const auto applied = transaction.revision(); applied && *applied >= snapshot.revision)
        return revisionProblem(snapshot.revision, *applied);
    if (std::string problem = files.swapIn(besideWith(folder / "jbase.mdb", kSwapSuffix), snapshot.revision);
        !problem.empty())
        return problem;
    for (const SnapshotTable& table : snapshot.tables) {
        if (!findSharedTable(table.name))
            return "表 " + table.name + " 不是共享的表";
        if (!transaction.replaceTable(table))
            return transaction.problem();
    }
    if (!transaction.recordRevision(snapshot.revision) || !transaction.commit())
        return transaction.problem();
    files.keep();
    return {};
}

namespace {

// The file a leftover of kKeptSuffix stood for: ".上课.mp3.halvix-old" -> "上课.mp3".
fs::path keptTarget(const fs::path& kept) {
    const std::string name = pathToUtf8(kept.filename());
    return kept.parent_path() /
           pathFromUtf8(name.substr(1, name.size() - 1 - std::string(kKeptSuffix).size()));
}

// True when an apply was cut short after it swapped files in and before its commit: the files it
// kept are the ones that belong to the tables. Nothing known (no note, no readable database): false.
bool cutBeforeCommit(const fs::path& folder, const fs::path& swapNote) {
    const auto note = readFileContent(swapNote);
    if (!note)
        return false;
    const auto applied = storedRevision(folder);
    return applied && *applied < std::strtoull(note->c_str(), nullptr, 10);
}

} // namespace

std::optional<std::uint64_t> storedRevision(const fs::path& folder) {
    sqlite3* db = nullptr;
    std::optional<std::uint64_t> revision;
    if (sqlite3_open_v2(pathToUtf8(folder / "jbase.mdb").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        revision = recordedRevision(db);
    }
    sqlite3_close_v2(db);
    return revision;
}

bool storeRevision(const fs::path& folder, std::uint64_t revision) {
    Transaction transaction(folder / "jbase.mdb");
    return transaction.recordRevision(revision) && transaction.commit();
}

void removeApplyLeftovers(const fs::path& folder) {
    std::vector<fs::path> leftovers;
    std::error_code error;
    std::error_code ignored;
    const fs::path swapNote = besideWith(folder / "jbase.mdb", kSwapSuffix);
    const bool putBack = cutBeforeCommit(folder, swapNote);
    for (const char* suffix : {kStagedSuffix, kKeptSuffix})
        if (const fs::path file = besideWith(folder / "xqno.txt", suffix);
            fs::exists(fs::symlink_status(file, error)))
            leftovers.push_back(file);
    for (fs::recursive_directory_iterator it(folder / "voic", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = pathToUtf8(it->path().filename());
        const auto endsWith = [&name](const std::string& suffix) {
            return name.size() > suffix.size() &&
                   name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        if (name.front() == '.' && (endsWith(kStagedSuffix) || endsWith(kKeptSuffix)))
            leftovers.push_back(it->path());
    }
    bool allBack = true;
    std::set<fs::path> putBackInto;
    for (const fs::path& file : leftovers) {
        if (!putBack || !pathToUtf8(file.filename()).ends_with(kKeptSuffix)) {
            fs::remove(file, ignored);
            continue;
        }
        // A file that cannot be put back stays kept, and so does the note, for the next start.
        fs::rename(file, keptTarget(file), error);
        allBack = allBack && !error;
        putBackInto.insert(file.parent_path());
        // Killed before its swap, the kept file is a second link to the target, and a rename
        // between two links of one file leaves both: the spare link goes.
        if (!error)
            fs::remove(file, ignored);
    }
    // The files put back are on the disk before the note that would put them back again goes.
    std::string unflushed;
    for (const fs::path& into : putBackInto)
        allBack = flushToDisk(into, unflushed) && allBack;
    if (allBack)
        fs::remove(swapNote, ignored);
}

} // namespace halvix::campus
