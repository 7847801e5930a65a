#pragma once

#include <QSqlField>
#include <QSqlQuery>
#include <QVarLengthArray>
#include <QVariant>
#include <QVector>

// Reads the values of the current row of a QODBC query, each as the same QVariant that
// QSqlQuery::value gives, but for two things QODBC loses: a date-time keeps its fields in
// UTC, where QODBC makes a local date-time of them that a summer-time gap leaves invalid, and
// text keeps a leading U+FEFF or U+FFFE. Columns whose type it reads itself are fetched with
// one SQLGetData each on QODBC's own statement handle, in column order; QODBC would first ask
// every text value's length with an empty buffer, which the driver manager answers with an
// error record of its own, value by value. Columns before the last one it cannot read
// itself go through QSqlQuery::value, since QODBC fetches every column up to the one asked.
//
// The query must be forward only; connecting, executing and fetching stay with QODBC.
class OdbcRowReader
{
public:
    // Looks at the columns of `query`, which has just been executed.
    explicit OdbcRowReader(QSqlQuery *query);

    // The values of the row QSqlQuery::next() has just moved to, in column order. The vector
    // is the reader's own, overwritten by the next call.
    const QVector<QVariant> &readRow();

    // How many leading columns go through QSqlQuery::value (all of them with another driver).
    int columnsReadByQuery() const { return byQuery; }

private:
    enum class Reading { Int, UInt, LongLong, ULongLong, Double, Date, Time, DateTime, WideText };
    struct Column
    {
        Reading reading;
        int chunkUnits; // text read this many UTF-16 units at a time, its terminator included
    };

    bool describe(const QSqlField &field, Column *out) const;
    QVariant readColumn(int column, const Column &how);
    QVariant readWideText(int column, int chunkUnits);

    QSqlQuery *query;
    void *statement = nullptr;
    QVector<Column> columns;
    int columnCount = 0;
    int byQuery = 0;
    QVector<QVariant> row;
    QVarLengthArray<ushort, 512> buffer;
};
