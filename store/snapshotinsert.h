#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSqlDatabase;

// Adds rows to a snapshot table: one statement, prepared once. Every value is stored as its
// text, exactly, a leading U+FEFF or U+FFFE included; a null value as the empty text, never
// as NULL.
//
// Where the toolkit's SQLite driver runs on the very SQLite library that the program links,
// the rows go straight to the connection's own handle, which spares the toolkit's per-value
// binding. That is asked of the running program, not assumed: the toolkit's own builds carry
// a SQLite inside the driver, whose handle another copy of the library must never be given.
// Elsewhere, in a build without the handle's way, or when FERNWICK_SNAPSHOT_THROUGH_QUERY is
// set in the environment, they go through QSqlQuery.
class SnapshotInsert
{
public:
    enum class Route { Fastest, ThroughQuery };

    explicit SnapshotInsert(Route route = Route::Fastest);
    ~SnapshotInsert();
    SnapshotInsert(const SnapshotInsert &) = delete;
    SnapshotInsert &operator=(const SnapshotInsert &) = delete;

    // False, with SQLite's text in errorText(), when the connection is not an open SQLite
    // one or the statement does not compile.
    bool prepare(const QSqlDatabase &db, const QString &statement);
    bool isPrepared() const;
    // Binds the values in order, then `stamp` unless it is null, and runs the statement.
    bool insert(const QStringList &values, const QString &stamp);
    // The statement must be let go before the transaction ends or the connection closes.
    void release();
    QString errorText() const { return error; }
    // Whether the prepared statement runs on the connection's SQLite handle itself.
    bool onSqliteHandle() const;

    // The prepared insert of one way or the other; both are private to the implementation.
    class Statement;

private:
    const Route route;
    std::unique_ptr<Statement> statement;
    QString error;
};
