#pragma once

// The user tables of a Jet database, read from its catalog, the table MSysObjects on
// page 2. mdb_read_catalog is not used: it follows the page chains of every object's
// property block without end and parses the blocks trusting their lengths. Here the
// catalog is read as any other table, only the user tables' property blocks are read,
// and each is checked before libmdb parses it.

#include "storage/jet/jet_handles.h"
#include "storage/jet/jet_header.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace accessodbc {
namespace jet {

// The saved queries the catalog lists, by the ObjectId their rows in MSysQueries carry,
// and the definition page of MSysQueries (0 when the catalog has none).
struct SavedQueryObjects {
    std::vector<std::pair<int32_t, std::string>> queries;
    unsigned long rowsPage = 0;
};

// Fills mdb->catalog with one entry per user table, which mdb_close frees, and queries
// with the saved queries; the detail says, as a sentence, why the catalog cannot be read.
bool readUserTables(MdbHandle *mdb, const Header &header, SavedQueryObjects *queries, std::string *detail);

} // namespace jet
} // namespace accessodbc
