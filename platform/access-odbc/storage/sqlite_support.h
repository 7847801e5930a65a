#pragma once

// Owning pointers for SQLite connections and statements, so that every early return
// closes what was opened so far, and running SQL that returns no rows.

#include <sqlite3.h>

#include <memory>
#include <string>

namespace accessodbc {

struct SqliteCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using SqlitePointer = std::unique_ptr<sqlite3, SqliteCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using StatementPointer = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Runs every statement of sql; on failure, error (when given) says why.
bool executeSql(sqlite3 *db, const std::string &sql, std::string *error);

} // namespace accessodbc
