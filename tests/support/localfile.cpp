#include "support/localfile.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

LocalFile::LocalFile(const QString &connection)
    : connectionName(connection)
{
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(QStringLiteral("fernwick.db"));
    db.open();
}

LocalFile::~LocalFile()
{
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName);
}

bool LocalFile::hasTable(const QString &table) const
{
    return db.tables().contains(table);
}

bool LocalFile::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(db);
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

QList<QStringList> LocalFile::rows(const QString &sql)
{
    QList<QStringList> rows;
    QSqlQuery query(db);
    query.exec(sql);
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << (query.value(i).isNull() ? QStringLiteral("<null>") : query.value(i).toString());
        rows << row;
    }
    return rows;
}

QList<QStringList> LocalFile::table(const QString &name)
{
    return rows(QStringLiteral("select * from ") + name + QStringLiteral(" order by rowid"));
}
