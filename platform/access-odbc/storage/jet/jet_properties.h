#pragma once

// The property block Jet keeps with each object in the catalog (its column LvProp): a
// "KKD" (Jet 3) or "MR2" (Jet 4) block of records, one naming the properties, the others
// holding the values of a table's and its columns' properties. libmdb parses it with
// mdb_kkd_to_props, trusting every length in it: a length of 0 loops for ever and a
// length past the end reads past the block. So a block is walked here first, as
// libmdb walks it, and handed on only if every step stays inside it.

#include <cstddef>

namespace accessodbc {
namespace jet {

bool propertyBlockWalkable(const unsigned char *block, size_t length);

} // namespace jet
} // namespace accessodbc
