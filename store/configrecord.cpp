#include "store/configrecord.h"

#include "store/localdatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {
const QString fileName = QStringLiteral("fernwick.db");
const QString table = QStringLiteral("orva_fernwick_config");
const QString connectionName = QStringLiteral("fernwick_setup");
// SQLite's code for a file that another connection has locked.
const QString busyCode = QStringLiteral("5");

// A connection of its own, removed again when the work is done, so that it meets no other.
class SetupConnection
{
public:
    explicit SetupConnection(const QString &options)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(fileName);
        db.setConnectOptions(options);
    }
    ~SetupConnection() { QSqlDatabase::removeDatabase(connectionName); }
    QSqlDatabase db() const { return QSqlDatabase::database(connectionName, false); }
};

QString failureText(const QSqlError &error)
{
    if (error.nativeErrorCode() == busyCode)
        return QStringLiteral("%1 is in use by another program (%2); nothing was changed. Close that program and "
                              "try again")
            .arg(fileName, LocalDatabase::errorText(error));
    return QStringLiteral("%1 cannot be written (%2); nothing was changed").arg(fileName, LocalDatabase::errorText(error));
}

bool insertRow(QSqlQuery *query, const QString &path, const QString &password)
{
    if (!query->prepare(QStringLiteral("insert into orva_fernwick_config (PATH, PASSWD) values (?, ?);")))
        return false;
    query->addBindValue(path);
    query->addBindValue(password);
    return query->exec();
}

bool updateRows(QSqlQuery *query, const QString &path, const QString &password)
{
    const bool withPassword = !password.isNull();
    if (!query->prepare(withPassword ? QStringLiteral("update orva_fernwick_config set PATH = ?, PASSWD = ?")
                                     : QStringLiteral("update orva_fernwick_config set PATH = ?")))
        return false;
    query->addBindValue(path);
    if (withPassword)
        query->addBindValue(password);
    return query->exec();
}

// The seeding of a first start, then the change. The error of the first statement that
// failed; an invalid error when all went.
QSqlError writeInTransaction(const QSqlDatabase &db, const QString &path, const QString &password, bool *created)
{
    QSqlError error;
    const LocalDatabase::TablePresence presence = LocalDatabase::tablePresence(db, table, &error);
    if (presence == LocalDatabase::TablePresence::Unknown)
        return error;
    QSqlQuery query(db);
    *created = presence == LocalDatabase::TablePresence::Absent;
    if (*created && !ConfigRecord::createSeededTable(&query))
        return query.lastError();
    if (!query.exec(QStringLiteral("select count(*) from orva_fernwick_config")) || !query.next())
        return query.lastError();
    const bool empty = query.value(0).toInt() == 0;
    const bool written = empty
        ? insertRow(&query, path, password.isNull() ? ConfigRecord::defaultPassword() : password)
        : updateRows(&query, path, password);
    return written ? QSqlError() : query.lastError();
}

bool writeRecord(const QString &path, const QString &password, bool *created, QString *error)
{
    SetupConnection connection(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    QSqlDatabase db = connection.db();
    *created = false;
    if (!db.open()) {
        *error = failureText(db.lastError());
        return false;
    }
    QSqlQuery control(db);
    QSqlError failure;
    if (!control.exec(QStringLiteral("begin immediate"))) {
        failure = control.lastError();
    } else {
        failure = writeInTransaction(db, path, password, created);
        if (!failure.isValid() && !control.exec(QStringLiteral("commit")))
            failure = control.lastError();
        if (failure.isValid())
            control.exec(QStringLiteral("rollback"));
    }
    const bool written = !failure.isValid();
    db.close();
    if (!written)
        *error = failureText(failure);
    return written;
}

}

namespace ConfigRecord {

QString defaultPath()
{
    return QStringLiteral("D:/Program Files (x86)/Quellard B1.0/GuardTour_DB.mdb");
}

QString defaultPassword()
{
    return QStringLiteral("XQ");
}

bool createSeededTable(QSqlQuery *query)
{
    return query->exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text);"))
        && insertRow(query, defaultPath(), defaultPassword());
}

bool read(Values *values, QString *error)
{
    if (!QFileInfo(fileName).isFile()) {
        *error = QStringLiteral("%1 is not there").arg(fileName);
        return false;
    }
    SetupConnection connection(QStringLiteral("QSQLITE_OPEN_READONLY"));
    QSqlDatabase db = connection.db();
    *values = {defaultPath(), defaultPassword(), false};
    bool read = db.open();
    QSqlError failure = db.lastError();
    if (read) {
        QSqlQuery query(db);
        QSqlError presenceError;
        const LocalDatabase::TablePresence presence = LocalDatabase::tablePresence(db, table, &presenceError);
        read = presence != LocalDatabase::TablePresence::Unknown;
        failure = presenceError;
        if (presence == LocalDatabase::TablePresence::Present) {
            read = query.exec(QStringLiteral("select PATH, PASSWD from orva_fernwick_config;"));
            // The last row wins, as at a start.
            while (read && query.next())
                *values = {query.value(0).toString(), query.value(1).toString(), true};
            failure = query.lastError();
            read = read && !failure.isValid();
        }
        db.close();
    }
    if (!read)
        *error = QStringLiteral("%1 cannot be read (%2)").arg(fileName, LocalDatabase::errorText(failure));
    return read;
}

bool write(const QString &path, const QString &password, bool *created, QString *error)
{
    // A file that this call made and could not write (a full disk) is taken away again, so
    // that "nothing was changed" holds for a first set-up too.
    const bool existed = QFileInfo::exists(fileName);
    const bool written = writeRecord(path, password, created, error);
    if (!written && !existed)
        QFile::remove(fileName);
    return written;
}

}
