#include "store/localdatabase.h"

#include <QSqlQuery>
#include <QVariant>

namespace LocalDatabase {

const QString connectionName = QStringLiteral("fernwick_db");

QSqlDatabase registerConnection()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(QStringLiteral("fernwick.db"));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMsecs));
    return db;
}

TablePresence tablePresence(const QSqlDatabase &db, const QString &table, QSqlError *error)
{
    QSqlQuery query(db);
    bool answered = query.prepare(QStringLiteral("select count(*) from sqlite_master where type = 'table' and name = ?"));
    if (answered) {
        query.addBindValue(table);
        answered = query.exec() && query.next();
    }
    if (!answered) {
        *error = query.lastError();
        return TablePresence::Unknown;
    }
    return query.value(0).toInt() > 0 ? TablePresence::Present : TablePresence::Absent;
}

QString errorText(const QSqlError &error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.driverText().trimmed() : text;
}

}
