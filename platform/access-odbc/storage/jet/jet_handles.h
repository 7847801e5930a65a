#pragma once

// libmdb, as the Jet loader includes it, and owning pointers for the libmdb objects it
// works with (the SQLite ones are in sqlite_support.h), so that every early return on a
// damaged file frees what was read so far.

#include "storage/sqlite_support.h"

#include <memory>

// After the C++ headers: in C++, glib (which it includes) would otherwise pull them in
// inside the extern "C" block that mdbtools.h opens.
#include <mdbtools.h>

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

inline MdbColumn *columnAt(const MdbTableDef *table, unsigned i)
{
    return static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
}

} // namespace jet
} // namespace accessodbc
