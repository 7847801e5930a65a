#include "odbc/conversion.h"
#include "values/datetime.h"
#include "values/numbers.h"
#include "odbc/odbc_strings.h"
#include "odbc/results.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace accessodbc {
namespace {

// One column of the current row as SQLite holds it.
struct CellValue {
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    const char *bytes = nullptr;
    size_t size = 0;
    bool single = false; // a Single column's value, which reads as text in a Single's digits

    std::string text() const { return bytes ? std::string(bytes, size) : std::string(); }
};

// Every value of every row passes through here. The connection's lock is held across the
// reads of one value, so that one lock serves them all where each column read would take
// its own; the reads through sqlite3_column_value take none.
CellValue readCell(sqlite3_stmt *stmt, int index)
{
    sqlite3_mutex *lock = sqlite3_db_mutex(sqlite3_db_handle(stmt));
    sqlite3_mutex_enter(lock);
    sqlite3_value *value = sqlite3_column_value(stmt, index);
    CellValue cell;
    cell.type = sqlite3_value_type(value);
    switch (cell.type) {
    case SQLITE_INTEGER:
        cell.integer = sqlite3_value_int64(value);
        break;
    case SQLITE_FLOAT:
        cell.real = sqlite3_value_double(value);
        break;
    case SQLITE_TEXT:
        cell.bytes = reinterpret_cast<const char *>(sqlite3_value_text(value));
        cell.size = size_t(sqlite3_value_bytes(value));
        break;
    case SQLITE_BLOB:
        cell.bytes = static_cast<const char *>(sqlite3_value_blob(value));
        cell.size = size_t(sqlite3_value_bytes(value));
        break;
    default:
        break;
    }
    sqlite3_mutex_leave(lock);
    return cell;
}

// A Yes/No computed in SQL holds Access's -1 for true; SQL_BIT hands out 1.
CellValue asDescribed(const ColumnInfo &column, CellValue cell)
{
    cell.single = column.sqlType == SQL_REAL && cell.type == SQLITE_FLOAT;
    const bool number = cell.type == SQLITE_INTEGER || cell.type == SQLITE_FLOAT;
    if (column.sqlType != SQL_BIT || !number)
        return cell;
    cell.integer = (cell.type == SQLITE_INTEGER ? cell.integer != 0 : cell.real != 0) ? 1 : 0;
    cell.type = SQLITE_INTEGER;
    return cell;
}

std::string hexOf(const char *bytes, size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

// The text of a value: integers in decimal, reals in Access's form, binary data in hex.
void cellText(const CellValue &cell, std::string *out)
{
    switch (cell.type) {
    case SQLITE_INTEGER:
        *out = std::to_string(cell.integer);
        break;
    case SQLITE_FLOAT:
        *out = cell.single ? formatAccessSingle(cell.real) : formatAccessDouble(cell.real);
        break;
    case SQLITE_BLOB:
        *out = hexOf(cell.bytes, cell.size);
        break;
    default:
        out->assign(cell.bytes ? cell.bytes : "", cell.size);
        break;
    }
}

bool cellNumber(const CellValue &cell, Number *out)
{
    switch (cell.type) {
    case SQLITE_INTEGER:
        out->isInteger = true;
        out->integer = cell.integer;
        return true;
    case SQLITE_FLOAT:
        out->isInteger = false;
        out->real = cell.real;
        return true;
    case SQLITE_TEXT:
        return parseNumber(cell.text(), out);
    default:
        return false;
    }
}

bool cellDateTime(const CellValue &cell, DateTime *out)
{
    switch (cell.type) {
    case SQLITE_INTEGER:
        return dateTimeFromSerial(double(cell.integer), out);
    case SQLITE_FLOAT:
        return dateTimeFromSerial(cell.real, out);
    case SQLITE_TEXT:
        return parseDateTime(cell.text(), out);
    default:
        return false;
    }
}

// Hands out the next part of a character or binary value. The terminator of character
// data takes room in the buffer; for wide text a part never ends between the two
// bytes of one UTF-16 unit.
SQLRETURN deliverPart(Statement *statement, SQLPOINTER target, SQLLEN bufferLength, SQLLEN *indicator)
{
    PartialValue &part = statement->partial;
    if (part.finished)
        return SQL_NO_DATA;
    const size_t unit = part.cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 1;
    const size_t terminator = part.cType == SQL_C_BINARY ? 0 : unit;
    const size_t remaining = part.bytes.size() - part.offset;
    if (indicator)
        *indicator = SQLLEN(remaining);

    // A call without a buffer only asks for the length. It is answered without a
    // truncation warning: each warning costs the driver manager a diagnostic round trip,
    // and QODBC asks this for every text value it reads.
    if (!target || bufferLength == 0)
        return SQL_SUCCESS;
    const size_t room = size_t(bufferLength);
    if (room >= remaining + terminator) {
        std::memcpy(target, part.bytes.data() + part.offset, remaining);
        std::memset(static_cast<char *>(target) + remaining, 0, terminator);
        part.offset = part.bytes.size();
        part.finished = true;
        return SQL_SUCCESS;
    }
    size_t count = room > terminator ? room - terminator : 0;
    count -= count % unit;
    if (count > 0)
        std::memcpy(target, part.bytes.data() + part.offset, count);
    if (room >= terminator && terminator > 0)
        std::memset(static_cast<char *>(target) + count, 0, terminator);
    part.offset += count;
    statement->diag.warning("01004", "String data, right truncated.");
    statement->diag.lastReturn = SQL_SUCCESS_WITH_INFO;
    return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN startPart(Statement *statement, int column, SQLSMALLINT cType, const CellValue &cell)
{
    PartialValue &part = statement->partial;
    part.column = column;
    part.cType = cType;
    part.offset = 0;
    part.finished = false;
    if (cType == SQL_C_BINARY) {
        if (cell.type == SQLITE_TEXT || cell.type == SQLITE_BLOB)
            part.bytes.assign(cell.bytes ? cell.bytes : "", cell.size);
        else
            cellText(cell, &part.bytes);
        return SQL_SUCCESS;
    }
    if (cType == SQL_C_CHAR) {
        cellText(cell, &part.bytes);
        return SQL_SUCCESS;
    }
    cellText(cell, &part.text);
    utf8ToUtf16(part.text, &part.wide);
    part.bytes.assign(reinterpret_cast<const char *>(part.wide.data()), part.wide.size() * sizeof(char16_t));
    return SQL_SUCCESS;
}

template <typename T>
SQLRETURN storeInteger(Statement *statement, const Number &number, SQLPOINTER target, SQLLEN *indicator)
{
    const double asReal = number.asDouble();
    if (number.isInteger) {
        if (number.integer < (long long)std::numeric_limits<T>::min()
            || (number.integer > 0 && (unsigned long long)number.integer > (unsigned long long)std::numeric_limits<T>::max()))
            return statement->diag.error("22003", "Numeric value out of range.");
    } else if (!(asReal > double(std::numeric_limits<T>::min()) - 1.0 && asReal < double(std::numeric_limits<T>::max()) + 1.0)) {
        return statement->diag.error("22003", "Numeric value out of range.");
    }
    const T value = number.isInteger ? T(number.integer) : T(std::trunc(asReal));
    std::memcpy(target, &value, sizeof value);
    if (indicator)
        *indicator = SQLLEN(sizeof value);
    if (!number.isInteger && std::trunc(asReal) != asReal) {
        statement->diag.warning("01S07", "Fractional truncation.");
        statement->diag.lastReturn = SQL_SUCCESS_WITH_INFO;
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

// A finite value beyond the range of the target type would become an infinity.
template <typename T>
SQLRETURN storeReal(Statement *statement, const Number &number, SQLPOINTER target, SQLLEN *indicator)
{
    const double real = number.asDouble();
    if (std::isfinite(real) && std::fabs(real) > double(std::numeric_limits<T>::max()))
        return statement->diag.error("22003", "Numeric value out of range.");
    const T value = T(real);
    std::memcpy(target, &value, sizeof value);
    if (indicator)
        *indicator = SQLLEN(sizeof value);
    return SQL_SUCCESS;
}

SQLRETURN storeNumber(Statement *statement, SQLSMALLINT cType, const CellValue &cell, SQLPOINTER target,
                      SQLLEN *indicator)
{
    Number number;
    if (!cellNumber(cell, &number))
        return statement->diag.error("22018", "Invalid character value for conversion.");
    switch (cType) {
    case SQL_C_SLONG:
    case SQL_C_LONG:
        return storeInteger<SQLINTEGER>(statement, number, target, indicator);
    case SQL_C_ULONG:
        return storeInteger<SQLUINTEGER>(statement, number, target, indicator);
    case SQL_C_SSHORT:
    case SQL_C_SHORT:
        return storeInteger<SQLSMALLINT>(statement, number, target, indicator);
    case SQL_C_USHORT:
        return storeInteger<SQLUSMALLINT>(statement, number, target, indicator);
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
        return storeInteger<signed char>(statement, number, target, indicator);
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
        return storeInteger<unsigned char>(statement, number, target, indicator);
    case SQL_C_SBIGINT:
        return storeInteger<SQLBIGINT>(statement, number, target, indicator);
    case SQL_C_UBIGINT:
        return storeInteger<SQLUBIGINT>(statement, number, target, indicator);
    case SQL_C_FLOAT:
        return storeReal<SQLREAL>(statement, number, target, indicator);
    default:
        return storeReal<SQLDOUBLE>(statement, number, target, indicator);
    }
}

SQLRETURN storeDateTime(Statement *statement, SQLSMALLINT cType, const CellValue &cell, SQLPOINTER target,
                        SQLLEN *indicator)
{
    DateTime when;
    if (!cellDateTime(cell, &when))
        return statement->diag.error("22018", "Invalid character value for conversion.");
    if (cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE) {
        SQL_DATE_STRUCT date = {SQLSMALLINT(when.year), SQLUSMALLINT(when.month), SQLUSMALLINT(when.day)};
        std::memcpy(target, &date, sizeof date);
        storeLength(indicator, sizeof date);
    } else if (cType == SQL_C_TYPE_TIME || cType == SQL_C_TIME) {
        SQL_TIME_STRUCT time = {SQLUSMALLINT(when.hour), SQLUSMALLINT(when.minute), SQLUSMALLINT(when.second)};
        std::memcpy(target, &time, sizeof time);
        storeLength(indicator, sizeof time);
    } else {
        SQL_TIMESTAMP_STRUCT stamp = {SQLSMALLINT(when.year), SQLUSMALLINT(when.month), SQLUSMALLINT(when.day),
                                      SQLUSMALLINT(when.hour), SQLUSMALLINT(when.minute), SQLUSMALLINT(when.second),
                                      SQLUINTEGER(when.fraction)};
        std::memcpy(target, &stamp, sizeof stamp);
        storeLength(indicator, sizeof stamp);
    }
    return SQL_SUCCESS;
}

// A GUID's text, as Access shows a Replication ID: {8-4-4-4-12 hexadecimal digits}. The first
// three groups are Data1 to Data3; the last two are Data4's eight bytes in order.
bool parseGuid(const std::string &text, SQLGUID *guid)
{
    static const char kShape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != sizeof kShape - 1)
        return false;
    std::string digits;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool wanted = kShape[i] == 'X' ? std::isxdigit(static_cast<unsigned char>(text[i])) != 0 : text[i] == kShape[i];
        if (!wanted)
            return false;
        if (kShape[i] == 'X')
            digits += text[i];
    }
    const auto number = [&digits](size_t at, size_t count) {
        return std::strtoul(digits.substr(at, count).c_str(), nullptr, 16);
    };
    guid->Data1 = decltype(guid->Data1)(number(0, 8));
    guid->Data2 = decltype(guid->Data2)(number(8, 4));
    guid->Data3 = decltype(guid->Data3)(number(12, 4));
    for (size_t i = 0; i < 8; ++i)
        guid->Data4[i] = static_cast<unsigned char>(number(16 + 2 * i, 2));
    return true;
}

SQLRETURN storeGuid(Statement *statement, const CellValue &cell, SQLPOINTER target, SQLLEN *indicator)
{
    SQLGUID guid = {};
    if (cell.type != SQLITE_TEXT || !parseGuid(cell.text(), &guid))
        return statement->diag.error("22018", "Invalid character value for conversion.");
    std::memcpy(target, &guid, sizeof guid);
    storeLength(indicator, sizeof guid);
    return SQL_SUCCESS;
}

bool isNumericCType(SQLSMALLINT cType)
{
    switch (cType) {
    case SQL_C_SLONG: case SQL_C_LONG: case SQL_C_ULONG: case SQL_C_SSHORT: case SQL_C_SHORT:
    case SQL_C_USHORT: case SQL_C_STINYINT: case SQL_C_TINYINT: case SQL_C_UTINYINT: case SQL_C_BIT:
    case SQL_C_SBIGINT: case SQL_C_UBIGINT: case SQL_C_FLOAT: case SQL_C_DOUBLE:
        return true;
    default:
        return false;
    }
}

SQLRETURN checkCursorOnRow(Statement *statement)
{
    if (!statement->cursorOpen || !statement->onRow)
        return statement->diag.error("24000", "Invalid cursor state.");
    return SQL_SUCCESS;
}

} // namespace

SQLSMALLINT defaultCType(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_TINYINT: return SQL_C_UTINYINT;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_TYPE_DATE: case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME: case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    case SQL_GUID: return SQL_C_GUID;
    default: return SQL_C_CHAR;
    }
}

bool isTextType(SQLSMALLINT cType) { return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY; }

bool isDateTimeCType(SQLSMALLINT cType)
{
    switch (cType) {
    case SQL_C_TYPE_DATE: case SQL_C_DATE: case SQL_C_TYPE_TIME: case SQL_C_TIME:
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_TIMESTAMP:
        return true;
    default:
        return false;
    }
}

namespace {

// The C type the application descriptor holds for a column: what SQLBindCol gave it, even
// when the buffer was unbound since; SQL_C_DEFAULT for a column never bound.
SQLSMALLINT boundType(const Statement &statement, SQLUSMALLINT column)
{
    if (column > statement.bindings.size())
        return SQL_C_DEFAULT;
    const SQLSMALLINT cType = statement.bindings[column - 1].cType;
    return cType == 0 || cType == SQL_ARD_TYPE ? SQLSMALLINT(SQL_C_DEFAULT) : cType;
}

} // namespace

SQLRETURN getData(Statement *statement, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN *indicator)
{
    SQLRETURN rc = checkCursorOnRow(statement);
    if (rc == SQL_SUCCESS)
        rc = checkColumnNumber(statement, column);
    if (rc != SQL_SUCCESS)
        return rc;
    if (cType == SQL_ARD_TYPE)
        cType = boundType(*statement, column);
    if (cType == SQL_C_DEFAULT)
        cType = defaultCType(statement->columns[column - 1].sqlType);

    PartialValue &part = statement->partial;
    const bool continuing = part.column == int(column) && part.cType == cType;
    if (continuing && isTextType(cType))
        return deliverPart(statement, target, bufferLength, indicator);
    if (continuing && part.finished)
        return SQL_NO_DATA;

    const CellValue cell = asDescribed(statement->columns[column - 1], readCell(statement->stmt, column - 1));
    if (cell.type == SQLITE_NULL) {
        part.column = column;
        part.cType = cType;
        part.finished = true;
        if (!indicator)
            return statement->diag.error("22002", "Indicator variable required but not supplied.");
        *indicator = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    if (isTextType(cType)) {
        startPart(statement, column, cType, cell);
        return deliverPart(statement, target, bufferLength, indicator);
    }
    if (!isNumericCType(cType) && !isDateTimeCType(cType) && cType != SQL_C_GUID)
        return statement->diag.error("HY003", "Program type out of range.");
    if (!target)
        return statement->diag.error("HY009", "Invalid use of null pointer.");
    part.column = column;
    part.cType = cType;
    part.finished = true;
    if (cType == SQL_C_GUID)
        return storeGuid(statement, cell, target, indicator);
    return isNumericCType(cType) ? storeNumber(statement, cType, cell, target, indicator)
                                 : storeDateTime(statement, cType, cell, target, indicator);
}

SQLRETURN fillBoundColumns(Statement *statement)
{
    SQLRETURN overall = SQL_SUCCESS;
    for (size_t i = 0; i < statement->bindings.size(); ++i) {
        const ColumnBinding &binding = statement->bindings[i];
        if (!binding.target && !binding.indicator)
            continue;
        statement->partial.column = -1;
        const SQLRETURN rc = getData(statement, SQLUSMALLINT(i + 1), binding.cType, binding.target,
                                     binding.bufferLength, binding.indicator);
        if (rc == SQL_ERROR)
            return rc;
        if (rc == SQL_SUCCESS_WITH_INFO)
            overall = rc;
    }
    statement->partial.column = -1;
    return overall;
}

} // namespace accessodbc
