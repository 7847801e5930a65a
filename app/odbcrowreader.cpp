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

#include <cstring>

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

// A bound column can be read again with SQLGetData, ahead of the columns after it, only where
// the driver says so; a text longer than the driver declared needs that.
bool driverReadsBoundColumnsAgain(SQLHDBC connection)
{
    SQLUINTEGER extensions = 0;
    const SQLRETURN r = SQLGetInfo(connection, SQL_GETDATA_EXTENSIONS, &extensions, sizeof(extensions), nullptr);
    const SQLUINTEGER needed = SQL_GD_ANY_COLUMN | SQL_GD_BOUND;
    return succeeded(r) && (extensions & needed) == needed;
}

bool readsDateOrTime(OdbcRowReader::Reading reading)
{
    using Reading = OdbcRowReader::Reading;
    return reading == Reading::Date || reading == Reading::Time || reading == Reading::DateTime;
}

template<typename Stored>
Stored stored(const void *data)
{
    Stored value;
    std::memcpy(&value, data, sizeof value);
    return value;
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
    if (driverReadsBoundColumnsAgain(connection))
        bindColumns();
}

OdbcRowReader::~OdbcRowReader()
{
    if (boundCount > 0)
        SQLFreeStmt(statement, SQL_UNBIND);
}

// Binds the text columns the reader reads, each at an offset of its own in one buffer that
// lives as long as the reader; should the driver refuse one, none is bound.
void OdbcRowReader::bindColumns()
{
    qsizetype size = 0;
    for (int column = byQuery; column < columnCount; ++column) {
        if (columns.at(column).reading != Reading::WideText)
            continue;
        columns[column].offset = size;
        size += (bytesOf(columns.at(column)) + 7) / 8 * 8;
    }
    bound = QByteArray(int(size), '\0');
    for (int column = byQuery; column < columnCount; ++column) {
        Column &how = columns[column];
        if (how.reading != Reading::WideText)
            continue;
        const SQLRETURN r = SQLBindCol(statement, SQLUSMALLINT(column + 1), SQL_C_WCHAR, bound.data() + how.offset,
                                       bytesOf(how), &how.indicator);
        if (!succeeded(r)) {
            SQLFreeStmt(statement, SQL_UNBIND);
            for (Column &unbound : columns)
                unbound.isBound = false;
            boundCount = 0;
            return;
        }
        how.isBound = true;
        ++boundCount;
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
    for (int column = byQuery; column < columnCount; ++column) {
        const Column &how = columns.at(column);
        row[column] = how.isBound ? boundText(column, how) : readColumn(column, how);
    }
    return row;
}

SQLSMALLINT OdbcRowReader::cTypeOf(Reading reading)
{
    switch (reading) {
    case Reading::Int: return SQL_C_SLONG;
    case Reading::UInt: return SQL_C_ULONG;
    case Reading::LongLong: return SQL_C_SBIGINT;
    case Reading::ULongLong: return SQL_C_UBIGINT;
    case Reading::Double: return SQL_C_DOUBLE;
    case Reading::Date: return SQL_C_DATE;
    case Reading::Time: return SQL_C_TIME;
    case Reading::DateTime: return SQL_C_TIMESTAMP;
    case Reading::WideText: return SQL_C_WCHAR;
    }
    return SQL_C_DEFAULT;
}

SQLLEN OdbcRowReader::bytesOf(const Column &how)
{
    switch (how.reading) {
    case Reading::Int: return sizeof(SQLINTEGER);
    case Reading::UInt: return sizeof(SQLUINTEGER);
    case Reading::LongLong: return sizeof(SQLBIGINT);
    case Reading::ULongLong: return sizeof(SQLUBIGINT);
    case Reading::Double: return sizeof(SQLDOUBLE);
    case Reading::Date: return sizeof(SQL_DATE_STRUCT);
    case Reading::Time: return sizeof(SQL_TIME_STRUCT);
    case Reading::DateTime: return sizeof(SQL_TIMESTAMP_STRUCT);
    case Reading::WideText: return SQLLEN(how.chunkUnits) * SQLLEN(sizeof(ushort));
    }
    return 0;
}

// A NULL is a NULL of the type QODBC gives the column: an unsigned or a 64-bit unsigned
// integer's NULL is a signed one's.
QVariant OdbcRowReader::nullOf(Reading reading)
{
    switch (reading) {
    case Reading::Int:
    case Reading::UInt: return QVariant(QVariant::Int);
    case Reading::LongLong:
    case Reading::ULongLong: return QVariant(QVariant::LongLong);
    case Reading::Double: return QVariant(QVariant::Double);
    case Reading::Date: return QVariant(QVariant::Date);
    case Reading::Time: return QVariant(QVariant::Time);
    case Reading::DateTime: return QVariant(QVariant::DateTime);
    case Reading::WideText: return QVariant(QVariant::String);
    }
    return QVariant();
}

// A fixed-size value as the driver wrote it at `data`.
QVariant OdbcRowReader::decoded(Reading reading, const void *data, SQLLEN indicator)
{
    if (indicator == SQL_NULL_DATA)
        return nullOf(reading);
    switch (reading) {
    case Reading::Int: return QVariant::fromValue(int(stored<SQLINTEGER>(data)));
    case Reading::UInt: return QVariant::fromValue(uint(stored<SQLUINTEGER>(data)));
    case Reading::LongLong: return QVariant::fromValue(qint64(stored<SQLBIGINT>(data)));
    case Reading::ULongLong: return QVariant::fromValue(quint64(stored<SQLUBIGINT>(data)));
    case Reading::Double: return QVariant::fromValue(double(stored<SQLDOUBLE>(data)));
    case Reading::Date: return dateOf(stored<SQL_DATE_STRUCT>(data));
    case Reading::Time: return timeOf(stored<SQL_TIME_STRUCT>(data));
    case Reading::DateTime: return dateTimeOf(stored<SQL_TIMESTAMP_STRUCT>(data));
    case Reading::WideText: break;
    }
    return QVariant();
}

// A text the fetch has put in its place; one longer than its place is read again whole.
QVariant OdbcRowReader::boundText(int column, const Column &how)
{
    if (how.indicator == SQL_NULL_DATA)
        return QString();
    if (how.indicator == SQL_NO_TOTAL || how.indicator >= bytesOf(how))
        return readWideText(column, how.chunkUnits);
    const auto *units = reinterpret_cast<const ushort *>(bound.constData() + how.offset);
    return textPiece(units, int(how.indicator / SQLLEN(sizeof(ushort))));
}

// A value read with SQLGetData. One that cannot be read is an invalid QVariant, or a NULL of
// its type for a date or time, as QODBC gives it.
QVariant OdbcRowReader::readColumn(int column, const Column &how)
{
    if (how.reading == Reading::WideText)
        return readWideText(column, how.chunkUnits);
    alignas(8) char value[sizeof(SQL_TIMESTAMP_STRUCT)] = {};
    SQLLEN indicator = 0;
    const SQLRETURN r =
        SQLGetData(statement, SQLUSMALLINT(column + 1), cTypeOf(how.reading), value, bytesOf(how), &indicator);
    if (!succeeded(r))
        return readsDateOrTime(how.reading) ? nullOf(how.reading) : QVariant();
    return decoded(how.reading, value, indicator);
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
