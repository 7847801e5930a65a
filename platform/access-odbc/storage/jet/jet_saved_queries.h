#pragma once

// The saved queries of a Jet database: MSysQueries keeps each as rows of its parts (the
// input tables, the output columns, the joins, the criteria, the grouping and the
// order), from which the Access SQL it stands for is put together again.

#include "storage/jet/jet_catalog.h"
#include "storage/storage.h"

#include <vector>

namespace accessodbc {
namespace jet {

// One per saved query the catalog lists and MSysQueries holds; none when MSysQueries
// cannot be read, which leaves the tables readable all the same.
std::vector<SavedQuery> readSavedQueries(MdbHandle *mdb, const Header &header, const SavedQueryObjects &objects);

} // namespace jet
} // namespace accessodbc
