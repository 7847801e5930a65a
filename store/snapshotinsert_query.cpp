#include "store/localdatabase.h"
#include "store/snapshotinsert.h"

#include <QSqlError>
#include <QVariant>

SnapshotInsert::~SnapshotInsert()
{
    release();
}

bool SnapshotInsert::isPrepared() const
{
    return prepared;
}

bool SnapshotInsert::prepare(const QSqlDatabase &db, const QString &statement)
{
    release();
    error.clear();
    if (!db.isOpen()) {
        error = QStringLiteral("the snapshot file is not open");
        return false;
    }
    query = QSqlQuery(db);
    prepared = query.prepare(statement);
    if (!prepared) {
        fail();
        release();
    }
    return prepared;
}

bool SnapshotInsert::insert(const QStringList &values, const QString &stamp)
{
    int position = 0;
    for (const QString &value : values)
        query.bindValue(position++, value.isNull() ? QStringLiteral("") : utf16ForSqlite(value));
    if (!stamp.isNull())
        query.bindValue(position, stamp);
    return query.exec() || fail();
}

bool SnapshotInsert::fail()
{
    error = LocalDatabase::errorText(query.lastError());
    return false;
}

void SnapshotInsert::release()
{
    query = QSqlQuery();
    prepared = false;
}
