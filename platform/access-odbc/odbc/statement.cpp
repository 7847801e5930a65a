#include "odbc/statement.h"
#include "odbc/conversion.h"
#include "odbc/parameters.h"
#include "odbc/results.h"
#include "sql/sql_translate.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace accessodbc {
namespace {

void finalize(Statement *statement)
{
    sqlite3_finalize(statement->stmt);
    statement->stmt = nullptr;
    statement->prepared = false;
    statement->cursorOpen = false;
    statement->rowPending = false;
    statement->onRow = false;
    statement->exhausted = false;
    statement->columns.clear();
    statement->expressionTypes.clear();
    statement->typeOverridesDeclared.clear();
    statement->partial.column = -1;
    statement->parameterColumns.clear();
    statement->pendingData = DataAtExecution();
}

// The declared type an expression of that kind is described by.
std::string declaredTypeOf(sql::ValueKind kind)
{
    switch (kind) {
    case sql::ValueKind::Date:
        return "DATETIME";
    case sql::ValueKind::Currency:
        return "CURRENCY";
    case sql::ValueKind::Boolean:
        return "BIT";
    case sql::ValueKind::Text:
        return "TEXT(255)";
    case sql::ValueKind::Number:
        return kNumberExpression;
    case sql::ValueKind::Unknown:
        break;
    }
    return std::string();
}

std::vector<std::string> declaredTypesOf(const std::vector<sql::ValueKind> &kinds)
{
    std::vector<std::string> types;
    for (sql::ValueKind kind : kinds)
        types.push_back(declaredTypeOf(kind));
    return types;
}

bool isDateTimeSqlType(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_TYPE_DATE: case SQL_DATE: case SQL_TYPE_TIME: case SQL_TIME: case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP:
        return true;
    default:
        return false;
    }
}

// What the application bound to each marker, where that changes the statement's meaning:
// a date is a date in SELECT ? and in ? - 1; a true is Access's Yes.
std::vector<sql::ValueKind> boundParameterKinds(const Statement &statement)
{
    std::vector<sql::ValueKind> kinds;
    for (const ParameterBinding &binding : statement.parameters) {
        sql::ValueKind kind = sql::ValueKind::Unknown;
        if (binding.bound && (isDateTimeCType(binding.cType) || isDateTimeSqlType(binding.sqlType)))
            kind = sql::ValueKind::Date;
        else if (binding.bound && (binding.cType == SQL_C_BIT || binding.sqlType == SQL_BIT))
            kind = sql::ValueKind::Boolean;
        kinds.push_back(kind);
    }
    while (!kinds.empty() && kinds.back() == sql::ValueKind::Unknown)
        kinds.pop_back();
    return kinds;
}

// Whatever follows the statement may only be blanks, comments and semicolons; Access
// runs exactly one statement per call.
bool onlySeparatorsRemain(const char *tail)
{
    while (tail && *tail) {
        if (std::isspace(static_cast<unsigned char>(*tail)) || *tail == ';') {
            ++tail;
        } else if (tail[0] == '-' && tail[1] == '-') {
            tail = std::strchr(tail, '\n');
        } else if (tail[0] == '/' && tail[1] == '*') {
            const char *end = std::strstr(tail + 2, "*/");
            if (!end)
                return false;
            tail = end + 2;
        } else {
            return false;
        }
    }
    return true;
}

const char *stateForSqliteError(const std::string &message)
{
    if (message.rfind("no such table", 0) == 0)
        return "42S02";
    if (message.rfind("no such column", 0) == 0)
        return "42S22";
    return "42000";
}

SQLRETURN reportPrepareFailure(Statement *statement, sqlite3 *db)
{
    Database &database = *statement->connection->database;
    if (database.writeRefused())
        return statement->diag.error(AccessError::ReadOnly);
    const std::string message = sqlite3_errmsg(db);
    if (message == "not an error")
        return statement->diag.error("42000", "Invalid SQL statement; expected a statement to run.");
    const AccessErrorEntry &syntax = accessError(AccessError::SqlSyntax);
    return statement->diag.error(stateForSqliteError(message), accessErrorText(AccessError::SqlSyntax, message),
                                 syntax.nativeError);
}

SQLRETURN prepareWithTrust(Statement *statement, const std::string &statementText, bool trusted,
                           const std::vector<sql::ValueKind> &parameterKinds = {})
{
    finalize(statement);
    Connection *connection = statement->connection;
    if (!connection->connected())
        return statement->diag.error("08003", "Connection not open.");
    Database &database = *connection->database;
    sqlite3 *db = database.handle();

    // Application SQL is Access SQL; the driver's own catalog SQL is SQLite's already.
    std::string sql = statementText;
    std::vector<std::string> expressionTypes;
    std::vector<bool> typeOverridesDeclared;
    if (!trusted) {
        const sql::Translation translation = sql::translate(statementText, db, parameterKinds, connection->refusedQueries);
        if (translation.write)
            return statement->diag.error(AccessError::ReadOnly);
        if (!translation.error.empty())
            return statement->diag.error(translation.state.c_str(), translation.error, translation.nativeError);
        sql = translation.sql;
        statement->parameterColumns = translation.parameterColumns;
        expressionTypes = declaredTypesOf(translation.columnKinds);
        typeOverridesDeclared = translation.kindOverridesDeclared;
    }

    database.clearWriteRefused();
    database.setTrusted(trusted);
    const char *tail = nullptr;
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &stmt, &tail);
    database.setTrusted(false);
    if (rc != SQLITE_OK || !stmt) {
        sqlite3_finalize(stmt);
        return reportPrepareFailure(statement, db);
    }
    if (!onlySeparatorsRemain(tail)) {
        sqlite3_finalize(stmt);
        return statement->diag.error(AccessError::TextAfterStatement);
    }
    if (!sqlite3_stmt_readonly(stmt)) {
        sqlite3_finalize(stmt);
        return statement->diag.error(AccessError::ReadOnly);
    }
    statement->stmt = stmt;
    statement->prepared = true;
    statement->catalog = trusted;
    statement->accessSql = trusted ? std::string() : statementText;
    statement->parameterKinds = parameterKinds;
    statement->expressionTypes = std::move(expressionTypes);
    statement->typeOverridesDeclared = std::move(typeOverridesDeclared);
    describeColumns(statement);
    return SQL_SUCCESS;
}

SQLRETURN reportStepFailure(Statement *statement, int rc)
{
    const std::string message = sqlite3_errmsg(statement->connection->database->handle());
    sqlite3_reset(statement->stmt);
    statement->cursorOpen = false;
    statement->onRow = false;
    if (rc == SQLITE_INTERRUPT && statement->cancelRequested.exchange(false))
        return statement->diag.error("HY008", "Operation canceled.", -1);
    return statement->diag.error("HY000", message + ".", -1);
}

// The statement stepping on this thread, which the progress handler asks whether it was
// cancelled; SQLite calls the handler on the stepping thread.
thread_local const Statement *tSteppingStatement = nullptr;

int cancelledWhileStepping(void *)
{
    return tSteppingStatement && tSteppingStatement->cancelRequested ? 1 : 0;
}

class Stepping {
public:
    explicit Stepping(const Statement *statement) { tSteppingStatement = statement; }
    ~Stepping() { tSteppingStatement = nullptr; }
    Stepping(const Stepping &) = delete;
    Stepping &operator=(const Stepping &) = delete;
};

SQLRETURN stepRow(Statement *statement, bool *gotRow)
{
    if (statement->maxRows > 0 && statement->rowNumber >= statement->maxRows) {
        *gotRow = false;
        return SQL_SUCCESS;
    }
    // Pragma functions in catalog SQL prepare their own statements while stepping.
    Database &database = *statement->connection->database;
    database.setTrusted(statement->catalog);
    int rc;
    {
        const Stepping stepping(statement);
        rc = sqlite3_step(statement->stmt);
    }
    database.setTrusted(false);
    if (rc == SQLITE_ROW) {
        *gotRow = true;
        return SQL_SUCCESS;
    }
    if (rc == SQLITE_DONE) {
        *gotRow = false;
        return SQL_SUCCESS;
    }
    return reportStepFailure(statement, rc);
}

void reportFetchProgress(Statement *statement, bool gotRow)
{
    if (statement->rowsFetched)
        *statement->rowsFetched = gotRow ? 1 : 0;
    if (statement->rowStatus) {
        statement->rowStatus[0] = gotRow ? SQL_ROW_SUCCESS : SQL_ROW_NOROW;
        for (SQLULEN i = 1; i < statement->rowArraySize; ++i)
            statement->rowStatus[i] = SQL_ROW_NOROW;
    }
}

} // namespace

void allowCancelling(sqlite3 *db) { sqlite3_progress_handler(db, 1000, cancelledWhileStepping, nullptr); }

Statement::~Statement()
{
    sqlite3_finalize(stmt);
}

Statement *allocateStatement(Connection *connection)
{
    Statement *statement = new Statement(connection);
    connection->statements.push_back(statement);
    return statement;
}

void freeStatement(Statement *statement)
{
    std::vector<Statement *> &list = statement->connection->statements;
    list.erase(std::remove(list.begin(), list.end(), statement), list.end());
    delete statement;
}

SQLRETURN prepareStatement(Statement *statement, const std::string &sql)
{
    return prepareWithTrust(statement, sql, false);
}

SQLRETURN executeStatement(Statement *statement)
{
    if (!statement->prepared || !statement->stmt)
        return statement->diag.error("HY010", "Function sequence error: no statement has been prepared.");
    if (statement->cursorOpen)
        return statement->diag.error("24000", "Invalid cursor state.");
    const std::vector<sql::ValueKind> kinds = boundParameterKinds(*statement);
    if (!statement->catalog && kinds != statement->parameterKinds) {
        const SQLRETURN prepared = prepareWithTrust(statement, statement->accessSql, false, kinds);
        if (prepared != SQL_SUCCESS)
            return prepared;
    }
    sqlite3_reset(statement->stmt);
    statement->pendingData = DataAtExecution();
    if (awaitsDataAtExecution(statement))
        return SQL_NEED_DATA;
    return runWithParameters(statement);
}

SQLRETURN runWithParameters(Statement *statement)
{
    const SQLRETURN bound = bindParameterValues(statement);
    statement->pendingData = DataAtExecution();
    if (bound != SQL_SUCCESS)
        return bound;
    statement->rowNumber = 0;
    statement->onRow = false;
    statement->partial.column = -1;
    // The first row is stepped now so that expression columns can be typed by their value.
    bool gotRow = false;
    const SQLRETURN rc = stepRow(statement, &gotRow);
    if (rc != SQL_SUCCESS)
        return rc;
    statement->cursorOpen = true;
    statement->rowPending = gotRow;
    statement->exhausted = !gotRow;
    statement->diag.rowCount = -1;
    describeColumns(statement);
    return SQL_SUCCESS;
}

SQLRETURN executeDirect(Statement *statement, const std::string &sql)
{
    const SQLRETURN rc = prepareStatement(statement, sql);
    return rc == SQL_SUCCESS ? executeStatement(statement) : rc;
}

SQLRETURN executeCatalogQuery(Statement *statement, const std::string &sql, const std::vector<std::string> &arguments,
                              const std::vector<std::string> &columnTypes)
{
    SQLRETURN rc = prepareWithTrust(statement, sql, true);
    if (rc != SQL_SUCCESS)
        return rc;
    statement->expressionTypes = columnTypes;
    for (size_t i = 0; i < arguments.size(); ++i)
        sqlite3_bind_text(statement->stmt, int(i + 1), arguments[i].c_str(), -1, SQLITE_TRANSIENT);
    // Binding is done; the parameter check in executeStatement concerns application SQL only.
    sqlite3_reset(statement->stmt);
    statement->rowNumber = 0;
    bool gotRow = false;
    rc = stepRow(statement, &gotRow);
    if (rc != SQL_SUCCESS)
        return rc;
    statement->cursorOpen = true;
    statement->rowPending = gotRow;
    statement->exhausted = !gotRow;
    describeColumns(statement);
    return SQL_SUCCESS;
}

SQLRETURN fetchNext(Statement *statement)
{
    if (!statement->cursorOpen)
        return statement->diag.error("24000", "Invalid cursor state.");
    statement->partial.column = -1;
    bool gotRow = false;
    if (statement->rowPending) {
        statement->rowPending = false;
        gotRow = true;
    } else if (!statement->exhausted) {
        const SQLRETURN rc = stepRow(statement, &gotRow);
        if (rc != SQL_SUCCESS)
            return rc;
    }
    statement->onRow = gotRow;
    statement->exhausted = !gotRow;
    reportFetchProgress(statement, gotRow);
    if (!gotRow)
        return SQL_NO_DATA;
    ++statement->rowNumber;
    return statement->bindings.empty() ? SQL_SUCCESS : fillBoundColumns(statement);
}

SQLRETURN fetchScroll(Statement *statement, SQLSMALLINT orientation, SQLLEN offset)
{
    const bool forward = orientation == SQL_FETCH_NEXT
                      || (orientation == SQL_FETCH_FIRST && statement->rowNumber == 0)
                      || (orientation == SQL_FETCH_ABSOLUTE && offset >= 0 && SQLULEN(offset) == statement->rowNumber + 1)
                      || (orientation == SQL_FETCH_RELATIVE && offset == 1);
    if (!forward)
        return statement->diag.error("HY106", "Fetch type out of range: the cursor only moves forward.");
    return fetchNext(statement);
}

SQLRETURN closeCursor(Statement *statement, bool complainIfClosed)
{
    if (!statement->cursorOpen && complainIfClosed)
        return statement->diag.error("24000", "Invalid cursor state.");
    if (statement->stmt)
        sqlite3_reset(statement->stmt);
    statement->cursorOpen = false;
    statement->rowPending = false;
    statement->onRow = false;
    statement->exhausted = false;
    statement->partial.column = -1;
    return SQL_SUCCESS;
}

SQLRETURN freeStatementOption(Statement *statement, SQLUSMALLINT option)
{
    switch (option) {
    case SQL_CLOSE:
        return closeCursor(statement, false);
    case SQL_UNBIND:
        statement->bindings.clear();
        return SQL_SUCCESS;
    case SQL_RESET_PARAMS:
        // Values still awaited at execution belonged to the bindings dropped here.
        statement->parameters.clear();
        statement->pendingData = DataAtExecution();
        return SQL_SUCCESS;
    default:
        return statement->diag.error("HY092", "Invalid attribute/option identifier.");
    }
}

SQLRETURN bindColumn(Statement *statement, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                     SQLLEN bufferLength, SQLLEN *indicator)
{
    if (column == 0)
        return statement->diag.error("07009", "Invalid descriptor index: bookmarks are not supported.");
    if (bufferLength < 0)
        return statement->diag.error("HY090", "Invalid string or buffer length.");
    if (statement->bindings.size() < column)
        statement->bindings.resize(column);
    statement->bindings[column - 1] = ColumnBinding{cType, target, bufferLength, indicator};
    return SQL_SUCCESS;
}

SQLRETURN setStatementAttribute(Statement *statement, SQLINTEGER attribute, SQLPOINTER value)
{
    const SQLULEN number = SQLULEN(reinterpret_cast<uintptr_t>(value));
    switch (attribute) {
    case SQL_ATTR_CURSOR_TYPE:
        if (number != SQL_CURSOR_FORWARD_ONLY) {
            statement->diag.warning("01S02", "Option value changed: the cursor is forward-only.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    case SQL_ATTR_CONCURRENCY:
        if (number != SQL_CONCUR_READ_ONLY) {
            statement->diag.warning("01S02", "Option value changed: the cursor is read-only.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SCROLLABLE:
        if (number != SQL_NONSCROLLABLE)
            return statement->diag.error("HYC00", "Optional feature not implemented: scrollable cursors.");
        return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS:
        statement->maxRows = number;
        return SQL_SUCCESS;
    case SQL_ATTR_QUERY_TIMEOUT:
        statement->queryTimeout = number;
        return SQL_SUCCESS;
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
        if (number != 1) {
            statement->diag.warning("01S02", "Option value changed: one row is fetched at a time.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR:
        statement->rowsFetched = static_cast<SQLULEN *>(value);
        return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR:
        statement->rowStatus = static_cast<SQLUSMALLINT *>(value);
        return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE:
    case SQL_ATTR_NOSCAN:
    case SQL_ATTR_MAX_LENGTH:
    case SQL_ATTR_RETRIEVE_DATA:
    case SQL_ATTR_CURSOR_SENSITIVITY:
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_METADATA_ID:
        return SQL_SUCCESS;
    default:
        return statement->diag.error("HY092", "Invalid attribute/option identifier.");
    }
}

namespace {

SQLRETURN storeULen(SQLPOINTER value, SQLINTEGER *stringLength, SQLULEN number)
{
    if (value)
        std::memcpy(value, &number, sizeof number);
    if (stringLength)
        *stringLength = sizeof number;
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN getStatementAttribute(Statement *statement, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                SQLINTEGER *stringLength)
{
    switch (attribute) {
    case SQL_ATTR_CURSOR_TYPE:
        return storeULen(value, stringLength, SQL_CURSOR_FORWARD_ONLY);
    case SQL_ATTR_CURSOR_SCROLLABLE:
        return storeULen(value, stringLength, SQL_NONSCROLLABLE);
    case SQL_ATTR_CONCURRENCY:
        return storeULen(value, stringLength, SQL_CONCUR_READ_ONLY);
    case SQL_ATTR_CURSOR_SENSITIVITY:
        return storeULen(value, stringLength, SQL_INSENSITIVE);
    case SQL_ATTR_MAX_ROWS:
        return storeULen(value, stringLength, statement->maxRows);
    case SQL_ATTR_QUERY_TIMEOUT:
        return storeULen(value, stringLength, statement->queryTimeout);
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
        return storeULen(value, stringLength, 1);
    case SQL_ATTR_ROW_NUMBER:
        return storeULen(value, stringLength, statement->onRow ? statement->rowNumber : 0);
    case SQL_ATTR_ROW_BIND_TYPE:
        return storeULen(value, stringLength, SQL_BIND_BY_COLUMN);
    case SQL_ATTR_ASYNC_ENABLE:
        return storeULen(value, stringLength, SQL_ASYNC_ENABLE_OFF);
    case SQL_ATTR_ROWS_FETCHED_PTR:
        if (value)
            std::memcpy(value, &statement->rowsFetched, sizeof statement->rowsFetched);
        return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR:
        if (value)
            std::memcpy(value, &statement->rowStatus, sizeof statement->rowStatus);
        return SQL_SUCCESS;
    default:
        return statement->diag.error("HY092", "Invalid attribute/option identifier.");
    }
}

} // namespace accessodbc
