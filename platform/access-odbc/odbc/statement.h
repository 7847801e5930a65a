#pragma once

// A statement handle: one prepared SQLite statement, its result columns and a
// forward-only cursor over its rows.

#include "odbc/handles.h"
#include "sql/sql_translate.h"
#include "values/access_types.h"

#include <sqlite3.h>

#include <atomic>
#include <string>
#include <vector>

namespace accessodbc {

struct ColumnInfo {
    std::string name;
    std::string baseTable;
    std::string baseColumn;
    std::string typeName;
    const AccessType *type = nullptr; // the entry of the driver's type table it is described by
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN columnSize = 255;
    SQLSMALLINT decimalDigits = 0;
    SQLLEN displaySize = 255;
    SQLLEN octetLength = 510;
    bool isSigned = false;
    bool notNull = false; // a table column declared NOT NULL
    bool autoNumber = false; // a Long Integer AutoNumber, which Access names COUNTER
};

struct ColumnBinding {
    SQLSMALLINT cType = 0;
    SQLPOINTER target = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN *indicator = nullptr;
};

// An input parameter as SQLBindParameter left it; the buffers are read at each execution.
struct ParameterBinding {
    bool bound = false;
    SQLSMALLINT cType = 0;
    SQLSMALLINT sqlType = 0;
    SQLPOINTER value = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN *indicator = nullptr;
};

// Data at execution: SQLExecute answered SQL_NEED_DATA, and the application now hands over
// the values of those markers with SQLParamData and SQLPutData, one marker after another.
struct DataAtExecution {
    bool active = false;
    std::vector<size_t> markers; // indexes into Statement::parameters, in marker order
    size_t next = 0;             // how many of them SQLParamData has asked for so far
    std::vector<std::string> bytes; // per parameter: what SQLPutData delivered
    std::vector<bool> null;
};

// The value SQLGetData is handing out in parts: the bytes in the application's
// encoding and how many of them have gone out.
struct PartialValue {
    int column = -1;
    SQLSMALLINT cType = 0;
    std::string bytes;
    size_t offset = 0;
    bool finished = false;
    // The value's text on its way to UTF-16, kept from value to value so that reading a
    // row allocates nothing once the buffers have grown.
    std::string text;
    std::u16string wide;
};

struct Statement : HandleBase {
    explicit Statement(Connection *c) : HandleBase(HandleTag::Statement), connection(c) {}
    ~Statement();

    Connection *connection;
    sqlite3_stmt *stmt = nullptr;
    std::vector<ColumnInfo> columns;
    // For each result column that is an expression, the declared type it is described by
    // ("DATETIME", "CURRENCY", "SMALLINT", ...); empty: by its first value.
    std::vector<std::string> expressionTypes;
    // For each result column, whether that type also outweighs the declared type SQLite
    // reports (a union's column whose branches differ).
    std::vector<bool> typeOverridesDeclared;
    std::vector<ColumnBinding> bindings;
    std::vector<ParameterBinding> parameters;
    std::vector<sql::ParameterColumn> parameterColumns; // what each marker is compared with
    DataAtExecution pendingData;
    PartialValue partial;
    std::string accessSql; // as the application gave it, translated again when bound values tell more
    std::vector<sql::ValueKind> parameterKinds; // what the translation took the markers for

    bool prepared = false;
    bool catalog = false; // runs the driver's own schema SQL, trusted while it prepares and steps
    bool cursorOpen = false;
    bool rowPending = false; // the first row has been stepped to learn the column types
    bool onRow = false;
    bool exhausted = false;
    SQLULEN rowNumber = 0;

    SQLULEN maxRows = 0;
    SQLULEN queryTimeout = 0;
    SQLULEN rowArraySize = 1;
    SQLULEN *rowsFetched = nullptr;
    SQLUSMALLINT *rowStatus = nullptr;

    // SQLCancel from another thread, while a call holds the connection's lock, only raises
    // the flag; a step of this statement then ends with HY008.
    std::atomic<bool> cancelRequested{false};
};

inline void startCall(Statement *statement) { statement->cancelRequested = false; }

// Lets a statement's step on db be cancelled (SQLCancel from another thread).
void allowCancelling(sqlite3 *db);

inline Statement *asStatement(SQLHANDLE h) { return handleCast<Statement, HandleTag::Statement>(h); }

// A statement shares its connection's database handle, and so its lock.
inline std::unique_lock<std::mutex> lockFor(Statement *statement) { return lockFor(statement->connection); }

Statement *allocateStatement(Connection *connection);
void freeStatement(Statement *statement);

SQLRETURN prepareStatement(Statement *statement, const std::string &sql);
SQLRETURN executeStatement(Statement *statement);
// Runs the prepared statement with its parameter values: SQLExecute's work once every
// value is there.
SQLRETURN runWithParameters(Statement *statement);
SQLRETURN executeDirect(Statement *statement, const std::string &sql);

// Catalog functions run their own SQL over the schema, which application SQL may not read.
// columnTypes: the declared type of each result column, as the ODBC reference lists the
// columns of that catalog function ("SMALLINT", "INTEGER", "TEXT(128)").
SQLRETURN executeCatalogQuery(Statement *statement, const std::string &sql, const std::vector<std::string> &arguments,
                              const std::vector<std::string> &columnTypes);

SQLRETURN fetchNext(Statement *statement);
SQLRETURN fetchScroll(Statement *statement, SQLSMALLINT orientation, SQLLEN offset);
SQLRETURN closeCursor(Statement *statement, bool complainIfClosed);
SQLRETURN freeStatementOption(Statement *statement, SQLUSMALLINT option);
SQLRETURN bindColumn(Statement *statement, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                     SQLLEN bufferLength, SQLLEN *indicator);

SQLRETURN setStatementAttribute(Statement *statement, SQLINTEGER attribute, SQLPOINTER value);
SQLRETURN getStatementAttribute(Statement *statement, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                                SQLINTEGER *stringLength);

} // namespace accessodbc
