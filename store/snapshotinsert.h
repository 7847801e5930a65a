#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

// Adds rows to a snapshot table on the connection's own SQLite handle: one statement,
// prepared once, and every value stored as the same bytes the toolkit's driver would store
// for it. A null value is stored as the empty text, never as NULL.
class SnapshotInsert
{
public:
    SnapshotInsert() = default;
    ~SnapshotInsert();
    SnapshotInsert(const SnapshotInsert &) = delete;
    SnapshotInsert &operator=(const SnapshotInsert &) = delete;

    // False, with SQLite's text in errorText(), when the connection is not an open SQLite
    // one or the statement does not compile.
    bool prepare(const QSqlDatabase &db, const QString &statement);
    bool isPrepared() const { return statement != nullptr; }
    // Binds the values in order, then `stamp` unless it is null, and runs the statement.
    bool insert(const QStringList &values, const QString &stamp);
    // The statement must be let go before the transaction ends or the connection closes.
    void release();
    QString errorText() const { return error; }

private:
    void reserveUtf8(const QStringList &values, const QString &stamp);
    bool bind(int position, const QString &value, char **free);
    bool fail();

    sqlite3 *handle = nullptr;
    sqlite3_stmt *statement = nullptr;
    // The row's values in UTF-8, one after another; kept from row to row.
    std::vector<char> utf8;
    QString error;
};
