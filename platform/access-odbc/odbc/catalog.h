#pragma once

// The catalog functions, answered by SQL over SQLite's schema so that they come back
// as ordinary result sets.

#include "odbc/statement.h"

#include <string>

namespace accessodbc {

// SQL helpers the catalog queries use to describe a declared column type.
bool registerCatalogFunctions(sqlite3 *db);

// The arguments of SQLTables; a null one (nullptr) matches everything.
struct TablesRequest {
    const std::string *catalog = nullptr;
    const std::string *schema = nullptr;
    const std::string *table = nullptr;
    const std::string *tableTypes = nullptr;
};

// A null pattern argument (nullptr) matches everything.
SQLRETURN catalogTables(Statement *statement, const TablesRequest &request);
SQLRETURN catalogColumns(Statement *statement, const std::string *tablePattern, const std::string *columnPattern);
SQLRETURN catalogTypeInfo(Statement *statement, SQLSMALLINT dataType);

// The table is named exactly (not a pattern); an unknown table gives an empty result.
SQLRETURN catalogPrimaryKeys(Statement *statement, const std::string &table);
SQLRETURN catalogStatistics(Statement *statement, const std::string &table, SQLUSMALLINT unique);
SQLRETURN catalogSpecialColumns(Statement *statement, SQLUSMALLINT identifierType, const std::string &table);

} // namespace accessodbc
