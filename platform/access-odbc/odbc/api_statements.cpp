// Exported entry points for statements: execution, result description, fetching and
// the catalog functions.

#include "odbc/api_support.h"
#include "odbc/catalog.h"
#include "odbc/conversion.h"
#include "odbc/parameters.h"
#include "odbc/results.h"
#include "odbc/statement.h"

#include <cstring>

using namespace accessodbc;

namespace {

// Runs a call that starts a new result. A statement runs nothing new while its cursor is
// open, even after its last row has been fetched: the application closes it first
// (SQLCloseCursor, SQLFreeStmt with SQL_CLOSE).
template <typename Body>
SQLRETURN startingResult(Statement *statement, Body body)
{
    return guarded(statement, [&]() -> SQLRETURN {
        if (statement->cursorOpen)
            return statement->diag.error("24000", "Invalid cursor state.");
        return body();
    });
}

SQLRETURN prepare(Encoding encoding, SQLHSTMT handle, const void *text, SQLINTEGER length)
{
    Statement *statement = asStatement(handle);
    return startingResult(statement, [&]() -> SQLRETURN {
        if (!text)
            return statement->diag.error("HY009", "Invalid use of null pointer.");
        return prepareStatement(statement, textIn(encoding, text, length));
    });
}

SQLRETURN execDirect(Encoding encoding, SQLHSTMT handle, const void *text, SQLINTEGER length)
{
    Statement *statement = asStatement(handle);
    return startingResult(statement, [&]() -> SQLRETURN {
        if (!text)
            return statement->diag.error("HY009", "Invalid use of null pointer.");
        return executeDirect(statement, textIn(encoding, text, length));
    });
}

SQLRETURN describe(Encoding encoding, SQLHSTMT handle, SQLUSMALLINT column, void *name, SQLSMALLINT bufferLength,
                   SQLSMALLINT *nameLength, SQLSMALLINT *dataType, SQLULEN *columnSize, SQLSMALLINT *decimalDigits,
                   SQLSMALLINT *nullable)
{
    Statement *statement = asStatement(handle);
    return guarded(statement, [&]() -> SQLRETURN {
        const SQLRETURN checked = checkColumnNumber(statement, column);
        if (checked != SQL_SUCCESS)
            return checked;
        const ColumnInfo &info = statement->columns[column - 1];
        storeLength(dataType, info.sqlType);
        storeLength(columnSize, SQLLEN(info.columnSize));
        storeLength(decimalDigits, info.decimalDigits);
        storeLength(nullable, info.notNull ? SQL_NO_NULLS : SQL_NULLABLE);
        return writeText(statement->diag, encoding, info.name, name, bufferLength, nameLength, false);
    });
}

SQLRETURN attribute(Encoding encoding, SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                    SQLSMALLINT bufferLength, SQLSMALLINT *stringLength, SQLLEN *number)
{
    Statement *statement = asStatement(handle);
    return guarded(statement, [&]() -> SQLRETURN {
        AttributeValue value;
        const SQLRETURN rc = columnAttribute(statement, column, field, &value);
        if (rc != SQL_SUCCESS)
            return rc;
        if (value.isText)
            return writeText(statement->diag, encoding, value.text, text, bufferLength, stringLength, true);
        storeLength(number, value.number);
        return SQL_SUCCESS;
    });
}

SQLRETURN setStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value)
{
    Statement *statement = asStatement(handle);
    return guarded(statement, [&] { return setStatementAttribute(statement, attribute, value); });
}

SQLRETURN getStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER *stringLength)
{
    Statement *statement = asStatement(handle);
    return guarded(statement,
                   [&] { return getStatementAttribute(statement, attribute, value, bufferLength, stringLength); });
}

// A catalog argument given as a null pointer matches everything.
std::unique_ptr<std::string> pattern(Encoding encoding, const void *text, SQLSMALLINT length)
{
    if (!text)
        return nullptr;
    return std::unique_ptr<std::string>(new std::string(textIn(encoding, text, length)));
}

// SQLTables with its four arguments, each a null pointer or a text of the call's encoding.
struct TablesArguments {
    const void *text[4];
    SQLSMALLINT length[4];
};

SQLRETURN tables(Encoding encoding, SQLHSTMT handle, const TablesArguments &arguments)
{
    Statement *statement = asStatement(handle);
    return startingResult(statement, [&] {
        std::unique_ptr<std::string> texts[4];
        for (int i = 0; i < 4; ++i)
            texts[i] = pattern(encoding, arguments.text[i], arguments.length[i]);
        TablesRequest request;
        request.catalog = texts[0].get();
        request.schema = texts[1].get();
        request.table = texts[2].get();
        request.tableTypes = texts[3].get();
        return catalogTables(statement, request);
    });
}

SQLRETURN columns(Encoding encoding, SQLHSTMT handle, const void *table, SQLSMALLINT tableLength, const void *column,
                  SQLSMALLINT columnLength)
{
    Statement *statement = asStatement(handle);
    return startingResult(statement, [&] {
        const auto tablePattern = pattern(encoding, table, tableLength);
        const auto columnPattern = pattern(encoding, column, columnLength);
        return catalogColumns(statement, tablePattern.get(), columnPattern.get());
    });
}

SQLRETURN typeInfo(SQLHSTMT handle, SQLSMALLINT dataType)
{
    Statement *statement = asStatement(handle);
    return startingResult(statement, [&] { return catalogTypeInfo(statement, dataType); });
}

SQLRETURN primaryKeys(Encoding encoding, SQLHSTMT handle, const void *table, SQLSMALLINT tableLength)
{
    Statement *statement = asStatement(handle);
    return startingResult(statement, [&]() -> SQLRETURN {
        if (!table)
            return statement->diag.error("HY009", "Invalid use of null pointer.");
        return catalogPrimaryKeys(statement, textIn(encoding, table, tableLength));
    });
}

SQLRETURN statistics(Encoding encoding, SQLHSTMT handle, const void *table, SQLSMALLINT tableLength,
                     SQLUSMALLINT unique)
{
    Statement *statement = asStatement(handle);
    return startingResult(statement, [&]() -> SQLRETURN {
        if (!table)
            return statement->diag.error("HY009", "Invalid use of null pointer.");
        if (unique != SQL_INDEX_UNIQUE && unique != SQL_INDEX_ALL)
            return statement->diag.error("HY100", "Uniqueness option type out of range.");
        return catalogStatistics(statement, textIn(encoding, table, tableLength), unique);
    });
}

SQLRETURN specialColumns(Encoding encoding, SQLHSTMT handle, SQLUSMALLINT identifierType, const void *table,
                         SQLSMALLINT tableLength)
{
    Statement *statement = asStatement(handle);
    return startingResult(statement, [&]() -> SQLRETURN {
        if (!table)
            return statement->diag.error("HY009", "Invalid use of null pointer.");
        if (identifierType != SQL_BEST_ROWID && identifierType != SQL_ROWVER)
            return statement->diag.error("HY097", "Column type out of range.");
        return catalogSpecialColumns(statement, identifierType, textIn(encoding, table, tableLength));
    });
}

} // namespace

extern "C" {

SQLRETURN SQL_API SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR *StatementText, SQLINTEGER TextLength)
{
    return prepare(Encoding::Ansi, StatementHandle, StatementText, TextLength);
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT hstmt, SQLWCHAR *szSqlStr, SQLINTEGER cbSqlStr)
{
    return prepare(Encoding::Wide, hstmt, szSqlStr, cbSqlStr);
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT StatementHandle)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&] { return executeStatement(statement); });
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR *StatementText, SQLINTEGER TextLength)
{
    return execDirect(Encoding::Ansi, StatementHandle, StatementText, TextLength);
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT hstmt, SQLWCHAR *szSqlStr, SQLINTEGER cbSqlStr)
{
    return execDirect(Encoding::Wide, hstmt, szSqlStr, cbSqlStr);
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT *ColumnCount)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&]() -> SQLRETURN {
        if (!ColumnCount)
            return statement->diag.error("HY009", "Invalid use of null pointer.");
        *ColumnCount = SQLSMALLINT(statement->columns.size());
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT StatementHandle, SQLSMALLINT *ParameterCount)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&]() -> SQLRETURN {
        if (!statement->stmt)
            return statement->diag.error("HY010", "Function sequence error: no statement has been prepared.");
        storeLength(ParameterCount, sqlite3_bind_parameter_count(statement->stmt));
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                                   SQLSMALLINT fSqlType, SQLULEN, SQLSMALLINT, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                                   SQLLEN *pcbValue)
{
    Statement *statement = asStatement(hstmt);
    return guarded(statement, [&] {
        return bindParameter(statement, ipar, fParamType, fCType, fSqlType, rgbValue, cbValueMax, pcbValue);
    });
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT StatementHandle, SQLPOINTER *Value)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&] { return parameterData(statement, Value); });
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT StatementHandle, SQLPOINTER Data, SQLLEN StrLen_or_Ind)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&] { return putData(statement, Data, StrLen_or_Ind); });
}

SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber, SQLSMALLINT *DataType,
                                   SQLULEN *ParameterSize, SQLSMALLINT *DecimalDigits, SQLSMALLINT *Nullable)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&] {
        return describeParameter(statement, ParameterNumber, DataType, ParameterSize, DecimalDigits, Nullable);
    });
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLCHAR *ColumnName,
                                 SQLSMALLINT BufferLength, SQLSMALLINT *NameLength, SQLSMALLINT *DataType,
                                 SQLULEN *ColumnSize, SQLSMALLINT *DecimalDigits, SQLSMALLINT *Nullable)
{
    return describe(Encoding::Ansi, StatementHandle, ColumnNumber, ColumnName, BufferLength, NameLength, DataType,
                    ColumnSize, DecimalDigits, Nullable);
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLWCHAR *szColName, SQLSMALLINT cbColNameMax,
                                  SQLSMALLINT *pcbColName, SQLSMALLINT *pfSqlType, SQLULEN *pcbColDef,
                                  SQLSMALLINT *pibScale, SQLSMALLINT *pfNullable)
{
    return describe(Encoding::Wide, hstmt, icol, szColName, cbColNameMax, pcbColName, pfSqlType, pcbColDef, pibScale,
                    pfNullable);
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLUSMALLINT FieldIdentifier,
                                  SQLPOINTER CharacterAttribute, SQLSMALLINT BufferLength, SQLSMALLINT *StringLength,
                                  SQLLEN *NumericAttribute)
{
    return attribute(Encoding::Ansi, StatementHandle, ColumnNumber, FieldIdentifier, CharacterAttribute, BufferLength,
                     StringLength, NumericAttribute);
}

SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT hstmt, SQLUSMALLINT iCol, SQLUSMALLINT iField, SQLPOINTER pCharAttr,
                                   SQLSMALLINT cbCharAttrMax, SQLSMALLINT *pcbCharAttr, SQLLEN *pNumAttr)
{
    return attribute(Encoding::Wide, hstmt, iCol, iField, pCharAttr, cbCharAttrMax, pcbCharAttr, pNumAttr);
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType,
                             SQLPOINTER TargetValue, SQLLEN BufferLength, SQLLEN *StrLen_or_Ind)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&] {
        return bindColumn(statement, ColumnNumber, TargetType, TargetValue, BufferLength, StrLen_or_Ind);
    });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT StatementHandle)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&] { return fetchNext(statement); });
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT StatementHandle, SQLSMALLINT FetchOrientation, SQLLEN FetchOffset)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&] { return fetchScroll(statement, FetchOrientation, FetchOffset); });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType,
                             SQLPOINTER TargetValue, SQLLEN BufferLength, SQLLEN *StrLen_or_Ind)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&]() -> SQLRETURN {
        if (BufferLength < 0)
            return statement->diag.error("HY090", "Invalid string or buffer length.");
        return getData(statement, ColumnNumber, TargetType, TargetValue, BufferLength, StrLen_or_Ind);
    });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT StatementHandle, SQLLEN *RowCount)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&]() -> SQLRETURN {
        if (!RowCount)
            return statement->diag.error("HY009", "Invalid use of null pointer.");
        // Nothing is ever inserted, updated or deleted; for a SELECT the count is unknown.
        *RowCount = -1;
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT StatementHandle)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&]() -> SQLRETURN {
        closeCursor(statement, false);
        return SQL_NO_DATA;
    });
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT StatementHandle, SQLUSMALLINT Option)
{
    Statement *statement = asStatement(StatementHandle);
    if (statement && Option == SQL_DROP) {
        freeStatement(statement);
        return SQL_SUCCESS;
    }
    return guarded(statement, [&] { return freeStatementOption(statement, Option); });
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT StatementHandle)
{
    Statement *statement = asStatement(StatementHandle);
    return guarded(statement, [&] { return closeCursor(statement, true); });
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT StatementHandle)
{
    Statement *statement = asStatement(StatementHandle);
    if (!statement)
        return SQL_INVALID_HANDLE;
    // A call running on another thread holds the connection's lock: the statement is asked
    // to stop, and its step fails with HY008. Otherwise all there is to cancel is a
    // statement waiting for its parameter values.
    std::unique_lock<std::mutex> lock(statement->connection->lock, std::try_to_lock);
    if (!lock.owns_lock()) {
        statement->cancelRequested = true;
        return SQL_SUCCESS;
    }
    // With nothing to cancel the call has no effect: the diagnostics of the call it came
    // too late for stay readable.
    if (statement->pendingData.active) {
        statement->diag.clear();
        statement->pendingData = DataAtExecution();
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER)
{
    return setStmtAttr(StatementHandle, Attribute, Value);
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER rgbValue, SQLINTEGER)
{
    return setStmtAttr(hstmt, fAttribute, rgbValue);
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                 SQLINTEGER BufferLength, SQLINTEGER *StringLength)
{
    return getStmtAttr(StatementHandle, Attribute, Value, BufferLength, StringLength);
}

SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER fAttribute, SQLPOINTER rgbValue, SQLINTEGER cbValueMax,
                                  SQLINTEGER *pcbValue)
{
    return getStmtAttr(hstmt, fAttribute, rgbValue, cbValueMax, pcbValue);
}

SQLRETURN SQL_API SQLTables(SQLHSTMT StatementHandle, SQLCHAR *CatalogName, SQLSMALLINT NameLength1,
                            SQLCHAR *SchemaName, SQLSMALLINT NameLength2, SQLCHAR *TableName, SQLSMALLINT NameLength3,
                            SQLCHAR *TableType, SQLSMALLINT NameLength4)
{
    return tables(Encoding::Ansi, StatementHandle,
                  {{CatalogName, SchemaName, TableName, TableType}, {NameLength1, NameLength2, NameLength3, NameLength4}});
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT hstmt, SQLWCHAR *szCatalogName, SQLSMALLINT cbCatalogName,
                             SQLWCHAR *szSchemaName, SQLSMALLINT cbSchemaName, SQLWCHAR *szTableName,
                             SQLSMALLINT cbTableName, SQLWCHAR *szTableType, SQLSMALLINT cbTableType)
{
    return tables(Encoding::Wide, hstmt,
                  {{szCatalogName, szSchemaName, szTableName, szTableType},
                   {cbCatalogName, cbSchemaName, cbTableName, cbTableType}});
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT StatementHandle, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                             SQLCHAR *TableName, SQLSMALLINT NameLength3, SQLCHAR *ColumnName, SQLSMALLINT NameLength4)
{
    return columns(Encoding::Ansi, StatementHandle, TableName, NameLength3, ColumnName, NameLength4);
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT hstmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *szTableName,
                              SQLSMALLINT cbTableName, SQLWCHAR *szColumnName, SQLSMALLINT cbColumnName)
{
    return columns(Encoding::Wide, hstmt, szTableName, cbTableName, szColumnName, cbColumnName);
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT StatementHandle, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                                 SQLCHAR *TableName, SQLSMALLINT NameLength3)
{
    return primaryKeys(Encoding::Ansi, StatementHandle, TableName, NameLength3);
}

SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT hstmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT,
                                  SQLWCHAR *szTableName, SQLSMALLINT cbTableName)
{
    return primaryKeys(Encoding::Wide, hstmt, szTableName, cbTableName);
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT StatementHandle, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                                SQLCHAR *TableName, SQLSMALLINT NameLength3, SQLUSMALLINT Unique, SQLUSMALLINT)
{
    return statistics(Encoding::Ansi, StatementHandle, TableName, NameLength3, Unique);
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT hstmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT,
                                 SQLWCHAR *szTableName, SQLSMALLINT cbTableName, SQLUSMALLINT fUnique, SQLUSMALLINT)
{
    return statistics(Encoding::Wide, hstmt, szTableName, cbTableName, fUnique);
}

SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT StatementHandle, SQLUSMALLINT IdentifierType, SQLCHAR *, SQLSMALLINT,
                                    SQLCHAR *, SQLSMALLINT, SQLCHAR *TableName, SQLSMALLINT NameLength3, SQLUSMALLINT,
                                    SQLUSMALLINT)
{
    return specialColumns(Encoding::Ansi, StatementHandle, IdentifierType, TableName, NameLength3);
}

SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT hstmt, SQLUSMALLINT fColType, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *,
                                     SQLSMALLINT, SQLWCHAR *szTableName, SQLSMALLINT cbTableName, SQLUSMALLINT,
                                     SQLUSMALLINT)
{
    return specialColumns(Encoding::Wide, hstmt, fColType, szTableName, cbTableName);
}

SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT StatementHandle, SQLSMALLINT DataType)
{
    return typeInfo(StatementHandle, DataType);
}

SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT StatementHandle, SQLSMALLINT DataType)
{
    return typeInfo(StatementHandle, DataType);
}

} // extern "C"
