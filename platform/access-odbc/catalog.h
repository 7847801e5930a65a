#pragma once

// The catalog functions, answered by SQL over SQLite's schema so that they come back
// as ordinary result sets.

#include "statement.h"

#include <string>

namespace accessodbc {

// SQL helpers the catalog queries use to describe a declared column type.
bool registerCatalogFunctions(sqlite3 *db);

// A null pattern argument (nullptr) matches everything.
SQLRETURN catalogTables(Statement *statement, const std::string *tablePattern, const std::string *tableTypes);
SQLRETURN catalogColumns(Statement *statement, const std::string *tablePattern, const std::string *columnPattern);
SQLRETURN catalogTypeInfo(Statement *statement, SQLSMALLINT dataType);

} // namespace accessodbc
