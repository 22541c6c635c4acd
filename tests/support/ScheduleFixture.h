#pragma once

#include "support/PlanTitles.h"
#include "support/TempFolder.h"

#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace halvix::test {

// A program folder with a jbase.mdb that holds the twelve tables, empty but for the one-value
// tables. SQL runs straight through SQLite so the fixture does not depend on the code under test.
class ScheduleFixture {
public:
    ScheduleFixture() {
        static const char* planTables[] = {"cjtime",     "zccjtime", "qjtime",   "zcqjtime", "fridtime",
                                           "sundaytime", "kscjtime", "ksqjtime", "sjtime"};
        std::string columns;
        for (const std::string& title : kPlanTitles)
            columns += (columns.empty() ? " (" : ", ") + title + " TEXT";
        std::string schema;
        for (const char* t : planTables)
            schema += std::string("create table ") + t + columns + ");";
        schema += "create table lxtime (类型 TEXT); insert into lxtime values ('1');"
                  "create table jjtime (季节 TEXT); insert into jjtime values ('1');"
                  "create table settable (初一听力 TEXT, 初二听力 TEXT, 初三听力 TEXT, 进场到发卡 TEXT,"
                  " 发卡到开袋 TEXT, 开袋到发卷 TEXT, 发卷到答题 TEXT, 倒计时 TEXT);"
                  "insert into settable values ('10','10','10','3','2','3','5','15');";
        run(schema);
    }

    const std::filesystem::path& folder() const { return m_folder.path(); }
    std::filesystem::path database() const { return m_folder.path() / "jbase.mdb"; }
    const TempFolder& temp() const { return m_folder; }

    // SQLite takes file names in UTF-8 on every system.
    std::string databaseName() const {
        const std::u8string name = database().u8string();
        return std::string(name.begin(), name.end());
    }

    void run(const std::string& sql) const {
        sqlite3* db = nullptr;
        sqlite3_open(databaseName().c_str(), &db);
        char* error = nullptr;
        const int status = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        const std::string message = error ? error : "";
        sqlite3_free(error);
        sqlite3_close(db);
        if (status != SQLITE_OK)
            throw std::runtime_error("fixture SQL failed: " + message + " in " + sql);
    }

    // Every row of a query, each cell as SQLite's text of it ("<null>" for NULL).
    std::vector<std::vector<std::string>> rows(const std::string& sql) const {
        std::vector<std::vector<std::string>> out;
        sqlite3* db = nullptr;
        sqlite3_open(databaseName().c_str(), &db);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                std::vector<std::string> row;
                for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                    const unsigned char* text = sqlite3_column_text(stmt, c);
                    row.emplace_back(text ? reinterpret_cast<const char*>(text) : "<null>");
                }
                out.push_back(std::move(row));
            }
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return out;
    }

    // Inserts plan rows (number, date, time, event, sound, status, extra) into a plan table.
    void insertPlan(const std::string& table, const std::vector<std::vector<std::string>>& planRows) const {
        std::string sql;
        for (const auto& row : planRows) {
            sql += "insert into " + table + " values (";
            for (std::size_t c = 0; c < row.size(); ++c)
                sql += (c ? ",'" : "'") + row[c] + "'";
            sql += ");";
        }
        run(sql);
    }

    void writeWeekFile(const std::string& text) const { m_folder.write("xqno.txt", text); }

private:
    TempFolder m_folder;
};

} // namespace halvix::test
