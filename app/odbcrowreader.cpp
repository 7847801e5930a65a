#include "app/odbcrowreader.h"

#include "logging/toolmessages.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

namespace {

// QODBC's limits for one piece of a text value: 256 units when the size is unknown, at
// most 64 K, otherwise the column size and room for the terminator.
int textChunkUnits(int columnLength)
{
    if (columnLength <= 0)
        return 256;
    if (columnLength > 65536)
        return 65536;
    return columnLength + 1;
}

// QODBC hands its handles over as SQLHANDLE, which the meta-type system knows as void*.
SQLHANDLE handleIn(const QVariant &handle)
{
    if (handle.userType() != qMetaTypeId<void *>())
        return nullptr;
    return *static_cast<const SQLHANDLE *>(handle.constData());
}

bool convertsTo(SQLHDBC connection, SQLUSMALLINT fromType, SQLUINTEGER wideFlag)
{
    SQLUINTEGER conversions = 0;
    const SQLRETURN r = SQLGetInfo(connection, fromType, &conversions, sizeof(conversions), nullptr);
    return (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO) && (conversions & wideFlag);
}

// QODBC reads text as UTF-16 when the driver says it converts to the wide types; only then
// does reading it here give the same text.
bool driverTakesWideText(SQLHDBC connection)
{
    return convertsTo(connection, SQL_CONVERT_CHAR, SQL_CVT_WCHAR)
        || convertsTo(connection, SQL_CONVERT_VARCHAR, SQL_CVT_WVARCHAR)
        || convertsTo(connection, SQL_CONVERT_LONGVARCHAR, SQL_CVT_WLONGVARCHAR);
}

bool succeeded(SQLRETURN r)
{
    return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO;
}

template<typename Value, typename Stored>
QVariant fixedValue(SQLHSTMT statement, int column, SQLSMALLINT cType, QVariant::Type nullType)
{
    Stored stored{};
    SQLLEN indicator = 0;
    if (!succeeded(SQLGetData(statement, SQLUSMALLINT(column + 1), cType, &stored, sizeof(stored), &indicator)))
        return QVariant();
    if (indicator == SQL_NULL_DATA)
        return QVariant(nullType);
    return QVariant::fromValue(Value(stored));
}

// A date, time or timestamp; a NULL or a failed read is a NULL of the column's type, as
// with QODBC.
template<typename Struct, typename Make>
QVariant dateTimeValue(SQLHSTMT statement, int column, SQLSMALLINT cType, QVariant::Type nullType, Make make)
{
    Struct value{};
    SQLLEN indicator = 0;
    const SQLRETURN r = SQLGetData(statement, SQLUSMALLINT(column + 1), cType, &value, 0, &indicator);
    if (!succeeded(r) || indicator == SQL_NULL_DATA)
        return QVariant(nullType);
    return make(value);
}

QVariant dateOf(const SQL_DATE_STRUCT &date)
{
    return QDate(date.year, date.month, date.day);
}

QVariant timeOf(const SQL_TIME_STRUCT &time)
{
    return QTime(time.hour, time.minute, time.second);
}

// The database's date-time has no zone. As a local date-time it would be invalid inside a
// summer-time gap (02:30 on the day the clocks jump, or midnight where they jump at midnight),
// so it is carried in UTC, which has no gaps, and written from its fields (valueText).
QVariant dateTimeOf(const SQL_TIMESTAMP_STRUCT &stamp)
{
    return QDateTime(QDate(stamp.year, stamp.month, stamp.day),
                     QTime(stamp.hour, stamp.minute, stamp.second, int(stamp.fraction / 1000000)), Qt::UTC);
}

// A piece of text as QODBC takes it: a zero unit at its end is dropped, since some drivers
// count their terminator. The units are taken as they are: QString::fromUtf16 would read a
// leading U+FEFF or U+FFFE as a byte-order mark, dropping the one and swapping the text after
// the other.
QString textPiece(const ushort *units, int count)
{
    if (count > 0 && units[count - 1] == 0)
        --count;
    return QString(reinterpret_cast<const QChar *>(units), count);
}

} // namespace

OdbcRowReader::OdbcRowReader(QSqlQuery *query)
    : query(query)
{
    const QSqlRecord record = query->record();
    columnCount = record.count();
    byQuery = columnCount;
    row.resize(columnCount);
    if (qstrcmp(query->driver()->metaObject()->className(), "QODBCDriver") != 0)
        return;
    statement = handleIn(query->result()->handle());
    const SQLHDBC connection = handleIn(query->driver()->handle());
    static_assert(sizeof(SQLWCHAR) == sizeof(ushort), "wide text is read as UTF-16");
    if (!statement || !connection || !query->isForwardOnly() || !driverTakesWideText(connection))
        return;
    columns.resize(record.count());
    byQuery = 0;
    for (int column = 0; column < record.count(); ++column) {
        if (!describe(record.field(column), &columns[column]))
            byQuery = column + 1;
    }
}

bool OdbcRowReader::describe(const QSqlField &field, Column *out) const
{
    out->chunkUnits = 0;
    switch (field.type()) {
    case QVariant::Int: out->reading = Reading::Int; return true;
    case QVariant::UInt: out->reading = Reading::UInt; return true;
    case QVariant::LongLong: out->reading = Reading::LongLong; return true;
    case QVariant::ULongLong: out->reading = Reading::ULongLong; return true;
    case QVariant::Date: out->reading = Reading::Date; return true;
    case QVariant::Time: out->reading = Reading::Time; return true;
    case QVariant::DateTime: out->reading = Reading::DateTime; return true;
    case QVariant::Double:
        out->reading = Reading::Double;
        return query->numericalPrecisionPolicy() == QSql::LowPrecisionDouble;
    case QVariant::String:
        out->reading = Reading::WideText;
        out->chunkUnits = textChunkUnits(field.length());
        return true;
    default:
        return false;
    }
}

const QVector<QVariant> &OdbcRowReader::readRow()
{
    for (int column = 0; column < byQuery; ++column)
        row[column] = query->value(column);
    for (int column = byQuery; column < columnCount; ++column)
        row[column] = readColumn(column, columns.at(column));
    return row;
}

QVariant OdbcRowReader::readColumn(int column, const Column &how)
{
    switch (how.reading) {
    case Reading::Int: return fixedValue<int, SQLINTEGER>(statement, column, SQL_C_SLONG, QVariant::Int);
    case Reading::UInt: return fixedValue<uint, SQLUINTEGER>(statement, column, SQL_C_ULONG, QVariant::Int);
    case Reading::LongLong:
        return fixedValue<qint64, SQLBIGINT>(statement, column, SQL_C_SBIGINT, QVariant::LongLong);
    case Reading::ULongLong:
        return fixedValue<quint64, SQLUBIGINT>(statement, column, SQL_C_UBIGINT, QVariant::LongLong);
    case Reading::Double: return fixedValue<double, SQLDOUBLE>(statement, column, SQL_C_DOUBLE, QVariant::Double);
    case Reading::Date:
        return dateTimeValue<SQL_DATE_STRUCT>(statement, column, SQL_C_DATE, QVariant::Date, dateOf);
    case Reading::Time:
        return dateTimeValue<SQL_TIME_STRUCT>(statement, column, SQL_C_TIME, QVariant::Time, timeOf);
    case Reading::DateTime:
        return dateTimeValue<SQL_TIMESTAMP_STRUCT>(statement, column, SQL_C_TIMESTAMP, QVariant::DateTime,
                                                   dateTimeOf);
    case Reading::WideText: return readWideText(column, how.chunkUnits);
    }
    return QVariant();
}

// The text in pieces of the column's size, as QODBC reads it once its length probe has
// failed, which the driver managers of this platform always make it do.
QVariant OdbcRowReader::readWideText(int column, int chunkUnits)
{
    buffer.resize(chunkUnits);
    const SQLLEN bufferBytes = SQLLEN(chunkUnits) * SQLLEN(sizeof(ushort));
    QString text;
    while (true) {
        buffer[chunkUnits - 1] = 0;
        SQLLEN indicator = 0;
        const SQLRETURN r =
            SQLGetData(statement, SQLUSMALLINT(column + 1), SQL_C_WCHAR, buffer.data(), bufferBytes, &indicator);
        if (r == SQL_NO_DATA)
            break;
        if (!succeeded(r)) {
            qCWarning(toolMessages, "OdbcRowReader: column %d could not be read", column);
            return QString();
        }
        if (indicator == SQL_NULL_DATA)
            return QString();
        if (indicator == SQL_NO_TOTAL) {
            text += textPiece(buffer.constData(), chunkUnits);
            continue;
        }
        const int units = r == SQL_SUCCESS_WITH_INFO ? chunkUnits : int(indicator / SQLLEN(sizeof(ushort)));
        text += textPiece(buffer.constData(), qMin(units, chunkUnits));
        if (indicator < bufferBytes)
            break;
    }
    return text;
}
