#pragma once

// Binds one field of a Jet row, as mdb_crack_row leaves it, to a parameter of the INSERT
// that copies the row: each Jet type has its own step, and the value it binds is what
// the driver hands out for that type.

#include "storage/jet/jet_handles.h"
#include "storage/jet/jet_header.h"
#include "storage/jet/jet_long_value.h"
#include "storage/jet/jet_text.h"

#include <cstdint>

struct sqlite3_stmt;

namespace accessodbc {
namespace jet {

class FieldBinder {
public:
    FieldBinder(MdbHandle *mdb, const Header &header);

    void bind(sqlite3_stmt *insert, int parameter, MdbColumn *column, const MdbField &field);

private:
    void bindText(sqlite3_stmt *insert, int parameter, const unsigned char *bytes, size_t length);
    void bindNumeric(sqlite3_stmt *insert, int parameter, const MdbColumn &column, const MdbField &field);
    void bindFixed(sqlite3_stmt *insert, int parameter, int type, const unsigned char *value, int size);
    void bindCurrency(sqlite3_stmt *insert, int parameter, int64_t tenThousandths);
    void bindDateTime(sqlite3_stmt *insert, int parameter, const unsigned char *value);
    void bindLongValue(sqlite3_stmt *insert, int parameter, MdbColumn *column, const MdbField &field);

    MdbHandle *mdb_;
    TextDecoder text_;
    LongValueReader longValues_;
};

} // namespace jet
} // namespace accessodbc
