#include "support/site.h"

#include "gtdb.h"
#include "support/localfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {
const QDateTime fixedNoon(QDate(2021, 6, 6), QTime(12, 0, 0));
}

bool writeConfigurationTable(const QList<QStringList> &rows)
{
    LocalFile file;
    bool written = file.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text)"));
    for (const QStringList &row : rows)
        written = written
            && file.exec(QStringLiteral("insert into orva_fernwick_config values (?, ?)"), {row.value(0), row.value(1)});
    return written;
}

QString dailyFiles(const QString &directory, const QString &pattern)
{
    QString text;
    const QDir log(directory + QStringLiteral("/log"));
    for (const QString &name : log.entryList({pattern}, QDir::Files, QDir::Name))
        text += QString::fromUtf8(readAll(log.filePath(name)));
    return text;
}

bool dropTable(const QString &site, const QString &table)
{
    bool dropped = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("site"));
        db.setDatabaseName(site);
        dropped = db.open() && QSqlQuery(db).exec(QStringLiteral("drop table ") + table);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("site"));
    return dropped;
}

Site::Site()
    : clock(fixedNoon)
{
    postTo(server.url(QString()));
}

void Site::postTo(const QString &base)
{
    QSettings settings(wd.file(QStringLiteral("sys.ini")), QSettings::IniFormat);
    for (const QString &kind : {QStringLiteral("point"), QStringLiteral("line"), QStringLiteral("plan")})
        settings.setValue(kind.toUpper() + QStringLiteral("_HTTPURL"), base + QLatin1Char('/') + kind);
}

bool Site::make(const QString &sql, const QString &password, const QString &name)
{
    const QString database = wd.file(name);
    QDir().mkpath(QFileInfo(database).path());
    QString error;
    if (pointAt(database, password) && gtdb::createGuardTourDb(database, sql, password, &error))
        return true;
    qWarning("cannot make the site: %s", qPrintable(error));
    return false;
}

bool Site::generate(int rowsPerKind)
{
    const QString database = wd.file(QStringLiteral("GuardTour_DB.mdb"));
    return pointAt(database) && gtdb::generateGuardTourDb(database, rowsPerKind);
}

bool Site::pointAt(const QString &databasePath, const QString &password)
{
    path = databasePath;
    return writeConfigurationTable({{databasePath, password.isNull() ? QStringLiteral("") : password}});
}

QString Site::logFile()
{
    return QStringLiteral("log/fernwicklog-20210606.txt");
}
