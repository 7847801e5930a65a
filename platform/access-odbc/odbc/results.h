#pragma once

// What a result column is, as ODBC reports it: its SQL type comes from the type the
// column was declared with in the table, or, for an expression, from its first value.

#include "odbc/statement.h"

#include <string>

namespace accessodbc {

// The ODBC description of a column declared with declaredType ("INTEGER", "TEXT(50)",
// "DATETIME", ...); declaredType may be null or empty for an expression, and then
// sampleType, the SQLite type of the first value, decides.
ColumnInfo columnInfoFor(const char *declaredType, int sampleType, sqlite3_int64 sample, SQLINTEGER odbcVersion);

// The expression type of a number (Statement::expressionTypes): whole numbers and reals
// share the kind, so its first value decides, and a Double stands for a first Null.
constexpr char kNumberExpression[] = "NUMBER";

// Describes every result column of the statement, looking at the current row if there is one.
void describeColumns(Statement *statement);

struct AttributeValue {
    bool isText = false;
    std::string text;
    SQLLEN number = 0;
};

SQLRETURN columnAttribute(Statement *statement, SQLUSMALLINT column, SQLUSMALLINT field, AttributeValue *out);

// Checks that the statement has a result column of that number (counting from 1).
SQLRETURN checkColumnNumber(Statement *statement, SQLUSMALLINT column);

} // namespace accessodbc
