#include "store/snapshottable.h"

#include "store/recordkind.h"
#include "logging/logline.h"
#include "store/localdatabase.h"

#include <QSqlError>
#include <QSqlQuery>

SnapshotTable::SnapshotTable(const RecordKind &kind)
    : kind(kind)
{
}

SnapshotTable::~SnapshotTable()
{
    if (state != State::None)
        abandon();
}

void SnapshotTable::clear()
{
    if (state != State::None)
        abandon();
    localDb = QSqlDatabase::database(LocalDatabase::connectionName, false);
    reason.clear();
    if (open() && tablePresent)
        execute(QStringLiteral("delete from ") + kind.table);
}

// The write lock is taken as the transaction begins. A deferred transaction would first
// read and then fail at once, without waiting, on a lock that another connection took
// meanwhile, and the old rows would stay beside the new ones.
bool SnapshotTable::open()
{
    state = State::Open;
    if (!localDb.open())
        return giveUp(localDb.lastError());
    if (!execute(QStringLiteral("begin immediate")))
        return false;
    QSqlError error;
    const LocalDatabase::TablePresence presence = LocalDatabase::tablePresence(localDb, kind.table, &error);
    if (presence == LocalDatabase::TablePresence::Unknown)
        return giveUp(error);
    tablePresent = presence == LocalDatabase::TablePresence::Present;
    return true;
}

bool SnapshotTable::execute(const QString &statement)
{
    QSqlQuery query(localDb);
    return query.exec(statement) || giveUp(query.lastError());
}

void SnapshotTable::insert(const QStringList &values)
{
    switch (state) {
    case State::Open:
        insertRow(values);
        break;
    case State::None:
        insertStandaloneRow(values);
        break;
    case State::GivenUp:
        // The rows of a snapshot that cannot be kept whole are not kept at all.
        break;
    }
}

bool SnapshotTable::insertRow(const QStringList &values)
{
    // The table comes into being with its first row, never by a clear alone.
    if (!tablePresent) {
        if (!execute(kind.createStatement))
            return false;
        tablePresent = true;
    }
    if (!rows.isPrepared() && !rows.prepare(localDb, kind.insertStatement))
        return giveUp(rows.errorText());
    return rows.insert(values, kind.timeStamped ? timeStamp() : QString()) || giveUp(rows.errorText());
}

void SnapshotTable::insertStandaloneRow(const QStringList &values)
{
    if (!localDb.isValid())
        return;
    reason.clear();
    if (open())
        insertRow(values);
    finish();
}

// Rolls back whatever the snapshot wrote, so the table keeps the rows it had. Always false.
bool SnapshotTable::giveUp(const QSqlError &error)
{
    return giveUp(LocalDatabase::errorText(error));
}

bool SnapshotTable::giveUp(const QString &why)
{
    reason = why;
    rollBack();
    localDb.close();
    state = State::GivenUp;
    return false;
}

QString SnapshotTable::failure() const
{
    return reason.isEmpty() ? QString() : kind.table + QStringLiteral(" snapshot not saved: ") + reason;
}

void SnapshotTable::finish()
{
    if (state == State::Open) {
        rows.release();
        execute(QStringLiteral("commit"));
    }
    end();
}

void SnapshotTable::abandon()
{
    if (state == State::Open)
        rollBack();
    end();
}

void SnapshotTable::end()
{
    state = State::None;
    localDb.close();
}

// Ends the snapshot's transaction without its rows; the prepared insert is let go first.
void SnapshotTable::rollBack()
{
    rows.release();
    if (localDb.isOpen())
        QSqlQuery(localDb).exec(QStringLiteral("rollback"));
}
