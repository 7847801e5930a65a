#pragma once

// How a Jet table reappears in the in-memory SQLite database: its name, its columns and
// the declared type of each, which gives the value its SQLite affinity and, through the
// driver's type mapping, its ODBC type.

#include "jet/jet_handles.h"
#include "jet/jet_header.h"

#include <string>
#include <vector>

namespace accessodbc {
namespace jet {

std::string quotedIdentifier(const std::string &name);

std::string declaredType(const MdbColumn &column, Kind kind);

// One column of CREATE TABLE: its quoted name and declared type.
std::string columnDefinition(const MdbColumn &column, Kind kind);

// The statements that create the table, run in order before any row is copied: the
// CREATE TABLE first, then whatever else the table's definition asks for.
std::vector<std::string> schemaStatements(const MdbTableDef &table, Kind kind);

// INSERT INTO the table with one parameter per column, in the columns' order.
std::string insertStatement(const MdbTableDef &table);

} // namespace jet
} // namespace accessodbc
