#pragma once

namespace halvix {

// Keeps SQLite's locks on every database of the process (jbase.mdb, ringlog.db, their -wal, -shm
// and journals) however the rest of the process opens and closes those files.
//
// SQLite locks with POSIX record locks, which belong to the process and the file: closing any
// descriptor of the file anywhere in the process (a file dialog looking at the folder's files, a
// sound check) drops them all, and another process may then delete the -wal the program still
// writes to. Installed, SQLite locks with Linux's open-file-description locks instead, which only
// the close of SQLite's own last descriptor of the file releases, and which still conflict with the
// POSIX locks of other processes. Because such locks would also conflict between two descriptions
// of one file within the process, every descriptor SQLite opens on a file it already has open is a
// duplicate of the first, so its locks behave as the process's POSIX locks did.
//
// Call once at the start of a program, before any thread starts and before any database opens.
// True when installed (or already installed); false where the system has no such locks, and then
// nothing changes.
bool keepDatabaseLocks();

// Whether SQLite locks this way now.
bool databaseLocksKept();

} // namespace halvix
