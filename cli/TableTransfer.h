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

// The plan rows of a CSV file's lines (as CsvFile::readLines gives them): the first line is the
// title line; blank lines are skipped; every other line holds the seven cells of a plan row with a
// time the bell can ring (HH:MM or HH:MM:SS) and a sound that may lie in "voic" (soundTextRefusal:
// no absolute path, no "..", no control character). The note (备注) is the rest of the line, commas
// included, without the one comma that ends a written line. Rows are renumbered 1, 2, 3, ... as the
// dialog's import does. False at the first bad line, named in `error` ("第5行: ..."), with `cells`
// untouched.
bool readPlanLines(const std::vector<TextList>& lines, TextList& cells, std::string& error);

// Writes the table to `file` as the data dialog exports it (titles first). False with the reason.
bool exportTable(const std::filesystem::path& folder, const std::string& table,
                 const std::filesystem::path& file, MessageSink& sink, std::string& error);
// Checks every line of `file` first; only a file without a bad line replaces the table, in one
// transaction. False with the reason (the first bad line) and the table as it was.
bool importTable(const std::filesystem::path& folder, const std::string& table,
                 const std::filesystem::path& file, MessageSink& sink, std::string& error, int& rows);

} // namespace halvix
