// The smallest service of ours, for the memory measured next to halvix-service: a QCoreApplication
// that opens the same SQLite file, reads one table and waits on its event loop until ended.
// Usage: reference_core DATABASE
#include <QCoreApplication>

#include <sqlite3.h>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: reference_core DATABASE\n", stderr);
        return 2;
    }
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(argv[1], &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_exec(database, "select * from cjtime", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "reference_core: %s\n", sqlite3_errmsg(database));
        return 2;
    }
    return QCoreApplication::exec();
}
