#include "odbc/results.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace accessodbc {
namespace {

bool containsAny(const std::string &upperType, std::initializer_list<const char *> words)
{
    for (const char *word : words) {
        if (upperType.find(word) != std::string::npos)
            return true;
    }
    return false;
}

// The length in "TEXT(50)" or "VARCHAR(50)", or 255, Access's longest short text.
SQLULEN declaredLength(const std::string &upperType)
{
    const size_t open = upperType.find('(');
    if (open == std::string::npos)
        return 255;
    const long length = std::strtol(upperType.c_str() + open + 1, nullptr, 10);
    return length > 0 ? SQLULEN(length) : 255;
}

ColumnInfo typed(SQLSMALLINT sqlType, const char *typeName, SQLULEN size, SQLLEN display, SQLLEN octets, bool isSigned)
{
    ColumnInfo info;
    info.sqlType = sqlType;
    info.typeName = typeName;
    info.columnSize = size;
    info.displaySize = display;
    info.octetLength = octets;
    info.isSigned = isSigned;
    return info;
}

ColumnInfo wideText(SQLULEN length)
{
    return typed(SQL_WVARCHAR, "VARCHAR", length, SQLLEN(length), SQLLEN(length * 2), false);
}

const SQLULEN kLongLength = 1073741823;

ColumnInfo fromDeclaredType(const std::string &upperType, SQLINTEGER odbcVersion, bool *known)
{
    *known = true;
    if (containsAny(upperType, {"LONGTEXT", "LONGCHAR", "MEMO", "NOTE", "CLOB"}))
        return typed(SQL_WLONGVARCHAR, "LONGCHAR", kLongLength, SQLLEN(kLongLength), SQLLEN(kLongLength), false);
    if (containsAny(upperType, {"CHAR", "TEXT", "STRING"}))
        return wideText(declaredLength(upperType));
    if (containsAny(upperType, {"BLOB", "BINARY", "OLE", "IMAGE"}))
        return typed(SQL_LONGVARBINARY, "LONGBINARY", kLongLength, SQLLEN(kLongLength), SQLLEN(kLongLength), false);
    if (containsAny(upperType, {"DATE", "TIME"})) {
        ColumnInfo info = typed(odbcVersion == SQL_OV_ODBC2 ? SQL_TIMESTAMP : SQL_TYPE_TIMESTAMP, "DATETIME", 19,
                                19, SQLLEN(sizeof(SQL_TIMESTAMP_STRUCT)), false);
        return info;
    }
    if (containsAny(upperType, {"BIT", "BOOL", "YESNO", "LOGICAL"}))
        return typed(SQL_BIT, "BIT", 1, 1, 1, false);
    // Currency is an exact decimal of four places in nineteen digits; the text of its
    // value is exact, so a client can read it as a decimal without going through a double.
    if (containsAny(upperType, {"CURRENCY", "MONEY"})) {
        ColumnInfo info = typed(SQL_DECIMAL, "CURRENCY", 19, 21, 21, true);
        info.decimalDigits = 4;
        return info;
    }
    if (containsAny(upperType, {"REAL", "DOUB", "FLOA", "NUMERIC", "DECIMAL", "SINGLE"})) {
        ColumnInfo info = typed(SQL_DOUBLE, "DOUBLE", 15, 24, 8, true);
        return info;
    }
    if (containsAny(upperType, {"BIGINT"}))
        return typed(SQL_BIGINT, "BIGINT", 19, 20, 8, true);
    if (containsAny(upperType, {"SMALLINT", "TINYINT", "BYTE", "SHORT"}))
        return typed(SQL_SMALLINT, "SMALLINT", 5, 6, 2, true);
    if (containsAny(upperType, {"INT", "LONG", "COUNTER", "AUTOINCREMENT"}))
        return typed(SQL_INTEGER, "INTEGER", 10, 11, 4, true);
    *known = false;
    return wideText(255);
}

ColumnInfo fromSample(int sampleType, sqlite3_int64 sample)
{
    switch (sampleType) {
    case SQLITE_INTEGER:
        if (sample >= -2147483648LL && sample <= 2147483647LL)
            return typed(SQL_INTEGER, "INTEGER", 10, 11, 4, true);
        return typed(SQL_BIGINT, "BIGINT", 19, 20, 8, true);
    case SQLITE_FLOAT:
        return typed(SQL_DOUBLE, "DOUBLE", 15, 24, 8, true);
    case SQLITE_BLOB:
        return typed(SQL_LONGVARBINARY, "LONGBINARY", kLongLength, SQLLEN(kLongLength), SQLLEN(kLongLength), false);
    default:
        return wideText(255);
    }
}

std::string nonNull(const char *text) { return text ? text : ""; }

// Whether a result column is a table column declared NOT NULL; an expression never is.
bool declaredNotNull(sqlite3_stmt *stmt, int column)
{
    const char *table = sqlite3_column_table_name(stmt, column);
    const char *origin = sqlite3_column_origin_name(stmt, column);
    if (!table || !origin)
        return false;
    int notNull = 0;
    return sqlite3_table_column_metadata(sqlite3_db_handle(stmt), sqlite3_column_database_name(stmt, column), table,
                                         origin, nullptr, nullptr, &notNull, nullptr, nullptr) == SQLITE_OK
        && notNull;
}

} // namespace

ColumnInfo columnInfoFor(const char *declaredType, int sampleType, sqlite3_int64 sample, SQLINTEGER odbcVersion)
{
    std::string upperType = nonNull(declaredType);
    for (char &c : upperType)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    bool known = false;
    ColumnInfo info = fromDeclaredType(upperType, odbcVersion, &known);
    return known ? info : fromSample(sampleType, sample);
}

void describeColumns(Statement *statement)
{
    sqlite3_stmt *stmt = statement->stmt;
    const int count = stmt ? sqlite3_column_count(stmt) : 0;
    const bool haveRow = statement->rowPending || statement->onRow;
    const SQLINTEGER odbcVersion = statement->connection->environment->odbcVersion;
    statement->columns.clear();
    statement->columns.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const int sampleType = haveRow ? sqlite3_column_type(stmt, i) : SQLITE_NULL;
        const sqlite3_int64 sample = sampleType == SQLITE_INTEGER ? sqlite3_column_int64(stmt, i) : 0;
        ColumnInfo info = columnInfoFor(sqlite3_column_decltype(stmt, i), sampleType, sample, odbcVersion);
        info.name = nonNull(sqlite3_column_name(stmt, i));
        info.baseTable = nonNull(sqlite3_column_table_name(stmt, i));
        info.baseColumn = nonNull(sqlite3_column_origin_name(stmt, i));
        info.notNull = declaredNotNull(stmt, i);
        statement->columns.push_back(std::move(info));
    }
}

SQLRETURN checkColumnNumber(Statement *statement, SQLUSMALLINT column)
{
    if (statement->columns.empty() && !statement->prepared)
        return statement->diag.error("HY010", "Function sequence error: no statement has been prepared.");
    if (column < 1 || column > statement->columns.size())
        return statement->diag.error("07009", "Invalid descriptor index.");
    return SQL_SUCCESS;
}

namespace {

bool isCharacterType(SQLSMALLINT sqlType)
{
    return sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR || sqlType == SQL_VARCHAR || sqlType == SQL_CHAR;
}

bool numericField(const ColumnInfo &info, SQLUSMALLINT field, SQLLEN *out)
{
    switch (field) {
    case SQL_DESC_TYPE:
        *out = (info.sqlType == SQL_TYPE_TIMESTAMP || info.sqlType == SQL_TIMESTAMP) ? SQL_DATETIME : info.sqlType;
        return true;
    case SQL_DESC_CONCISE_TYPE:
        *out = info.sqlType;
        return true;
    case SQL_DESC_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_COLUMN_PRECISION:
        *out = SQLLEN(info.columnSize);
        return true;
    case SQL_COLUMN_LENGTH:
    case SQL_DESC_OCTET_LENGTH:
        *out = info.octetLength;
        return true;
    case SQL_DESC_DISPLAY_SIZE:
        *out = info.displaySize;
        return true;
    case SQL_DESC_SCALE:
    case SQL_COLUMN_SCALE:
        *out = info.decimalDigits;
        return true;
    case SQL_DESC_NULLABLE:
    case SQL_COLUMN_NULLABLE:
        *out = info.notNull ? SQL_NO_NULLS : SQL_NULLABLE;
        return true;
    case SQL_DESC_UNSIGNED:
        *out = info.isSigned ? SQL_FALSE : SQL_TRUE;
        return true;
    case SQL_DESC_AUTO_UNIQUE_VALUE:
        *out = SQL_FALSE;
        return true;
    case SQL_DESC_CASE_SENSITIVE:
        *out = SQL_FALSE;
        return true;
    case SQL_DESC_SEARCHABLE:
        *out = isCharacterType(info.sqlType) ? SQL_PRED_SEARCHABLE : SQL_PRED_BASIC;
        return true;
    case SQL_DESC_UPDATABLE:
        *out = SQL_ATTR_READONLY;
        return true;
    case SQL_DESC_UNNAMED:
        *out = info.name.empty() ? SQL_UNNAMED : SQL_NAMED;
        return true;
    case SQL_DESC_NUM_PREC_RADIX:
        *out = (info.sqlType == SQL_DOUBLE) ? 2 : (info.isSigned ? 10 : 0);
        return true;
    case SQL_DESC_FIXED_PREC_SCALE:
        *out = info.sqlType == SQL_DECIMAL ? SQL_TRUE : SQL_FALSE;
        return true;
    default:
        return false;
    }
}

bool textField(const ColumnInfo &info, SQLUSMALLINT field, std::string *out)
{
    switch (field) {
    case SQL_DESC_NAME:
    case SQL_DESC_LABEL:
    case SQL_COLUMN_NAME:
        *out = info.name;
        return true;
    case SQL_DESC_BASE_COLUMN_NAME:
        *out = info.baseColumn;
        return true;
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_TABLE_NAME:
        *out = info.baseTable;
        return true;
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME:
        *out = info.typeName;
        return true;
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_SCHEMA_NAME:
        out->clear();
        return true;
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
        if (isCharacterType(info.sqlType))
            *out = "'";
        else if (info.sqlType == SQL_TYPE_TIMESTAMP || info.sqlType == SQL_TIMESTAMP)
            *out = "#";
        else
            out->clear();
        return true;
    default:
        return false;
    }
}

} // namespace

SQLRETURN columnAttribute(Statement *statement, SQLUSMALLINT column, SQLUSMALLINT field, AttributeValue *out)
{
    if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
        out->isText = false;
        out->number = SQLLEN(statement->columns.size());
        return SQL_SUCCESS;
    }
    const SQLRETURN checked = checkColumnNumber(statement, column);
    if (checked != SQL_SUCCESS)
        return checked;
    const ColumnInfo &info = statement->columns[column - 1];
    if (numericField(info, field, &out->number)) {
        out->isText = false;
        return SQL_SUCCESS;
    }
    if (textField(info, field, &out->text)) {
        out->isText = true;
        return SQL_SUCCESS;
    }
    return statement->diag.error("HY091", "Invalid descriptor field identifier.");
}

} // namespace accessodbc
