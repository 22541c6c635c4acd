#pragma once

#include "store/TextTable.h"

#include <filesystem>
#include <string>
#include <vector>

namespace halvix {

class MessageSink;

// The tables the command line moves to and from CSV files: the data dialog's nine plan tables and
// the school calendar ("calendar"), in the dialog's file form.
TextList transferTableNames();
bool isTransferTable(const std::string& table);

// Writes the table to `file` as the data dialog exports it (titles first). False with the reason.
bool exportTable(const std::filesystem::path& folder, const std::string& table,
                 const std::filesystem::path& file, MessageSink& sink, std::string& error);
// Whether an import may leave the table empty: a file without rows empties it only when asked.
enum class ImportRows { AtLeastOne, MayBeNone };

// Checks every line of `file` first (a first line is the title line only when it reads as the
// titles); only a file without a bad line replaces the table, in one transaction. False with the
// reason (the first bad line, or a file without rows when they must be some) and the table as it was.
bool importTable(const std::filesystem::path& folder, const std::string& table,
                 const std::filesystem::path& file, ImportRows allowed, MessageSink& sink, std::string& error,
                 int& rows);

} // namespace halvix
