#include "odbc/results.h"

#include <cstdlib>
#include <cstring>

namespace accessodbc {
namespace {

// The first number in "TEXT(50)", "VARBINARY(16)" or "NUMERIC(18,4)" (the length, or the
// precision) or the second (the scale); fallback when there is none.
long declaredNumber(const char *declaredType, int which, long fallback)
{
    const char *at = declaredType ? std::strchr(declaredType, '(') : nullptr;
    if (at && which == 2)
        at = std::strchr(at, ',');
    if (!at)
        return fallback;
    const long number = std::strtol(at + 1, nullptr, 10);
    return number > 0 ? number : fallback;
}

// 255 is Access's longest short text and longest binary field.
SQLULEN declaredLength(const char *declaredType) { return SQLULEN(declaredNumber(declaredType, 1, 255)); }

ColumnInfo typed(const AccessType &type)
{
    ColumnInfo info;
    info.type = &type;
    info.sqlType = type.sqlType;
    info.typeName = type.name;
    info.columnSize = type.columnSize;
    info.displaySize = type.displaySize;
    info.octetLength = type.octetLength;
    info.decimalDigits = type.decimalDigits;
    info.isSigned = isSignedNumber(type);
    return info;
}

ColumnInfo wideText(SQLULEN length)
{
    ColumnInfo info = typed(accessTypeNamed("VARCHAR"));
    info.columnSize = length;
    info.displaySize = SQLLEN(length);
    info.octetLength = SQLLEN(length * 2);
    return info;
}

// A binary field is shown as two hexadecimal digits a byte.
ColumnInfo binary(SQLULEN length)
{
    ColumnInfo info = typed(accessTypeNamed("BINARY"));
    info.columnSize = length;
    info.displaySize = SQLLEN(length * 2);
    info.octetLength = SQLLEN(length);
    return info;
}

// A decimal is shown with its sign and its point.
ColumnInfo decimal(const char *declaredType)
{
    const AccessType &type = accessTypeNamed("NUMERIC");
    ColumnInfo info = typed(type);
    info.columnSize = SQLULEN(declaredNumber(declaredType, 1, long(type.columnSize)));
    info.decimalDigits = SQLSMALLINT(declaredNumber(declaredType, 2, 0));
    info.displaySize = info.octetLength = SQLLEN(info.columnSize + 2);
    return info;
}

ColumnInfo fromDeclaredType(const char *declaredType, SQLINTEGER odbcVersion, bool *known)
{
    const AccessType *type = accessTypeForDeclared(declaredType);
    *known = type != nullptr;
    if (!type)
        return wideText(255);
    if (type->sqlType == SQL_WVARCHAR)
        return wideText(declaredLength(declaredType));
    if (type->sqlType == SQL_BINARY)
        return binary(declaredLength(declaredType));
    if (type->sqlType == SQL_NUMERIC)
        return decimal(declaredType);
    ColumnInfo info = typed(*type);
    if (isAutoNumberType(declaredType)) {
        info.typeName = "COUNTER";
        info.autoNumber = true;
    }
    if (info.sqlType == SQL_TYPE_TIMESTAMP && odbcVersion == SQL_OV_ODBC2)
        info.sqlType = SQL_TIMESTAMP;
    return info;
}

ColumnInfo fromSample(int sampleType, sqlite3_int64 sample)
{
    switch (sampleType) {
    case SQLITE_INTEGER:
        return typed(accessTypeNamed(sample >= -2147483648LL && sample <= 2147483647LL ? "INTEGER" : "BIGINT"));
    case SQLITE_FLOAT:
        return typed(accessTypeNamed("DOUBLE"));
    case SQLITE_BLOB:
        return typed(accessTypeNamed("LONGBINARY"));
    default:
        return wideText(255);
    }
}

ColumnInfo numberFromSample(int sampleType, sqlite3_int64 sample)
{
    return sampleType == SQLITE_INTEGER ? fromSample(sampleType, sample) : typed(accessTypeNamed("DOUBLE"));
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
    bool known = false;
    ColumnInfo info = fromDeclaredType(declaredType, odbcVersion, &known);
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
        const size_t n = size_t(i);
        const char *declaredType = sqlite3_column_decltype(stmt, i);
        const bool overrides = n < statement->typeOverridesDeclared.size() && statement->typeOverridesDeclared[n];
        if ((!declaredType || overrides) && n < statement->expressionTypes.size() && !statement->expressionTypes[n].empty())
            declaredType = statement->expressionTypes[n].c_str();
        const bool number = declaredType && std::strcmp(declaredType, kNumberExpression) == 0;
        ColumnInfo info = number ? numberFromSample(sampleType, sample)
                                 : columnInfoFor(declaredType, sampleType, sample, odbcVersion);
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
        *out = info.autoNumber ? SQL_TRUE : SQL_FALSE;
        return true;
    case SQL_DESC_CASE_SENSITIVE:
        *out = SQL_FALSE;
        return true;
    case SQL_DESC_SEARCHABLE:
        *out = info.type->searchable;
        return true;
    case SQL_DESC_UPDATABLE:
        *out = SQL_ATTR_READONLY;
        return true;
    case SQL_DESC_UNNAMED:
        *out = info.name.empty() ? SQL_UNNAMED : SQL_NAMED;
        return true;
    case SQL_DESC_NUM_PREC_RADIX:
        *out = info.type->radix;
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
        *out = info.type->literalQuote ? info.type->literalQuote : "";
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
