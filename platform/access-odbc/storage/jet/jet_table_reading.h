#pragma once

// Reading a table through libmdb without trusting what a damaged file gives it: the
// definition is checked for what fetching rows relies on, each row is cracked again
// where it lies, and the rows found are checked against the count the definition keeps.

#include "storage/jet/jet_handles.h"

#include <string>

namespace accessodbc {
namespace jet {

// The details are sentences of the refusal that follows the file's name.
std::string damaged(const std::string &what);

TablePointer readTableDefinition(MdbCatalogEntry *entry, std::string *detail);

// After mdb_fetch_row: the row's fields with NULL told from empty, which the values
// libmdb records for bound columns do not.
bool crackCurrentRow(MdbTableDef *table, MdbField *fields);

// Fewer rows found than the definition counts means pages are missing: a file cut at a
// page boundary reads as if those rows never existed, and a sync must not take a part
// of a table for the whole.
bool rowsAllThere(const MdbTableDef &table, unsigned found, std::string *detail);

} // namespace jet
} // namespace accessodbc
