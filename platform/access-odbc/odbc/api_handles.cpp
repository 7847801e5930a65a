// Exported entry points for handles, connections, driver information and diagnostics.
// Each is a thin shell: check the handle, convert text, call the module that does the work.

#include "odbc/api_support.h"
#include "odbc/connection.h"
#include "odbc/info.h"
#include "odbc/statement.h"
#include "sql/odbc_escapes.h"

#include <cstring>

using namespace accessodbc;

namespace {

SQLRETURN allocate(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE *output)
{
    if (!output)
        return SQL_ERROR;
    *output = SQL_NULL_HANDLE;
    try {
        switch (type) {
        case SQL_HANDLE_ENV:
            *output = new Environment;
            return SQL_SUCCESS;
        case SQL_HANDLE_DBC: {
            Environment *environment = asEnvironment(input);
            if (!environment)
                return SQL_INVALID_HANDLE;
            const std::unique_lock<std::mutex> lock = lockFor(environment);
            environment->diag.clear();
            *output = new Connection(environment);
            return SQL_SUCCESS;
        }
        case SQL_HANDLE_STMT: {
            Connection *connection = asConnection(input);
            if (!connection)
                return SQL_INVALID_HANDLE;
            const std::unique_lock<std::mutex> lock = lockFor(connection);
            connection->diag.clear();
            if (!connection->connected())
                return connection->diag.error("08003", "Connection not open.");
            *output = allocateStatement(connection);
            return SQL_SUCCESS;
        }
        default:
            return SQL_ERROR;
        }
    } catch (...) {
        return SQL_ERROR;
    }
}

// The connection's lock is let go before the connection is deleted, never after.
bool stillConnected(Connection *connection)
{
    const std::unique_lock<std::mutex> lock = lockFor(connection);
    if (!connection->connected())
        return false;
    connection->diag.error("HY010", "Function sequence error: the connection is still open.");
    return true;
}

SQLRETURN release(SQLSMALLINT type, SQLHANDLE handle)
{
    switch (type) {
    case SQL_HANDLE_ENV: {
        Environment *environment = asEnvironment(handle);
        if (!environment)
            return SQL_INVALID_HANDLE;
        if (environment->connectionCount > 0) {
            const std::unique_lock<std::mutex> lock = lockFor(environment);
            return environment->diag.error("HY010", "Function sequence error: connections are still open.");
        }
        delete environment;
        return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
        Connection *connection = asConnection(handle);
        if (!connection)
            return SQL_INVALID_HANDLE;
        if (stillConnected(connection))
            return SQL_ERROR;
        delete connection;
        return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
        Statement *statement = asStatement(handle);
        if (!statement)
            return SQL_INVALID_HANDLE;
        const std::unique_lock<std::mutex> lock = lockFor(statement);
        freeStatement(statement);
        return SQL_SUCCESS;
    }
    default:
        return SQL_ERROR;
    }
}

// The diagnostics of a handle are written under the lock of its call; read them under it too.
std::unique_lock<std::mutex> lockDiagnostics(SQLSMALLINT type, HandleBase *base)
{
    switch (type) {
    case SQL_HANDLE_ENV: return lockFor(static_cast<Environment *>(base));
    case SQL_HANDLE_DBC: return lockFor(static_cast<Connection *>(base));
    default: return lockFor(static_cast<Statement *>(base));
    }
}

HandleBase *diagnosticHandle(SQLSMALLINT type, SQLHANDLE handle)
{
    switch (type) {
    case SQL_HANDLE_ENV: return asEnvironment(handle);
    case SQL_HANDLE_DBC: return asConnection(handle);
    case SQL_HANDLE_STMT: return asStatement(handle);
    default: return nullptr;
    }
}

SQLRETURN diagRecord(Encoding encoding, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, void *state,
                     SQLINTEGER *native, void *message, SQLSMALLINT bufferLength, SQLSMALLINT *textLength)
{
    HandleBase *base = diagnosticHandle(type, handle);
    if (!base)
        return SQL_INVALID_HANDLE;
    const std::unique_lock<std::mutex> lock = lockDiagnostics(type, base);
    if (record < 1 || bufferLength < 0)
        return SQL_ERROR;
    const std::vector<DiagRecord> &records = base->diag.records();
    if (size_t(record) > records.size())
        return SQL_NO_DATA;
    const DiagRecord &entry = records[size_t(record - 1)];
    Diagnostics scratch;
    if (state)
        writeText(scratch, encoding, entry.sqlState, state, 6, static_cast<SQLSMALLINT *>(nullptr), false);
    if (native)
        *native = entry.nativeError;
    const SQLRETURN rc = writeText(scratch, encoding, entry.message, message, bufferLength, textLength, false);
    return rc;
}

SQLRETURN headerField(Diagnostics &diag, SQLSMALLINT field, SQLPOINTER info, bool *handled)
{
    *handled = true;
    switch (field) {
    case SQL_DIAG_NUMBER: {
        const SQLINTEGER count = SQLINTEGER(diag.records().size());
        std::memcpy(info, &count, sizeof count);
        return SQL_SUCCESS;
    }
    case SQL_DIAG_RETURNCODE: {
        const SQLRETURN code = diag.lastReturn;
        std::memcpy(info, &code, sizeof code);
        return SQL_SUCCESS;
    }
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
        const SQLLEN count = diag.rowCount;
        std::memcpy(info, &count, sizeof count);
        return SQL_SUCCESS;
    }
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE: {
        const SQLINTEGER code = SQL_DIAG_UNKNOWN_STATEMENT;
        std::memcpy(info, &code, sizeof code);
        return SQL_SUCCESS;
    }
    default:
        *handled = false;
        return SQL_SUCCESS;
    }
}

SQLRETURN diagField(Encoding encoding, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field,
                    SQLPOINTER info, SQLSMALLINT bufferLength, SQLSMALLINT *stringLength)
{
    HandleBase *base = diagnosticHandle(type, handle);
    if (!base)
        return SQL_INVALID_HANDLE;
    const std::unique_lock<std::mutex> lock = lockDiagnostics(type, base);
    Diagnostics &diag = base->diag;
    Diagnostics scratch;
    if (field == SQL_DIAG_DYNAMIC_FUNCTION)
        return writeText(scratch, encoding, "", info, bufferLength, stringLength, true);
    if (!info)
        return SQL_ERROR;
    bool handled = false;
    const SQLRETURN headerResult = headerField(diag, field, info, &handled);
    if (handled)
        return headerResult;

    if (record < 1)
        return SQL_ERROR;
    if (size_t(record) > diag.records().size())
        return SQL_NO_DATA;
    const DiagRecord &entry = diag.records()[size_t(record - 1)];
    switch (field) {
    case SQL_DIAG_SQLSTATE:
        return writeText(scratch, encoding, entry.sqlState, info, bufferLength, stringLength, true);
    case SQL_DIAG_MESSAGE_TEXT:
        return writeText(scratch, encoding, entry.message, info, bufferLength, stringLength, true);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN: {
        const bool odbcClass = entry.sqlState.rfind("IM", 0) == 0 || entry.sqlState.rfind("HY", 0) == 0
                            || entry.sqlState == "01S02" || entry.sqlState == "01S07";
        return writeText(scratch, encoding, odbcClass ? "ODBC 3.0" : "ISO 9075", info, bufferLength, stringLength,
                         true);
    }
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
        return writeText(scratch, encoding, "", info, bufferLength, stringLength, true);
    case SQL_DIAG_NATIVE:
        std::memcpy(info, &entry.nativeError, sizeof entry.nativeError);
        return SQL_SUCCESS;
    case SQL_DIAG_COLUMN_NUMBER: {
        const SQLINTEGER column = SQL_NO_COLUMN_NUMBER;
        std::memcpy(info, &column, sizeof column);
        return SQL_SUCCESS;
    }
    case SQL_DIAG_ROW_NUMBER: {
        const SQLLEN row = SQL_NO_ROW_NUMBER;
        std::memcpy(info, &row, sizeof row);
        return SQL_SUCCESS;
    }
    default:
        return SQL_ERROR;
    }
}

SQLRETURN connectA(Encoding encoding, SQLHDBC handle, const void *dsn, SQLSMALLINT dsnLength, const void *password,
                   SQLSMALLINT passwordLength)
{
    Connection *connection = asConnection(handle);
    return guarded(connection, [&] {
        return connectWithDsn(connection, textIn(encoding, dsn, dsnLength), textIn(encoding, password, passwordLength));
    });
}

SQLRETURN driverConnect(Encoding encoding, SQLHDBC handle, const void *in, SQLSMALLINT inLength, void *out,
                        SQLSMALLINT outLength, SQLSMALLINT *outWritten)
{
    Connection *connection = asConnection(handle);
    return guarded(connection, [&]() -> SQLRETURN {
        if (!in)
            return connection->diag.error("HY009", "Invalid use of null pointer.");
        const std::string text = textIn(encoding, in, inLength);
        const SQLRETURN rc = connectWithString(connection, text);
        if (rc != SQL_SUCCESS)
            return rc;
        return writeText(connection->diag, encoding, text, out, outLength, outWritten, false);
    });
}

SQLRETURN setConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value)
{
    Connection *connection = asConnection(handle);
    return guarded(connection, [&] { return setConnectionAttribute(connection, attribute, value); });
}

SQLRETURN getConnectAttr(Encoding encoding, SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                         SQLINTEGER bufferLength, SQLINTEGER *stringLength)
{
    Connection *connection = asConnection(handle);
    return guarded(connection, [&]() -> SQLRETURN {
        ConnectionAttributeValue result;
        const SQLRETURN rc = getConnectionAttribute(connection, attribute, &result);
        if (rc != SQL_SUCCESS)
            return rc;
        if (result.isText)
            return writeText(connection->diag, encoding, result.text, value, bufferLength, stringLength, true);
        if (value)
            std::memcpy(value, &result.number, sizeof result.number);
        storeLength(stringLength, sizeof result.number);
        return SQL_SUCCESS;
    });
}

SQLRETURN getInfoValue(Encoding encoding, SQLHDBC handle, SQLUSMALLINT infoType, SQLPOINTER value,
                       SQLSMALLINT bufferLength, SQLSMALLINT *stringLength)
{
    Connection *connection = asConnection(handle);
    return guarded(connection, [&]() -> SQLRETURN {
        InfoValue info;
        const SQLRETURN rc = getInfo(connection, infoType, &info);
        if (rc != SQL_SUCCESS)
            return rc;
        switch (info.kind) {
        case InfoValue::Text:
            return writeText(connection->diag, encoding, info.text, value, bufferLength, stringLength, true);
        case InfoValue::SmallInt: {
            const SQLUSMALLINT number = SQLUSMALLINT(info.number);
            if (value)
                std::memcpy(value, &number, sizeof number);
            storeLength(stringLength, sizeof number);
            return SQL_SUCCESS;
        }
        case InfoValue::Integer:
            if (value)
                std::memcpy(value, &info.number, sizeof info.number);
            storeLength(stringLength, sizeof info.number);
            return SQL_SUCCESS;
        }
        return SQL_SUCCESS;
    });
}

SQLRETURN nativeSql(Encoding encoding, SQLHDBC handle, const void *in, SQLINTEGER inLength, void *out,
                    SQLINTEGER outLength, SQLINTEGER *written)
{
    Connection *connection = asConnection(handle);
    return guarded(connection, [&]() -> SQLRETURN {
        if (!in)
            return connection->diag.error("HY009", "Invalid use of null pointer.");
        // The statement as the database runs it: Access SQL, its ODBC escapes translated.
        const sql::EscapeTranslation native = sql::translateEscapes(textIn(encoding, in, inLength));
        if (!native.error.empty())
            return connection->diag.error("42000", native.error);
        return writeText(connection->diag, encoding, native.sql, out, outLength, written, false);
    });
}

} // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle, SQLHANDLE *OutputHandle)
{
    return allocate(HandleType, InputHandle, OutputHandle);
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle)
{
    return release(HandleType, Handle);
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER)
{
    Environment *environment = asEnvironment(EnvironmentHandle);
    return guarded(environment, [&]() -> SQLRETURN {
        const SQLINTEGER number = SQLINTEGER(reinterpret_cast<intptr_t>(Value));
        switch (Attribute) {
        case SQL_ATTR_ODBC_VERSION:
            if (number != SQL_OV_ODBC2 && number != SQL_OV_ODBC3 && number != SQL_OV_ODBC3_80)
                return environment->diag.error("HY024", "Invalid attribute value.");
            environment->odbcVersion = number == SQL_OV_ODBC2 ? SQL_OV_ODBC2 : SQL_OV_ODBC3;
            return SQL_SUCCESS;
        case SQL_ATTR_OUTPUT_NTS:
        case SQL_ATTR_CONNECTION_POOLING:
        case SQL_ATTR_CP_MATCH:
            return SQL_SUCCESS;
        default:
            return environment->diag.error("HY092", "Invalid attribute/option identifier.");
        }
    });
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER,
                                SQLINTEGER *StringLength)
{
    Environment *environment = asEnvironment(EnvironmentHandle);
    return guarded(environment, [&]() -> SQLRETURN {
        SQLINTEGER number;
        switch (Attribute) {
        case SQL_ATTR_ODBC_VERSION: number = environment->odbcVersion; break;
        case SQL_ATTR_OUTPUT_NTS: number = SQL_TRUE; break;
        case SQL_ATTR_CONNECTION_POOLING: number = SQL_CP_OFF; break;
        case SQL_ATTR_CP_MATCH: number = SQL_CP_STRICT_MATCH; break;
        default: return environment->diag.error("HY092", "Invalid attribute/option identifier.");
        }
        if (Value)
            std::memcpy(Value, &number, sizeof number);
        storeLength(StringLength, sizeof number);
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLConnect(SQLHDBC ConnectionHandle, SQLCHAR *ServerName, SQLSMALLINT NameLength1, SQLCHAR *,
                             SQLSMALLINT, SQLCHAR *Authentication, SQLSMALLINT NameLength3)
{
    return connectA(Encoding::Ansi, ConnectionHandle, ServerName, NameLength1, Authentication, NameLength3);
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC hdbc, SQLWCHAR *szDSN, SQLSMALLINT cbDSN, SQLWCHAR *, SQLSMALLINT,
                              SQLWCHAR *szAuthStr, SQLSMALLINT cbAuthStr)
{
    return connectA(Encoding::Wide, hdbc, szDSN, cbDSN, szAuthStr, cbAuthStr);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC hdbc, SQLHWND, SQLCHAR *szConnStrIn, SQLSMALLINT cbConnStrIn,
                                   SQLCHAR *szConnStrOut, SQLSMALLINT cbConnStrOutMax, SQLSMALLINT *pcbConnStrOut,
                                   SQLUSMALLINT)
{
    return driverConnect(Encoding::Ansi, hdbc, szConnStrIn, cbConnStrIn, szConnStrOut, cbConnStrOutMax, pcbConnStrOut);
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC hdbc, SQLHWND, SQLWCHAR *szConnStrIn, SQLSMALLINT cbConnStrIn,
                                    SQLWCHAR *szConnStrOut, SQLSMALLINT cbConnStrOutMax, SQLSMALLINT *pcbConnStrOut,
                                    SQLUSMALLINT)
{
    return driverConnect(Encoding::Wide, hdbc, szConnStrIn, cbConnStrIn, szConnStrOut, cbConnStrOutMax, pcbConnStrOut);
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC ConnectionHandle)
{
    Connection *connection = asConnection(ConnectionHandle);
    return guarded(connection, [&] { return disconnect(connection); });
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value, SQLINTEGER)
{
    return setConnectAttr(ConnectionHandle, Attribute, Value);
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER rgbValue, SQLINTEGER)
{
    return setConnectAttr(hdbc, fAttribute, rgbValue);
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                    SQLINTEGER BufferLength, SQLINTEGER *StringLength)
{
    return getConnectAttr(Encoding::Ansi, ConnectionHandle, Attribute, Value, BufferLength, StringLength);
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC hdbc, SQLINTEGER fAttribute, SQLPOINTER rgbValue, SQLINTEGER cbValueMax,
                                     SQLINTEGER *pcbValue)
{
    return getConnectAttr(Encoding::Wide, hdbc, fAttribute, rgbValue, cbValueMax, pcbValue);
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType, SQLPOINTER InfoValue,
                             SQLSMALLINT BufferLength, SQLSMALLINT *StringLength)
{
    return getInfoValue(Encoding::Ansi, ConnectionHandle, InfoType, InfoValue, BufferLength, StringLength);
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC hdbc, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue, SQLSMALLINT cbInfoValueMax,
                              SQLSMALLINT *pcbInfoValue)
{
    return getInfoValue(Encoding::Wide, hdbc, fInfoType, rgbInfoValue, cbInfoValueMax, pcbInfoValue);
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC ConnectionHandle, SQLUSMALLINT FunctionId, SQLUSMALLINT *Supported)
{
    Connection *connection = asConnection(ConnectionHandle);
    return guarded(connection, [&]() -> SQLRETURN {
        if (!Supported)
            return connection->diag.error("HY009", "Invalid use of null pointer.");
        return getFunctions(connection, FunctionId, Supported);
    });
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT)
{
    // Nothing is ever written, so there is nothing to commit or roll back.
    switch (HandleType) {
    case SQL_HANDLE_ENV:
        return asEnvironment(Handle) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
    case SQL_HANDLE_DBC:
        return asConnection(Handle) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
    default:
        return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLNativeSql(SQLHDBC hdbc, SQLCHAR *szSqlStrIn, SQLINTEGER cbSqlStrIn, SQLCHAR *szSqlStr,
                               SQLINTEGER cbSqlStrMax, SQLINTEGER *pcbSqlStr)
{
    return nativeSql(Encoding::Ansi, hdbc, szSqlStrIn, cbSqlStrIn, szSqlStr, cbSqlStrMax, pcbSqlStr);
}

SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC hdbc, SQLWCHAR *szSqlStrIn, SQLINTEGER cbSqlStrIn, SQLWCHAR *szSqlStr,
                                SQLINTEGER cbSqlStrMax, SQLINTEGER *pcbSqlStr)
{
    return nativeSql(Encoding::Wide, hdbc, szSqlStrIn, cbSqlStrIn, szSqlStr, cbSqlStrMax, pcbSqlStr);
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber, SQLCHAR *Sqlstate,
                                SQLINTEGER *NativeError, SQLCHAR *MessageText, SQLSMALLINT BufferLength,
                                SQLSMALLINT *TextLength)
{
    return diagRecord(Encoding::Ansi, HandleType, Handle, RecNumber, Sqlstate, NativeError, MessageText, BufferLength,
                      TextLength);
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord, SQLWCHAR *szSqlState,
                                 SQLINTEGER *pfNativeError, SQLWCHAR *szErrorMsg, SQLSMALLINT cbErrorMsgMax,
                                 SQLSMALLINT *pcbErrorMsg)
{
    return diagRecord(Encoding::Wide, fHandleType, handle, iRecord, szSqlState, pfNativeError, szErrorMsg,
                      cbErrorMsgMax, pcbErrorMsg);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                  SQLSMALLINT DiagIdentifier, SQLPOINTER DiagInfo, SQLSMALLINT BufferLength,
                                  SQLSMALLINT *StringLength)
{
    return diagField(Encoding::Ansi, HandleType, Handle, RecNumber, DiagIdentifier, DiagInfo, BufferLength,
                     StringLength);
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT fHandleType, SQLHANDLE handle, SQLSMALLINT iRecord,
                                   SQLSMALLINT fDiagField, SQLPOINTER rgbDiagInfo, SQLSMALLINT cbDiagInfoMax,
                                   SQLSMALLINT *pcbDiagInfo)
{
    return diagField(Encoding::Wide, fHandleType, handle, iRecord, fDiagField, rgbDiagInfo, cbDiagInfoMax,
                     pcbDiagInfo);
}

} // extern "C"
