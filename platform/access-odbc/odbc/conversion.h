#pragma once

// SQLGetData: the value of a column of the current row in the C type the application asks for.

#include "odbc/statement.h"

namespace accessodbc {

// The C type ODBC defines as the default for a value of that SQL type, for SQL_C_DEFAULT
// in a column or parameter binding.
SQLSMALLINT defaultCType(SQLSMALLINT sqlType);

// Character and binary C types, whose values go in and out as bytes of a length.
bool isTextType(SQLSMALLINT cType);
bool isDateTimeCType(SQLSMALLINT cType);

SQLRETURN getData(Statement *statement, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN *indicator);

// Fills the columns bound with SQLBindCol for the row just fetched.
SQLRETURN fillBoundColumns(Statement *statement);

} // namespace accessodbc
