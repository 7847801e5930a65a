#include "parameters.h"
#include "datetime.h"
#include "numbers.h"
#include "odbc_strings.h"

#include <cstring>

namespace accessodbc {
namespace {

// The C type ODBC defines as the default for a parameter of that SQL type.
SQLSMALLINT defaultCType(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_TINYINT: return SQL_C_STINYINT;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_TYPE_DATE: case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME: case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    default: return SQL_C_CHAR;
    }
}

bool isSupportedCType(SQLSMALLINT cType)
{
    switch (cType) {
    case SQL_C_DEFAULT: case SQL_C_CHAR: case SQL_C_WCHAR: case SQL_C_BINARY: case SQL_C_BIT:
    case SQL_C_SLONG: case SQL_C_LONG: case SQL_C_ULONG: case SQL_C_SSHORT: case SQL_C_SHORT: case SQL_C_USHORT:
    case SQL_C_STINYINT: case SQL_C_TINYINT: case SQL_C_UTINYINT: case SQL_C_SBIGINT: case SQL_C_UBIGINT:
    case SQL_C_FLOAT: case SQL_C_DOUBLE: case SQL_C_NUMERIC:
    case SQL_C_TYPE_DATE: case SQL_C_DATE: case SQL_C_TYPE_TIME: case SQL_C_TIME:
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_TIMESTAMP:
        return true;
    default:
        return false;
    }
}

bool isNumericSqlType(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_INTEGER: case SQL_SMALLINT: case SQL_TINYINT: case SQL_BIGINT: case SQL_BIT: case SQL_REAL:
    case SQL_FLOAT: case SQL_DOUBLE: case SQL_DECIMAL: case SQL_NUMERIC:
        return true;
    default:
        return false;
    }
}

template <typename T>
T readAs(SQLPOINTER value)
{
    T number;
    std::memcpy(&number, value, sizeof number);
    return number;
}

int bindNumber(sqlite3_stmt *stmt, int index, const Number &number)
{
    return number.isInteger ? sqlite3_bind_int64(stmt, index, number.integer)
                            : sqlite3_bind_double(stmt, index, number.real);
}

// Text for a numeric marker goes in as the number it reads as, so that it compares and
// computes as one wherever it stands; any other text goes in as text.
int bindText(sqlite3_stmt *stmt, int index, const std::string &text, SQLSMALLINT sqlType)
{
    Number number;
    if (isNumericSqlType(sqlType) && parseNumber(text, &number))
        return bindNumber(stmt, index, number);
    return sqlite3_bind_text(stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

// SQL_NUMERIC_STRUCT: a sign, a scale and a 128-bit magnitude, little-endian.
std::string numericText(const SQL_NUMERIC_STRUCT &numeric)
{
    unsigned __int128 magnitude = 0;
    for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i)
        magnitude = magnitude << 8 | numeric.val[i];
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    const int scale = numeric.scale;
    if (scale > 0) {
        if (digits.size() <= size_t(scale))
            digits.insert(0, size_t(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - size_t(scale), 1, '.');
    } else if (scale < 0) {
        digits.append(size_t(-scale), '0');
    }
    return (numeric.sign == 0 ? "-" : "") + digits;
}

// Dates and times go in the form the storage keeps them in; a time alone lies on
// Access's day zero.
std::string dateTimeText(SQLSMALLINT cType, SQLPOINTER value)
{
    DateTime when;
    if (cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE) {
        const SQL_DATE_STRUCT date = readAs<SQL_DATE_STRUCT>(value);
        when.year = date.year;
        when.month = date.month;
        when.day = date.day;
    } else if (cType == SQL_C_TYPE_TIME || cType == SQL_C_TIME) {
        const SQL_TIME_STRUCT time = readAs<SQL_TIME_STRUCT>(value);
        when.year = 1899;
        when.month = 12;
        when.day = 30;
        when.hour = time.hour;
        when.minute = time.minute;
        when.second = time.second;
    } else {
        const SQL_TIMESTAMP_STRUCT stamp = readAs<SQL_TIMESTAMP_STRUCT>(value);
        when.year = stamp.year;
        when.month = stamp.month;
        when.day = stamp.day;
        when.hour = stamp.hour;
        when.minute = stamp.minute;
        when.second = stamp.second;
    }
    return formatDateTime(when);
}

// The byte length of a character or binary value; SQL_NTS only for character data.
bool valueLength(const ParameterBinding &binding, SQLLEN *length)
{
    *length = binding.indicator ? *binding.indicator : SQL_NTS;
    if (*length == SQL_NTS && binding.cType == SQL_C_BINARY)
        *length = binding.bufferLength;
    return *length == SQL_NTS || *length >= 0;
}

SQLRETURN bindOne(Statement *statement, int index, const ParameterBinding &binding)
{
    sqlite3_stmt *stmt = statement->stmt;
    const SQLLEN indicator = binding.indicator ? *binding.indicator : 0;
    if (indicator == SQL_NULL_DATA) {
        sqlite3_bind_null(stmt, index);
        return SQL_SUCCESS;
    }
    if (indicator == SQL_DATA_AT_EXEC || indicator <= SQL_LEN_DATA_AT_EXEC_OFFSET)
        return statement->diag.error("HYC00", "Optional feature not implemented: data at execution.");
    if (!binding.value)
        return statement->diag.error("HY009", "Invalid use of null pointer.");

    const SQLSMALLINT cType = binding.cType == SQL_C_DEFAULT ? defaultCType(binding.sqlType) : binding.cType;
    const SQLPOINTER value = binding.value;
    SQLLEN length = 0;
    switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY:
        if (!valueLength(binding, &length))
            return statement->diag.error("HY090", "Invalid string or buffer length.");
        if (cType == SQL_C_BINARY) {
            sqlite3_bind_blob(stmt, index, value, int(length), SQLITE_TRANSIENT);
        } else {
            const std::string text =
                cType == SQL_C_CHAR ? fromAnsi(static_cast<SQLCHAR *>(value), length)
                                    : fromWide(static_cast<SQLWCHAR *>(value),
                                               length == SQL_NTS ? SQL_NTS : length / SQLLEN(sizeof(SQLWCHAR)));
            bindText(stmt, index, text, binding.sqlType);
        }
        return SQL_SUCCESS;
    case SQL_C_SLONG: case SQL_C_LONG: sqlite3_bind_int64(stmt, index, readAs<SQLINTEGER>(value)); break;
    case SQL_C_ULONG: sqlite3_bind_int64(stmt, index, readAs<SQLUINTEGER>(value)); break;
    case SQL_C_SSHORT: case SQL_C_SHORT: sqlite3_bind_int64(stmt, index, readAs<SQLSMALLINT>(value)); break;
    case SQL_C_USHORT: sqlite3_bind_int64(stmt, index, readAs<SQLUSMALLINT>(value)); break;
    case SQL_C_STINYINT: case SQL_C_TINYINT: sqlite3_bind_int64(stmt, index, readAs<signed char>(value)); break;
    case SQL_C_UTINYINT: sqlite3_bind_int64(stmt, index, readAs<unsigned char>(value)); break;
    case SQL_C_BIT: sqlite3_bind_int64(stmt, index, readAs<unsigned char>(value) ? 1 : 0); break;
    case SQL_C_SBIGINT: sqlite3_bind_int64(stmt, index, readAs<SQLBIGINT>(value)); break;
    case SQL_C_UBIGINT: {
        const SQLUBIGINT number = readAs<SQLUBIGINT>(value);
        if (number > SQLUBIGINT(INT64_MAX))
            return statement->diag.error("22003", "Numeric value out of range.");
        sqlite3_bind_int64(stmt, index, sqlite3_int64(number));
        break;
    }
    case SQL_C_FLOAT: sqlite3_bind_double(stmt, index, double(readAs<SQLREAL>(value))); break;
    case SQL_C_DOUBLE: sqlite3_bind_double(stmt, index, readAs<SQLDOUBLE>(value)); break;
    case SQL_C_NUMERIC: {
        Number number;
        if (!parseNumber(numericText(readAs<SQL_NUMERIC_STRUCT>(value)), &number))
            return statement->diag.error("22003", "Numeric value out of range.");
        bindNumber(stmt, index, number);
        break;
    }
    default:
        sqlite3_bind_text(stmt, index, dateTimeText(cType, value).c_str(), -1, SQLITE_TRANSIENT);
        break;
    }
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN bindParameter(Statement *statement, SQLUSMALLINT number, SQLSMALLINT direction, SQLSMALLINT cType,
                        SQLSMALLINT sqlType, SQLPOINTER value, SQLLEN bufferLength, SQLLEN *indicator)
{
    if (number == 0)
        return statement->diag.error("07009", "Invalid descriptor index.");
    if (direction != SQL_PARAM_INPUT)
        return statement->diag.error("HY105", "Invalid parameter type: only input parameters are supported.");
    if (!isSupportedCType(cType))
        return statement->diag.error("HY003", "Program type out of range.");
    if (!value && !indicator)
        return statement->diag.error("HY009", "Invalid use of null pointer.");
    if (bufferLength < 0)
        return statement->diag.error("HY090", "Invalid string or buffer length.");
    if (statement->parameters.size() < number)
        statement->parameters.resize(number);
    statement->parameters[number - 1] = ParameterBinding{true, cType, sqlType, value, bufferLength, indicator};
    return SQL_SUCCESS;
}

SQLRETURN bindParameterValues(Statement *statement)
{
    sqlite3_clear_bindings(statement->stmt);
    const int markers = sqlite3_bind_parameter_count(statement->stmt);
    for (int i = 0; i < markers; ++i) {
        if (size_t(i) >= statement->parameters.size() || !statement->parameters[size_t(i)].bound)
            return statement->diag.error("07002", "Too few parameters. Expected " + std::to_string(markers) + ".",
                                         -3010);
        const SQLRETURN rc = bindOne(statement, i + 1, statement->parameters[size_t(i)]);
        if (rc != SQL_SUCCESS)
            return rc;
    }
    return SQL_SUCCESS;
}

} // namespace accessodbc
