#include "storage/jet/jet_field_binder.h"
#include "values/datetime.h"
#include "storage/jet/jet_values.h"
#include "values/numbers.h"

#include <sqlite3.h>

namespace accessodbc {
namespace jet {
namespace {

int fixedSize(int type)
{
    switch (type) {
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
        return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    case MDB_REPID:
        return 16;
    case MDB_NUMERIC:
        return 17;
    default:
        return 0;
    }
}

} // namespace

FieldBinder::FieldBinder(MdbHandle *mdb, const Header &header)
    : mdb_(mdb), text_(header.kind, header.codePage), longValues_(mdb)
{
}

void FieldBinder::bind(sqlite3_stmt *insert, int parameter, MdbColumn *column, const MdbField &field)
{
    const auto *value = static_cast<const unsigned char *>(field.value);
    // A Yes/No field has no bytes of its own: its value is its bit in the null mask.
    if (column->col_type == MDB_BOOL) {
        sqlite3_bind_int(insert, parameter, field.is_null ? 0 : 1);
        return;
    }
    if (field.is_null || !value || field.siz < 0) {
        sqlite3_bind_null(insert, parameter);
        return;
    }
    switch (column->col_type) {
    case MDB_TEXT:
        bindText(insert, parameter, value, size_t(field.siz));
        return;
    case MDB_MEMO:
    case MDB_OLE:
        bindLongValue(insert, parameter, column, field);
        return;
    case MDB_BINARY:
        sqlite3_bind_blob(insert, parameter, value, field.siz, SQLITE_TRANSIENT);
        return;
    case MDB_NUMERIC:
        bindNumeric(insert, parameter, *column, field);
        return;
    default:
        bindFixed(insert, parameter, column->col_type, value, field.siz);
    }
}

void FieldBinder::bindText(sqlite3_stmt *insert, int parameter, const unsigned char *bytes, size_t length)
{
    sqlite3_bind_text(insert, parameter, text_.decode(bytes, length).c_str(), -1, SQLITE_TRANSIENT);
}

// libmdb writes a Numeric value as decimal text ("-12.3400"); it goes in as the nearest double.
void FieldBinder::bindNumeric(sqlite3_stmt *insert, int parameter, const MdbColumn &column, const MdbField &field)
{
    double number = 0;
    char *text = field.siz >= fixedSize(MDB_NUMERIC)
                     ? mdb_numeric_to_string(mdb_, field.start, column.col_scale, column.col_prec)
                     : nullptr;
    if (parseDecimal(text, &number))
        sqlite3_bind_double(insert, parameter, number);
    else
        sqlite3_bind_null(insert, parameter);
    g_free(text);
}

// Currency is exact: a value whose decimal has more significant digits than a double keeps
// goes in as its exact text; the column's declared type makes SQL compare and compute
// with it as a number all the same.
void FieldBinder::bindCurrency(sqlite3_stmt *insert, int parameter, int64_t tenThousandths)
{
    if (currencyFitsDouble(tenThousandths))
        sqlite3_bind_double(insert, parameter, currencyValue(tenThousandths));
    else
        sqlite3_bind_text(insert, parameter, currencyText(tenThousandths).c_str(), -1, SQLITE_TRANSIENT);
}

void FieldBinder::bindFixed(sqlite3_stmt *insert, int parameter, int type, const unsigned char *value, int size)
{
    if (fixedSize(type) == 0 || size < fixedSize(type)) {
        sqlite3_bind_null(insert, parameter);
        return;
    }
    switch (type) {
    case MDB_BYTE:
        sqlite3_bind_int(insert, parameter, value[0]);
        return;
    case MDB_INT:
    case MDB_LONGINT:
        sqlite3_bind_int64(insert, parameter, littleEndianInteger(value, fixedSize(type)));
        return;
    case MDB_MONEY:
        bindCurrency(insert, parameter, littleEndianInteger(value, 8));
        return;
    case MDB_FLOAT:
        sqlite3_bind_double(insert, parameter, double(mdb_get_single(const_cast<unsigned char *>(value), 0)));
        return;
    case MDB_DOUBLE:
        sqlite3_bind_double(insert, parameter, mdb_get_double(const_cast<unsigned char *>(value), 0));
        return;
    case MDB_DATETIME:
        bindDateTime(insert, parameter, value);
        return;
    case MDB_REPID:
        sqlite3_bind_text(insert, parameter, guidText(value).c_str(), -1, SQLITE_TRANSIENT);
        return;
    default:
        sqlite3_bind_null(insert, parameter);
    }
}

void FieldBinder::bindDateTime(sqlite3_stmt *insert, int parameter, const unsigned char *value)
{
    const double serial = mdb_get_double(const_cast<unsigned char *>(value), 0);
    DateTime when;
    // Outside Access's range of dates the serial is kept, as the SQLite storage would hold it.
    if (dateTimeFromSerial(serial, &when))
        sqlite3_bind_text(insert, parameter, formatDateTime(when).c_str(), -1, SQLITE_TRANSIENT);
    else
        sqlite3_bind_double(insert, parameter, serial);
}

void FieldBinder::bindLongValue(sqlite3_stmt *insert, int parameter, MdbColumn *column, const MdbField &field)
{
    std::string bytes;
    if (!longValues_.read(column, field, &bytes)) {
        sqlite3_bind_null(insert, parameter);
        return;
    }
    if (column->col_type == MDB_MEMO)
        bindText(insert, parameter, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    else
        sqlite3_bind_blob(insert, parameter, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
}

} // namespace jet
} // namespace accessodbc
