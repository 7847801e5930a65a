#include "odbc/parameters.h"
#include "odbc/conversion.h"
#include "values/datetime.h"
#include "values/numbers.h"
#include "odbc/odbc_strings.h"
#include "odbc/results.h"

#include <algorithm>
#include <cstring>

namespace accessodbc {
namespace {

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

// A true bound as a bit is Access's Yes, -1, so that it matches a Yes/No field.
Number asAccessTruth(const Number &number)
{
    return Number{true, number.asDouble() != 0 ? -1 : 0, 0};
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
        return bindNumber(stmt, index, sqlType == SQL_BIT ? asAccessTruth(number) : number);
    return sqlite3_bind_text(stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

// SQL_NUMERIC_STRUCT: a sign, a scale and a 128-bit magnitude, little-endian. The digits come
// from dividing the magnitude by ten byte by byte, as no 32-bit compiler has a 128-bit integer.
std::string numericText(const SQL_NUMERIC_STRUCT &numeric)
{
    unsigned char magnitude[SQL_MAX_NUMERIC_LEN];
    std::copy(numeric.val, numeric.val + SQL_MAX_NUMERIC_LEN, magnitude);
    std::string digits;
    bool quotientIsZero = false;
    while (!quotientIsZero) {
        unsigned remainder = 0;
        quotientIsZero = true;
        for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) {
            const unsigned value = remainder << 8 | magnitude[i];
            magnitude[i] = static_cast<unsigned char>(value / 10);
            remainder = value % 10;
            quotientIsZero = quotientIsZero && magnitude[i] == 0;
        }
        digits.insert(digits.begin(), char('0' + remainder));
    }
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
        setDayZero(&when);
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
bool valueLength(const ParameterBinding &binding, SQLSMALLINT cType, SQLLEN *length)
{
    *length = binding.indicator ? *binding.indicator : SQL_NTS;
    if (*length == SQL_NTS && cType == SQL_C_BINARY)
        *length = binding.bufferLength;
    return *length == SQL_NTS || *length >= 0;
}

int bindCharacterOrBinary(sqlite3_stmt *stmt, int index, const ParameterBinding &binding, SQLSMALLINT cType,
                          SQLLEN length)
{
    if (cType == SQL_C_BINARY)
        return sqlite3_bind_blob(stmt, index, binding.value, int(length), SQLITE_TRANSIENT);
    const std::string text =
        cType == SQL_C_CHAR ? fromAnsi(static_cast<SQLCHAR *>(binding.value), length)
                            : fromWide(static_cast<SQLWCHAR *>(binding.value),
                                       length == SQL_NTS ? SQL_NTS : length / SQLLEN(sizeof(SQLWCHAR)));
    return bindText(stmt, index, text, binding.sqlType);
}

// A number the C type holds, read from the application's buffer.
bool readNumber(SQLSMALLINT cType, SQLPOINTER value, Number *out)
{
    out->isInteger = true;
    switch (cType) {
    case SQL_C_SLONG: case SQL_C_LONG: out->integer = readAs<SQLINTEGER>(value); return true;
    case SQL_C_ULONG: out->integer = readAs<SQLUINTEGER>(value); return true;
    case SQL_C_SSHORT: case SQL_C_SHORT: out->integer = readAs<SQLSMALLINT>(value); return true;
    case SQL_C_USHORT: out->integer = readAs<SQLUSMALLINT>(value); return true;
    case SQL_C_STINYINT: case SQL_C_TINYINT: out->integer = readAs<signed char>(value); return true;
    case SQL_C_UTINYINT: out->integer = readAs<unsigned char>(value); return true;
    case SQL_C_BIT: out->integer = readAs<unsigned char>(value) ? 1 : 0; return true;
    case SQL_C_SBIGINT: out->integer = readAs<SQLBIGINT>(value); return true;
    case SQL_C_UBIGINT: {
        const SQLUBIGINT number = readAs<SQLUBIGINT>(value);
        out->integer = (long long)number;
        return number <= SQLUBIGINT(INT64_MAX);
    }
    case SQL_C_FLOAT: *out = Number{false, 0, double(readAs<SQLREAL>(value))}; return true;
    case SQL_C_DOUBLE: *out = Number{false, 0, readAs<SQLDOUBLE>(value)}; return true;
    default: return parseNumber(numericText(readAs<SQL_NUMERIC_STRUCT>(value)), out);
    }
}

// SQLite refuses a value it is given only when memory or its length limit runs out.
SQLRETURN bound(Statement *statement, int sqliteResult)
{
    if (sqliteResult == SQLITE_OK)
        return SQL_SUCCESS;
    if (sqliteResult == SQLITE_TOOBIG)
        return statement->diag.error("22001", "String data, right truncated: the value is too long.");
    return statement->diag.error("HY001", "Memory allocation error.");
}

bool atExecution(const ParameterBinding &binding)
{
    const SQLLEN indicator = binding.indicator ? *binding.indicator : 0;
    return indicator == SQL_DATA_AT_EXEC || indicator <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

SQLSMALLINT cTypeOf(const ParameterBinding &binding)
{
    return binding.cType == SQL_C_DEFAULT ? defaultCType(binding.sqlType) : binding.cType;
}

SQLRETURN bindOne(Statement *statement, int index, const ParameterBinding &binding);

// A value that came through SQLPutData is bound as if it had been in the buffer all along.
SQLRETURN bindDelivered(Statement *statement, int index, const ParameterBinding &binding)
{
    const DataAtExecution &pending = statement->pendingData;
    const size_t marker = size_t(index - 1);
    if (pending.null[marker])
        return bound(statement, sqlite3_bind_null(statement->stmt, index));
    SQLLEN length = SQLLEN(pending.bytes[marker].size());
    ParameterBinding delivered = binding;
    delivered.value = const_cast<char *>(pending.bytes[marker].data());
    delivered.bufferLength = length;
    delivered.indicator = &length;
    return bindOne(statement, index, delivered);
}

SQLRETURN bindOne(Statement *statement, int index, const ParameterBinding &binding)
{
    sqlite3_stmt *stmt = statement->stmt;
    const SQLLEN indicator = binding.indicator ? *binding.indicator : 0;
    if (indicator == SQL_NULL_DATA)
        return bound(statement, sqlite3_bind_null(stmt, index));
    if (atExecution(binding))
        return bindDelivered(statement, index, binding);
    if (!binding.value)
        return statement->diag.error("HY009", "Invalid use of null pointer.");

    const SQLSMALLINT cType = cTypeOf(binding);
    int rc;
    if (isTextType(cType)) {
        SQLLEN length = 0;
        if (!valueLength(binding, cType, &length))
            return statement->diag.error("HY090", "Invalid string or buffer length.");
        rc = bindCharacterOrBinary(stmt, index, binding, cType, length);
    } else if (isDateTimeCType(cType)) {
        rc = sqlite3_bind_text(stmt, index, dateTimeText(cType, binding.value).c_str(), -1, SQLITE_TRANSIENT);
    } else {
        Number number;
        if (!readNumber(cType, binding.value, &number))
            return statement->diag.error("22003", "Numeric value out of range.");
        const bool bit = cType == SQL_C_BIT || binding.sqlType == SQL_BIT;
        rc = bindNumber(stmt, index, bit ? asAccessTruth(number) : number);
    }
    return bound(statement, rc);
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
            return statement->diag.error(AccessError::TooFewParameters, std::to_string(markers));
        const SQLRETURN rc = bindOne(statement, i + 1, statement->parameters[size_t(i)]);
        if (rc != SQL_SUCCESS)
            return rc;
    }
    return SQL_SUCCESS;
}

bool awaitsDataAtExecution(Statement *statement)
{
    DataAtExecution &pending = statement->pendingData;
    const size_t markers = size_t(sqlite3_bind_parameter_count(statement->stmt));
    for (size_t i = 0; i < markers && i < statement->parameters.size(); ++i) {
        if (statement->parameters[i].bound && atExecution(statement->parameters[i]))
            pending.markers.push_back(i);
    }
    if (pending.markers.empty())
        return false;
    pending.active = true;
    pending.bytes.assign(markers, std::string());
    pending.null.assign(markers, false);
    return true;
}

SQLRETURN parameterData(Statement *statement, SQLPOINTER *value)
{
    DataAtExecution &pending = statement->pendingData;
    if (!pending.active)
        return statement->diag.error("HY010", "Function sequence error: no parameter value is awaited.");
    if (pending.next < pending.markers.size()) {
        const ParameterBinding &binding = statement->parameters[pending.markers[pending.next++]];
        if (value)
            *value = binding.value;
        return SQL_NEED_DATA;
    }
    pending.active = false;
    return runWithParameters(statement);
}

namespace {

SQLLEN wideByteLength(const SQLWCHAR *text)
{
    SQLLEN length = 0;
    while (text[length])
        ++length;
    return length * SQLLEN(sizeof(SQLWCHAR));
}

} // namespace

SQLRETURN putData(Statement *statement, SQLPOINTER data, SQLLEN length)
{
    DataAtExecution &pending = statement->pendingData;
    if (!pending.active || pending.next == 0)
        return statement->diag.error("HY010", "Function sequence error: SQLParamData has named no parameter.");
    const size_t marker = pending.markers[pending.next - 1];
    if (length == SQL_NULL_DATA) {
        pending.null[marker] = true;
        return SQL_SUCCESS;
    }
    const SQLSMALLINT cType = cTypeOf(statement->parameters[marker]);
    if (!isTextType(cType))
        return statement->diag.error("HYC00", "Optional feature not implemented: data at execution for values "
                                              "other than text and binary.");
    if (!data && length != 0)
        return statement->diag.error("HY009", "Invalid use of null pointer.");
    if (length == SQL_NTS && cType == SQL_C_CHAR)
        length = SQLLEN(std::strlen(static_cast<const char *>(data)));
    else if (length == SQL_NTS && cType == SQL_C_WCHAR)
        length = wideByteLength(static_cast<const SQLWCHAR *>(data));
    if (length < 0)
        return statement->diag.error("HY090", "Invalid string or buffer length.");
    pending.bytes[marker].append(static_cast<const char *>(data), size_t(length));
    return SQL_SUCCESS;
}

SQLRETURN describeParameter(Statement *statement, SQLUSMALLINT number, SQLSMALLINT *sqlType, SQLULEN *size,
                            SQLSMALLINT *decimalDigits, SQLSMALLINT *nullable)
{
    if (!statement->prepared || !statement->stmt)
        return statement->diag.error("HY010", "Function sequence error: no statement has been prepared.");
    if (number < 1 || int(number) > sqlite3_bind_parameter_count(statement->stmt))
        return statement->diag.error("07009", "Invalid descriptor index.");
    ColumnInfo info;
    info.sqlType = SQL_VARCHAR;
    info.columnSize = 255;
    const char *declaredType = nullptr;
    if (size_t(number) <= statement->parameterColumns.size()) {
        const sql::ParameterColumn &column = statement->parameterColumns[number - 1];
        if (!column.table.empty()
            && sqlite3_table_column_metadata(statement->connection->database->handle(), "main", column.table.c_str(),
                                             column.column.c_str(), &declaredType, nullptr, nullptr, nullptr,
                                             nullptr) == SQLITE_OK)
            info = columnInfoFor(declaredType, SQLITE_NULL, 0, statement->connection->environment->odbcVersion);
    }
    if (sqlType)
        *sqlType = info.sqlType;
    if (size)
        *size = info.columnSize;
    if (decimalDigits)
        *decimalDigits = info.decimalDigits;
    if (nullable)
        *nullable = SQL_NULLABLE;
    return SQL_SUCCESS;
}

} // namespace accessodbc
