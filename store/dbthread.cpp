#include "store/dbthread.h"

#include "store/configrecord.h"
#include "store/localdatabase.h"

#include <QSqlQuery>
#include <QVariant>

namespace {
const QString configTable = QStringLiteral("orva_fernwick_config");
}

DBThread::DBThread(QObject *parent)
    : QThread(parent)
{
    localDb = LocalDatabase::registerConnection();
}

void DBThread::loadConfig()
{
    useDefaults();
    failure.clear();
    readConfig();
    localDb.close();
    emit getParam(pathMdb, passWd);
}

// The record is seeded only when the file was read and truly has no configuration table:
// a file that could not be read (locked, damaged, no database) keeps its row for the next
// start, and this run goes on with the defaults.
void DBThread::readConfig()
{
    if (!localDb.open()) {
        fail(localDb.lastError());
        return;
    }
    LocalDatabase::useLargePages(localDb);
    QSqlError error;
    switch (LocalDatabase::tablePresence(localDb, configTable, &error)) {
    case LocalDatabase::TablePresence::Present:
        readConfigRows();
        return;
    case LocalDatabase::TablePresence::Absent:
        seedConfigTable();
        return;
    case LocalDatabase::TablePresence::Unknown:
        fail(error);
        return;
    }
}

void DBThread::readConfigRows()
{
    QSqlQuery query(localDb);
    query.setForwardOnly(true);
    if (query.exec(QStringLiteral("select PATH, PASSWD from orva_fernwick_config;"))) {
        // Every row is read; the last one wins.
        while (query.next()) {
            pathMdb = query.value(0).toString();
            passWd = query.value(1).toString();
        }
    }
    if (query.lastError().isValid())
        fail(query.lastError());
}

// The table and its row come into being together or not at all. Should another start
// have created the table meanwhile, the create fails and no second row is added.
void DBThread::seedConfigTable()
{
    QSqlQuery query(localDb);
    if (!query.exec(QStringLiteral("begin immediate")))
        return;
    const bool written = ConfigRecord::createSeededTable(&query);
    if (!written || !query.exec(QStringLiteral("commit")))
        query.exec(QStringLiteral("rollback"));
}

void DBThread::useDefaults()
{
    pathMdb = ConfigRecord::defaultPath();
    passWd = ConfigRecord::defaultPassword();
}

void DBThread::fail(const QSqlError &error)
{
    useDefaults();
    failure = QStringLiteral("fernwick.db could not be read: %1; using the built-in defaults")
                  .arg(LocalDatabase::errorText(error));
}
