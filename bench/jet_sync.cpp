// Jet files against the SQLite storage. Measures, through QODBC as the application
// connects, (1) connect plus first query on a Jet database and (2) a sync-shaped run:
// connect, then read every value of the largest tables with the application's kind of
// Access SQL. The same runs go against an SQLite storage file holding the same tables,
// copied from what the driver reads out of the Jet file.
//
// usage: bench_jet_sync [JET_FILE=<samples>/nwind.mdb] [ROUNDS=15]

#include "fernwick_driver_names.h"
#include "storage/storage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>
#include <vector>

namespace {

const char *const kSyncQueries[] = {
    "SELECT CStr(o.OrderID) AS oID, (select CompanyName from Customers where CustomerID = o.CustomerID) AS "
    "Company, o.OrderDate AS oDate, CStr(o.Freight) AS oFreight, o.ShipName, o.ShipCity FROM Orders AS o;",
    "select CStr(OrderID) AS dOrder, CStr(ProductID) AS dProduct, CStr(UnitPrice) AS dPrice, Quantity, "
    "Discount from [Order Details];",
    "select * from Customers;",
    "select EmployeeID, LastName, FirstName, BirthDate, Notes from Employees;",
};

QString connectionString(const QString &path)
{
    return QStringLiteral("DRIVER={%1};FIL={MS Access};DBQ=%2;Uid=;Pwd=").arg(QLatin1String(accessdriver::jetName), path);
}

qint64 readEverything(QSqlDatabase &db, const char *sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QString::fromUtf8(sql)))
        qFatal("query failed: %s", qPrintable(query.lastError().text()));
    qint64 sum = 0;
    const int columns = query.record().count();
    while (query.next()) {
        for (int i = 0; i < columns; ++i)
            sum += query.value(i).toString().size();
    }
    return sum;
}

// One connection, the given queries, the connection closed; in milliseconds.
double timedRun(const QString &path, int queryCount, qint64 *checksum)
{
    QElapsedTimer timer;
    timer.start();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("bench"));
        db.setDatabaseName(connectionString(path));
        if (!db.open())
            qFatal("connect failed: %s", qPrintable(db.lastError().text()));
        *checksum = 0;
        for (int i = 0; i < queryCount; ++i)
            *checksum += readEverything(db, kSyncQueries[i]);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return double(timer.nsecsElapsed()) / 1e6;
}

struct Timing {
    double best, median;
};

Timing measure(const QString &path, int queryCount, int rounds, qint64 *checksum)
{
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round)
        times.push_back(timedRun(path, queryCount, checksum));
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

// The tables as the driver reads them from the Jet file, written out as an SQLite storage file.
void copyAsSqliteStorage(const QString &jetPath, const QString &sqlitePath)
{
    accessodbc::OpenResult jet = accessodbc::openDatabaseFile(jetPath.toStdString(), std::string());
    if (!jet.database)
        qFatal("cannot read %s: %s", qPrintable(jetPath), jet.detail.c_str());
    sqlite3 *target = nullptr;
    if (sqlite3_open(sqlitePath.toUtf8().constData(), &target) != SQLITE_OK)
        qFatal("cannot create %s", qPrintable(sqlitePath));
    sqlite3_backup *backup = sqlite3_backup_init(target, "main", jet.database->handle(), "main");
    if (!backup || sqlite3_backup_step(backup, -1) != SQLITE_DONE)
        qFatal("copy failed: %s", sqlite3_errmsg(target));
    sqlite3_backup_finish(backup);
    sqlite3_close(target);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("ODBCSYSINI", FERNWICK_ODBCSYSINI);
    const QString jetPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(FERNWICK_MDB_SAMPLES "/nwind.mdb");
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 15;
    if (!QFileInfo::exists(jetPath)) {
        QTextStream(stderr) << "bench_jet_sync: " << jetPath << " is missing. Without a file named, it reads the third-party "
                            << "sample nwind.mdb, kept outside the repository in ../shared/data/mdb/ beside the clone ("
                            << QDir::cleanPath(QStringLiteral(FERNWICK_MDB_SAMPLES))
                            << "/); put it there, or name a Jet file: bench_jet_sync FILE.mdb [ROUNDS]\n";
        return 1;
    }
    QTemporaryDir dir;
    const QString sqlitePath = dir.filePath(QStringLiteral("copy.mdb"));
    copyAsSqliteStorage(jetPath, sqlitePath);

    QTextStream out(stdout);
    const int syncQueries = int(sizeof kSyncQueries / sizeof kSyncQueries[0]);
    qint64 jetSum = 0, sqliteSum = 0;
    for (int queries : {1, syncQueries}) {
        const Timing jet = measure(jetPath, queries, rounds, &jetSum);
        const Timing sqlite = measure(sqlitePath, queries, rounds, &sqliteSum);
        if (jetSum != sqliteSum)
            qFatal("the two storages answered differently (%lld, %lld)", jetSum, sqliteSum);
        out << (queries == 1 ? "connect + first query" : "sync run (connect + 4 queries)") << ", " << rounds
            << " rounds, ms best/median:\n"
            << QStringLiteral("  Jet file       %1 / %2\n").arg(jet.best, 0, 'f', 1).arg(jet.median, 0, 'f', 1)
            << QStringLiteral("  SQLite storage %1 / %2\n").arg(sqlite.best, 0, 'f', 1).arg(sqlite.median, 0, 'f', 1)
            << QStringLiteral("  ratio (median) %1\n").arg(jet.median / sqlite.median, 0, 'f', 2);
    }
    return 0;
}
