// Fetches the plan query (12 columns) over 100,000 rows twice from the same file: through
// QODBC and the project's Access driver, and through Qt's QSQLITE driver with the same
// Access functions registered. Reads every value by name as the application does.

#include "fernwick_driver_names.h"
#include "sql/access_functions.h"
#include "gtdb.h"

#include "app/processsetup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

namespace {

const char kPlanQuery[] =
    "select CStr(ID) AS planId,CStr(Line_ID) AS lineId,Plan_StartTime AS pStartTime,Plan_EndTime AS "
    "pEndTime,Plan_Type AS pType,CStr(Plan_Mode) AS pMode,Excute_Week AS pExcWeek,Start_Date AS "
    "pStartDate,CStr(Excute_Cycle) AS pExcCycle,CStr(Rest_Cycle) AS pRestCycle,Place_ID,CStr(Create_Time) AS "
    "pCreateTime From GT_PLAN;";

const int kRows = 100000;
const int kRounds = 3;

// Runs the query and reads every value; returns the best time of kRounds in milliseconds.
double bestFetchMillis(QSqlDatabase &db, qint64 *checksum)
{
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        QSqlQuery query(db);
        if (!query.exec(QString::fromUtf8(kPlanQuery)))
            qFatal("query failed: %s", qPrintable(query.lastError().text()));
        const QSqlRecord record = query.record();
        QStringList names;
        for (int i = 0; i < record.count(); ++i)
            names << record.fieldName(i);
        qint64 sum = 0;
        while (query.next()) {
            for (const QString &name : names) {
                const QVariant value = query.value(name);
                // QODBC hands date/times over as QDateTime, whose text form carries
                // milliseconds; QSQLITE hands over the stored text. Only the rest is compared.
                // A NULL integer reads as "0" through QODBC's typed null; it counts as nothing here.
                if (value.type() != QVariant::DateTime && !name.startsWith(QLatin1String("pSt"))
                    && name != QLatin1String("pEndTime") && !value.isNull())
                    sum += value.toString().size();
                else
                    value.toString();
            }
            sum += query.value(QStringLiteral("Place_ID")).toInt();
        }
        best = qMin(best, double(timer.nsecsElapsed()) / 1e6);
        *checksum = sum;
    }
    return best;
}

void registerAccessFunctionsOn(QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        qFatal("QSQLITE gave no sqlite3 handle");
    sqlite3 *sqlite = *static_cast<sqlite3 *const *>(handle.constData());
    if (!accessodbc::registerAccessFunctions(sqlite))
        qFatal("cannot register the Access functions on QSQLITE");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("ODBCSYSINI"))
        qputenv("ODBCSYSINI", FERNWICK_ODBCSYSINI);
    cacheLocalTimeZone(); // as the tool itself does at start
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("GuardTour_DB.mdb"));
    QString error;
    if (!gtdb::generateGuardTourDb(path, kRows, QString(), &error))
        qFatal("cannot generate the database: %s", qPrintable(error));

    qint64 odbcChecksum = 0, sqliteChecksum = 0;
    double odbcMillis = 0, sqliteMillis = 0;
    {
        QSqlDatabase odbc = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("odbc"));
        odbc.setDatabaseName(
            QStringLiteral("DRIVER={%1};FIL={MS Access};DBQ=%2;Uid=;Pwd=").arg(QLatin1String(accessdriver::jetName), path));
        if (!odbc.open())
            qFatal("QODBC open failed: %s", qPrintable(odbc.lastError().text()));
        odbcMillis = bestFetchMillis(odbc, &odbcChecksum);
        odbc.close();

        QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("sqlite"));
        sqlite.setDatabaseName(path);
        sqlite.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!sqlite.open())
            qFatal("QSQLITE open failed: %s", qPrintable(sqlite.lastError().text()));
        registerAccessFunctionsOn(sqlite);
        sqliteMillis = bestFetchMillis(sqlite, &sqliteChecksum);
        sqlite.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("odbc"));
    QSqlDatabase::removeDatabase(QStringLiteral("sqlite"));

    out << "rows x columns: " << kRows << " x 12, best of " << kRounds << "\n";
    out << "QODBC + Access driver: " << QString::number(odbcMillis, 'f', 1) << " ms\n";
    out << "QSQLITE:               " << QString::number(sqliteMillis, 'f', 1) << " ms\n";
    out << "ratio:                 " << QString::number(odbcMillis / sqliteMillis, 'f', 2) << "\n";
    // Both drivers must have read the same data, or the comparison means nothing.
    if (odbcChecksum != sqliteChecksum) {
        out << "checksums differ: " << odbcChecksum << " vs " << sqliteChecksum << "\n";
        return 1;
    }
    return 0;
}
