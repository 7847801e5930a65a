#include "storage/jet/jet_long_value.h"

#include <cstring>

namespace accessodbc {
namespace jet {

LongValueReader::LongValueReader(MdbHandle *mdb) : mdb_(mdb), chunk_(size_t(MDB_PGSIZE) * 2) {}

bool LongValueReader::read(MdbColumn *column, const MdbField &field, std::string *out)
{
    if (field.siz < MDB_MEMO_OVERHEAD)
        return false;
    unsigned char reference[MDB_MEMO_OVERHEAD];
    std::memcpy(reference, field.value, sizeof reference);
    // The first three bytes of the reference are the length, the fourth its flags.
    const size_t declared = size_t(reference[0]) | size_t(reference[1]) << 8 | size_t(reference[2]) << 16;

    column->cur_value_start = field.start;
    column->cur_value_len = field.siz;
    // libmdb reads each part into the column's bound buffer; binding it only here keeps
    // mdb_fetch_row from converting the column to text on every row.
    column->bind_ptr = chunk_.data();
    size_t got = mdb_ole_read(mdb_, column, reference, chunk_.size());
    while (got > 0 && got <= chunk_.size() && out->size() + got <= declared) {
        out->append(chunk_.data(), got);
        got = mdb_ole_read_next(mdb_, column, reference);
    }
    column->bind_ptr = nullptr;
    return true;
}

} // namespace jet
} // namespace accessodbc
