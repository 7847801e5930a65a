#pragma once

// A result read through the ODBC API as text, for the tests that call the driver directly.

#include <QByteArray>
#include <QStringList>

#include <sql.h>
#include <sqlext.h>

namespace odbcfixture {

// The first diagnostic record of a handle as "error STATE: message".
inline QString diagnosticText(SQLSMALLINT type, SQLHANDLE handle)
{
    SQLCHAR state[6] = {};
    SQLCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
    return QStringLiteral("error %1: %2").arg(QString::fromLatin1(reinterpret_cast<char *>(state)),
                                              QString::fromUtf8(reinterpret_cast<char *>(message)));
}

// Every remaining row of the open result, its columns as text joined by '|', NULL as
// "NULL", a value that cannot be read as its diagnostic; the cursor is closed after.
inline QStringList remainingRows(SQLHSTMT stmt)
{
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    QStringList lines;
    while (SQLFetch(stmt) == SQL_SUCCESS) {
        QStringList values;
        for (SQLUSMALLINT i = 1; i <= columns; ++i) {
            QByteArray value(4096, '\0');
            SQLLEN indicator = 0;
            if (!SQL_SUCCEEDED(SQLGetData(stmt, i, SQL_C_CHAR, value.data(), value.size(), &indicator)))
                values << diagnosticText(SQL_HANDLE_STMT, stmt);
            else
                values << (indicator == SQL_NULL_DATA ? QStringLiteral("NULL") : QString::fromUtf8(value.constData()));
        }
        lines << values.join(QLatin1Char('|'));
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    return lines;
}

} // namespace odbcfixture
