#pragma once

// Shared by the driver's tests: fixture databases and connections made exactly as the
// application makes them.

#include "fernwick_driver_names.h"
#include "gtdb.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

namespace odbcfixture {

inline QString connectionString(const QString &path, const QString &password = QString())
{
    return QStringLiteral("DRIVER={%1};FIL={MS Access};DBQ=%2;Uid=%3;Pwd=%4")
        .arg(QLatin1String(accessdriver::jetName), path, QString(), password);
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

// CTest runs the tests of numbers as text a second time with LC_ALL naming a locale with
// a decimal comma, which QCoreApplication makes the process's (setlocale(LC_ALL, "")). A
// locale that is not installed leaves C in place, and that run would prove nothing: so
// the locale asked for must be the one in effect. Empty when it is.
inline QString localeNotInEffect()
{
    const QByteArray wanted = qgetenv("LC_ALL");
    const QByteArray current = std::setlocale(LC_ALL, nullptr);
    if (wanted.isEmpty() || wanted == current)
        return QString();
    return QStringLiteral("LC_ALL=%1 asks for a locale this machine does not have (in effect: %2); generate it "
                          "(for de_DE.UTF-8: localedef -i de_DE -f UTF-8 de_DE.UTF-8)")
        .arg(QString::fromLocal8Bit(wanted), QString::fromLocal8Bit(current));
}

} // namespace odbcfixture
