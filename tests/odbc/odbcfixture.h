#pragma once

// Shared by the driver's tests: fixture databases and connections made exactly as the
// application makes them.

#include "gtdb.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

namespace odbcfixture {

inline QString connectionString(const QString &path, const QString &password = QString())
{
    return QStringLiteral("DRIVER={Microsoft Access Driver (*.mdb)};FIL={MS Access};DBQ=%1;Uid=%2;Pwd=%3")
        .arg(path)
        .arg(QString())
        .arg(password);
}

inline QSqlDatabase accessDatabase(const QString &connectionName, const QString &path,
                                   const QString &password = QString())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connectionName);
    db.setDatabaseName(connectionString(path, password));
    return db;
}

// Builds a database in dir from an SQL script and returns its path.
inline QString makeDatabase(const QTemporaryDir &dir, const QString &script, const QString &password = QString(),
                            const QString &fileName = QStringLiteral("GuardTour_DB.mdb"))
{
    const QString path = dir.filePath(fileName);
    QString error;
    if (!gtdb::createGuardTourDb(path, script, password, &error))
        qFatal("fixture database not created: %s", qPrintable(error));
    return path;
}

inline QByteArray fileChecksum(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

} // namespace odbcfixture
