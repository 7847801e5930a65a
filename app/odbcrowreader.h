#pragma once

#include <QSqlField>
#include <QSqlQuery>
#include <QVarLengthArray>
#include <QVariant>
#include <QVector>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif
#include <sqltypes.h>

// Reads the values of the current row of a QODBC query, each as the same QVariant that
// QSqlQuery::value gives, but for two things QODBC loses: a date-time keeps its fields in
// UTC, where QODBC makes a local date-time of them that a summer-time gap leaves invalid, and
// text keeps a leading U+FEFF or U+FFFE. Text columns are bound once on QODBC's own statement
// handle, so that the fetch QSqlQuery::next() makes fills them, where the driver lets a bound
// column be read again with SQLGetData (a text longer than the driver said is then read in
// full that way). Any value converts to text, so binding never costs a row; a number or a
// date that does not convert (text in a number column of a file another program wrote) would
// fail the whole fetch, so those columns are fetched with one SQLGetData each, in column
// order, and such a value alone is lost, as with QODBC. QODBC would first ask every text value's length with
// an empty buffer, which the driver manager answers with an error record of its own, value by
// value, and each of those calls crosses into the driver manager, which under Wine is a
// translation layer's every time. Columns before the last one it cannot read itself go
// through QSqlQuery::value, since QODBC fetches every column up to the one asked.
//
// The query must be forward only and outlive the reader; connecting, executing and fetching
// stay with QODBC.
class OdbcRowReader
{
public:
    // Looks at the columns of `query`, which has just been executed.
    explicit OdbcRowReader(QSqlQuery *query);
    ~OdbcRowReader();
    Q_DISABLE_COPY(OdbcRowReader)

    // The values of the row QSqlQuery::next() has just moved to, in column order. The vector
    // is the reader's own, overwritten by the next call.
    const QVector<QVariant> &readRow();

    // How many leading columns go through QSqlQuery::value (all of them with another driver).
    int columnsReadByQuery() const { return byQuery; }
    // How many text columns the fetch fills, bound; the other columns are read with SQLGetData.
    int columnsBound() const { return boundCount; }

    enum class Reading { Int, UInt, LongLong, ULongLong, Double, Date, Time, DateTime, WideText };

private:
    struct Column
    {
        Reading reading;
        int chunkUnits; // text read this many UTF-16 units at a time, its terminator included
        bool isBound = false;
        qsizetype offset = 0; // where a bound column's value lands in `bound`
        SQLLEN indicator = 0; // a bound column's length or SQL_NULL_DATA, set by the fetch
    };

    bool describe(const QSqlField &field, Column *out) const;
    void bindColumns();
    static SQLSMALLINT cTypeOf(Reading reading);
    static SQLLEN bytesOf(const Column &how);
    static QVariant nullOf(Reading reading);
    static QVariant decoded(Reading reading, const void *data, SQLLEN indicator);
    QVariant readColumn(int column, const Column &how);
    QVariant boundText(int column, const Column &how);
    QVariant readWideText(int column, int chunkUnits);

    QSqlQuery *query;
    void *statement = nullptr;
    QVector<Column> columns;
    int columnCount = 0;
    int byQuery = 0;
    int boundCount = 0;
    QByteArray bound; // the bound columns' values, each at its offset, suitably aligned
    QVector<QVariant> row;
    QVarLengthArray<ushort, 512> buffer;
};
