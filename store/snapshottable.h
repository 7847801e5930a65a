#pragma once

#include "store/snapshotinsert.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

struct RecordKind;
class QSqlError;

// One kind's snapshot table in fernwick.db, replaced as a whole: clear takes the file's
// write lock and opens a transaction that removes the old rows, insert adds rows inside
// it, and finish commits. abandon rolls back, so a failed read leaves the previous
// snapshot as it was. The first step that fails gives the whole snapshot up the same way;
// failure then says why.
class SnapshotTable
{
public:
    explicit SnapshotTable(const RecordKind &kind);
    ~SnapshotTable();
    SnapshotTable(const SnapshotTable &) = delete;
    SnapshotTable &operator=(const SnapshotTable &) = delete;

    void clear();
    // Outside a clear-finish sequence the row is a transaction of its own.
    void insert(const QStringList &values);
    void finish();
    void abandon();
    // "<table> snapshot not saved: <reason>" when the last snapshot was given up by a
    // failure of the local file, so the table still holds the one before; else empty.
    QString failure() const;
    // The reason alone, as SQLite gives it; empty when the snapshot was saved.
    QString failureReason() const { return reason; }

private:
    bool open();
    bool execute(const QString &statement);
    bool insertRow(const QStringList &values);
    void insertStandaloneRow(const QStringList &values);
    bool giveUp(const QSqlError &error);
    bool giveUp(const QString &why);
    void end();
    void rollBack();

    const RecordKind &kind;
    QSqlDatabase localDb;
    enum class State { None, Open, GivenUp };
    State state = State::None;
    QString reason;
    bool tablePresent = false;
    SnapshotInsert rows;
};
