#pragma once

// Input parameters: the values an application binds to the ? markers of a statement,
// read from its buffers at each execution and handed to SQLite as its own parameters.
// A value never becomes part of the SQL text.

#include "odbc/statement.h"

namespace accessodbc {

SQLRETURN bindParameter(Statement *statement, SQLUSMALLINT number, SQLSMALLINT direction, SQLSMALLINT cType,
                        SQLSMALLINT sqlType, SQLPOINTER value, SQLLEN bufferLength, SQLLEN *indicator);

// Binds every marker of the prepared statement from the application's buffers as they
// are now. Fails with 07002 when a marker has no value bound.
SQLRETURN bindParameterValues(Statement *statement);

// Whether a bound marker's value comes at execution (SQL_DATA_AT_EXEC, SQL_LEN_DATA_AT_EXEC);
// if so, the statement now waits for SQLParamData.
bool awaitsDataAtExecution(Statement *statement);

// SQLParamData: names the next marker whose value is wanted (SQL_NEED_DATA, *value the
// pointer it was bound with), or runs the statement once every value has come.
SQLRETURN parameterData(Statement *statement, SQLPOINTER *value);

// SQLPutData: a part of the value of the marker SQLParamData named; text and binary
// values may come in any number of parts.
SQLRETURN putData(Statement *statement, SQLPOINTER data, SQLLEN length);

// SQLDescribeParam: a marker compared with a table column is described as that column,
// any other as SQL_VARCHAR(255).
SQLRETURN describeParameter(Statement *statement, SQLUSMALLINT number, SQLSMALLINT *sqlType, SQLULEN *size,
                            SQLSMALLINT *decimalDigits, SQLSMALLINT *nullable);

} // namespace accessodbc
