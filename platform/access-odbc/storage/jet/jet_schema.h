#pragma once

// How a Jet table reappears in the in-memory SQLite database: its name, its columns and
// the declared type of each, which gives the value its SQLite affinity and, through the
// driver's type mapping, its ODBC type.

#include "storage/jet/jet_handles.h"
#include "storage/jet/jet_header.h"

#include <string>
#include <vector>

namespace accessodbc {
namespace jet {

// Two stages of a table's definition. Rows are copied into the loading one, in which a
// Currency column has no affinity, so that the exact text of a value too long for a
// double stays text, and a Required column takes NULLs, which Access keeps when Required
// was set after them. The described one is what SQL and the catalog functions see: the
// declared Currency type and NOT NULL; it replaces the loading one once the rows are in.
enum class Stage { Loading, Described };

std::string declaredType(const MdbColumn &column, Kind kind, Stage stage = Stage::Described);

// CREATE TABLE with the columns and the primary key, at the given stage.
std::string createTableStatement(const MdbTableDef &table, Kind kind, Stage stage);

// The statements that create the table, run in order before any row is copied: the
// CREATE TABLE of the loading stage first, then an index for each of the table's other
// indexes (named "<table>.<index>", as SQLite's index names are the database's, not the
// table's). The indexes must have been read (mdb_read_indices).
std::vector<std::string> schemaStatements(const MdbTableDef &table, Kind kind);

// INSERT INTO the table with one parameter per column, in the columns' order.
std::string insertStatement(const MdbTableDef &table);

} // namespace jet
} // namespace accessodbc
