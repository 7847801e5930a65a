#pragma once

// libmdb, as the Jet loader includes it, and owning pointers for the libmdb and SQLite
// objects it works with, so that every early return on a damaged file frees what was
// read so far.

#include <memory>

// After the C++ headers: in C++, glib (which it includes) would otherwise pull them in
// inside the extern "C" block that mdbtools.h opens.
#include <mdbtools.h>
#include <sqlite3.h>

namespace accessodbc {
namespace jet {

struct MdbCloser {
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
using MdbPointer = std::unique_ptr<MdbHandle, MdbCloser>;

struct TableCloser {
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
using TablePointer = std::unique_ptr<MdbTableDef, TableCloser>;

struct SqliteCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using SqlitePointer = std::unique_ptr<sqlite3, SqliteCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using StatementPointer = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

inline MdbColumn *columnAt(const MdbTableDef *table, unsigned i)
{
    return static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
}

} // namespace jet
} // namespace accessodbc
