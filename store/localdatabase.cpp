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

namespace {
int pragmaValue(QSqlQuery &query, const QString &pragma)
{
    if (!query.exec(QStringLiteral("pragma ") + pragma) || !query.next())
        return -1;
    const int value = query.value(0).toInt();
    query.finish();
    return value;
}
}

// The rewrite does not wait for another program: it is tried again at the next start, while
// a wait here would hold up this one by the whole busy timeout.
void useLargePages(QSqlDatabase &db)
{
    QSqlQuery query(db);
    const int pageSize = pragmaValue(query, QStringLiteral("page_size"));
    if (pageSize < 0 || pageSize >= pageBytes)
        return;
    const int busyTimeout = pragmaValue(query, QStringLiteral("busy_timeout"));
    query.exec(QStringLiteral("pragma page_size = %1").arg(pageBytes));
    query.exec(QStringLiteral("pragma busy_timeout = 0"));
    query.exec(QStringLiteral("vacuum"));
    query.exec(QStringLiteral("pragma busy_timeout = %1").arg(qMax(busyTimeout, 0)));
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
