#include "store/dbthread.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {
const QString connectionName = QStringLiteral("fernwick_db");
const QString configTable = QStringLiteral("orva_fernwick_config");
const QString defaultPath = QStringLiteral("D:/Program Files (x86)/Quellard B1.0/GuardTour_DB.mdb");
const QString defaultPassword = QStringLiteral("XQ");
}

DBThread::DBThread(QObject *parent)
    : QThread(parent)
{
    localDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    localDb.setDatabaseName(QStringLiteral("fernwick.db"));
}

void DBThread::loadConfig()
{
    pathMdb = defaultPath;
    passWd = defaultPassword;
    if (localDb.open()) {
        if (configTablePresent())
            readConfigRows();
        else
            seedConfigTable();
    }
    localDb.close();
    emit getParam(pathMdb, passWd);
}

bool DBThread::configTablePresent() const
{
    return localDb.tables(QSql::Tables).contains(configTable, Qt::CaseSensitive);
}

void DBThread::readConfigRows()
{
    QSqlQuery query(localDb);
    query.exec(QStringLiteral("select PATH, PASSWD from orva_fernwick_config;"));
    // Every row is read; the last one wins.
    while (query.next()) {
        pathMdb = query.value(0).toString();
        passWd = query.value(1).toString();
    }
    query.clear();
}

void DBThread::seedConfigTable()
{
    if (!localDb.transaction())
        return;
    QSqlQuery query(localDb);
    query.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text);"));
    query.prepare(QStringLiteral("insert into orva_fernwick_config (PATH, PASSWD) values (?, ?);"));
    query.addBindValue(pathMdb);
    query.addBindValue(passWd);
    query.exec();
    query.clear();
    localDb.commit();
}
