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

} // namespace accessodbc
