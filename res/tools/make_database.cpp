// Build tool: runs an SQL script into a new database file, but only when that file does not exist
// yet, so a user's database in the program folder is never touched. The database is written under
// a temporary name and renamed into place when complete: an interrupted build leaves no half file.
//
// Usage: make_database SCRIPT.sql DATABASE
// Exit status 0 when the database exists afterwards, 1 on any failure (with the reason on stderr).

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

int fail(const std::string& what) {
    std::fprintf(stderr, "make_database: %s\n", what.c_str());
    return 1;
}

bool readWhole(const fs::path& file, std::string& text) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Creates `target` and runs `script` in it as one transaction; the reason on failure.
std::string runScript(const fs::path& target, const std::string& script) {
    sqlite3* db = nullptr;
    // SQLite takes the name in UTF-8, not in the system's narrow code page.
    const std::u8string name = target.u8string();
    int rc = sqlite3_open_v2(std::string(name.begin(), name.end()).c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::string error;
    if (rc != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    } else {
        const std::string wrapped = "BEGIN;\n" + script + "\nCOMMIT;";
        char* message = nullptr;
        if (sqlite3_exec(db, wrapped.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            error = message ? message : sqlite3_errmsg(db);
            sqlite3_free(message);
        }
    }
    if (sqlite3_close(db) != SQLITE_OK && error.empty())
        error = "the database could not be closed";
    return error;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return fail("usage: make_database SCRIPT.sql DATABASE");
    const fs::path scriptFile = argv[1];
    const fs::path target = argv[2];

    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec)))
        return 0;

    std::string script;
    if (!readWhole(scriptFile, script))
        return fail("cannot read " + scriptFile.string());

    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    // A fixed temporary name: whatever an interrupted run left there is thrown away first.
    fs::path partial = target;
    partial += ".part";
    fs::remove(partial, ec);

    const std::string error = runScript(partial, script);
    if (!error.empty()) {
        fs::remove(partial, ec);
        return fail(target.string() + ": " + error);
    }
    fs::rename(partial, target, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(partial, ec);
        return fail("cannot rename into " + target.string() + ": " + reason);
    }
    return 0;
}
