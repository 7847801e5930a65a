#pragma once

// Memo, OLE and property values: a 12-byte reference in the row, the data in the row
// itself, on one other page, or in a chain of pages.

#include "storage/jet/jet_handles.h"

#include <string>
#include <vector>

namespace accessodbc {
namespace jet {

class LongValueReader {
public:
    explicit LongValueReader(MdbHandle *mdb);

    // The whole value; false when the field is too short to hold a reference. The
    // length the reference declares bounds the reading, so a damaged chain that loops
    // back on itself ends instead of growing without limit.
    bool read(MdbColumn *column, const MdbField &field, std::string *out);

private:
    MdbHandle *mdb_;
    // libmdb reads one page's worth at a time into here.
    std::vector<char> chunk_;
};

} // namespace jet
} // namespace accessodbc
