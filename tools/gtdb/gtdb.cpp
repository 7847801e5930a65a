#include "gtdb.h"

#include "storage/sqlite_support.h"
#include "storage/storage_format.h"

#include <QFile>

#include <sqlite3.h>

namespace gtdb {
namespace {

const char kSchema[] = R"(CREATE TABLE GT_CHECKPOINT (
  id INTEGER PRIMARY KEY,
  CheckPoint_Card TEXT(50),
  CheckPoint_Name TEXT(255),
  CheckPoint_Number INTEGER,
  CheckPoint_Type INTEGER
);
CREATE TABLE GT_LINE (
  id INTEGER PRIMARY KEY,
  Line_Name TEXT(255)
);
CREATE TABLE GT_LINE_EXTD (
  id INTEGER PRIMARY KEY,
  Line_ID INTEGER,
  Place_ID INTEGER,
  Line_Order INTEGER,
  NextPlace_Time INTEGER,
  Stay_Time INTEGER
);
CREATE TABLE GT_PLAN (
  ID INTEGER PRIMARY KEY,
  Line_ID INTEGER,
  Plan_StartTime DATETIME,
  Plan_EndTime DATETIME,
  Plan_Type INTEGER,
  Plan_Mode INTEGER,
  Excute_Week TEXT(50),
  Start_Date DATETIME,
  Excute_Cycle INTEGER,
  Rest_Cycle INTEGER,
  Place_ID INTEGER,
  Create_Time DATETIME
);
)";

using accessodbc::SqlitePointer;
using accessodbc::StatementPointer;

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

bool execute(sqlite3 *db, const QByteArray &sql, QString *error)
{
    std::string message;
    return accessodbc::executeSql(db, sql.toStdString(), &message) || fail(error, QString::fromStdString(message));
}

SqlitePointer createEmpty(const QString &path, QString *error)
{
    if (QFile::exists(path) && !QFile::remove(path)) {
        fail(error, QStringLiteral("cannot replace %1").arg(path));
        return nullptr;
    }
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                   nullptr);
    SqlitePointer db(raw);
    if (rc != SQLITE_OK) {
        fail(error, QStringLiteral("cannot create %1: %2").arg(path, QString::fromUtf8(sqlite3_errmsg(raw))));
        return nullptr;
    }
    if (!execute(db.get(), kSchema, error))
        return nullptr;
    return db;
}

bool finish(sqlite3 *db, const QString &password, QString *error)
{
    std::string message;
    if (!accessodbc::storePassword(db, password.toStdString(), &message))
        return fail(error, QString::fromStdString(message));
    return true;
}

StatementPointer prepare(sqlite3 *db, const char *sql, QString *error)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        fail(error, QString::fromUtf8(sqlite3_errmsg(db)));
    return StatementPointer(stmt);
}

void bindText(sqlite3_stmt *stmt, int index, const QString &text)
{
    sqlite3_bind_text(stmt, index, text.toUtf8().constData(), -1, SQLITE_TRANSIENT);
}

bool stepAndReset(sqlite3 *db, sqlite3_stmt *stmt, QString *error)
{
    const bool done = sqlite3_step(stmt) == SQLITE_DONE;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return done || fail(error, QString::fromUtf8(sqlite3_errmsg(db)));
}

const char *const kPlaceNames[] = {"北门岗亭", "南门", "地下车库", "配电房", "Lobby", "Warehouse", "消防通道", "Rooftop"};
const int kPlaceNameCount = int(sizeof kPlaceNames / sizeof *kPlaceNames);

bool generateCheckpoints(sqlite3 *db, int rows, QString *error)
{
    StatementPointer insert = prepare(db, "INSERT INTO GT_CHECKPOINT VALUES (?1, ?2, ?3, ?4, ?5)", error);
    if (!insert)
        return false;
    for (int i = 1; i <= rows; ++i) {
        sqlite3_bind_int(insert.get(), 1, i);
        if (i % 17 != 0)
            bindText(insert.get(), 2, QStringLiteral("%1").arg(0xA0000000u + unsigned(i) * 7919u, 8, 16, QLatin1Char('0')).toUpper());
        bindText(insert.get(), 3, QStringLiteral("%1 %2").arg(QString::fromUtf8(kPlaceNames[i % kPlaceNameCount])).arg(i));
        sqlite3_bind_int(insert.get(), 4, i);
        if (i % 23 != 0)
            sqlite3_bind_int(insert.get(), 5, i % 3);
        if (!stepAndReset(db, insert.get(), error))
            return false;
    }
    return true;
}

bool generateRoutes(sqlite3 *db, int rows, QString *error)
{
    StatementPointer insert = prepare(db, "INSERT INTO GT_LINE VALUES (?1, ?2)", error);
    if (!insert)
        return false;
    for (int i = 1; i <= rows; ++i) {
        sqlite3_bind_int(insert.get(), 1, i);
        const QString name = i % 2 ? QStringLiteral("夜间巡逻路线 %1").arg(i) : QStringLiteral("Route %1").arg(i);
        if (i % 29 != 0)
            bindText(insert.get(), 2, name);
        if (!stepAndReset(db, insert.get(), error))
            return false;
    }
    return true;
}

// Every 50th stop belongs to a route that does not exist.
bool generateStops(sqlite3 *db, int rows, QString *error)
{
    StatementPointer insert = prepare(db, "INSERT INTO GT_LINE_EXTD VALUES (?1, ?2, ?3, ?4, ?5, ?6)", error);
    if (!insert)
        return false;
    const int routes = rows > 0 ? rows : 1;
    for (int i = 1; i <= rows; ++i) {
        sqlite3_bind_int(insert.get(), 1, i);
        sqlite3_bind_int(insert.get(), 2, i % 50 == 0 ? routes + 1000 + i : (i - 1) / 5 % routes + 1);
        sqlite3_bind_int(insert.get(), 3, (i * 7) % routes + 1);
        sqlite3_bind_int(insert.get(), 4, (i - 1) % 5 + 1);
        sqlite3_bind_int(insert.get(), 5, 5 + i % 11);
        if (i % 13 != 0)
            sqlite3_bind_int(insert.get(), 6, i % 4 == 0 ? 30 : 2);
        if (!stepAndReset(db, insert.get(), error))
            return false;
    }
    return true;
}

bool generatePlans(sqlite3 *db, int rows, QString *error)
{
    StatementPointer insert
        = prepare(db, "INSERT INTO GT_PLAN VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)", error);
    if (!insert)
        return false;
    const int routes = rows > 0 ? rows : 1;
    for (int i = 1; i <= rows; ++i) {
        const int hour = i % 24;
        sqlite3_bind_int(insert.get(), 1, i);
        sqlite3_bind_int(insert.get(), 2, i % routes + 1);
        bindText(insert.get(), 3, QStringLiteral("1899-12-30 %1:00:00").arg(hour, 2, 10, QLatin1Char('0')));
        bindText(insert.get(), 4, QStringLiteral("1899-12-30 %1:30:00").arg(hour, 2, 10, QLatin1Char('0')));
        sqlite3_bind_int(insert.get(), 5, i % 2);
        sqlite3_bind_int(insert.get(), 6, i % 3);
        bindText(insert.get(), 7, i % 7 ? QStringLiteral("1111100") : QStringLiteral("1111111"));
        bindText(insert.get(), 8, QStringLiteral("2021-%1-%2 00:00:00").arg(i % 12 + 1, 2, 10, QLatin1Char('0'))
                                      .arg(i % 28 + 1, 2, 10, QLatin1Char('0')));
        sqlite3_bind_int(insert.get(), 9, 1 + i % 7);
        sqlite3_bind_int(insert.get(), 10, i % 3);
        if (i % 11 == 0)
            sqlite3_bind_int(insert.get(), 11, 0);
        else if (i % 19 != 0)
            sqlite3_bind_int(insert.get(), 11, i % routes + 1);
        bindText(insert.get(), 12, QStringLiteral("2021-06-06 %1:%2:15").arg(hour, 2, 10, QLatin1Char('0'))
                                       .arg(i % 60, 2, 10, QLatin1Char('0')));
        if (!stepAndReset(db, insert.get(), error))
            return false;
    }
    return true;
}

} // namespace

QString guardTourSchema()
{
    return QString::fromUtf8(kSchema);
}

bool createGuardTourDb(const QString &path, const QString &sqlScript, const QString &password, QString *error)
{
    SqlitePointer db = createEmpty(path, error);
    if (!db)
        return false;
    return execute(db.get(), "BEGIN", error) && execute(db.get(), sqlScript.toUtf8(), error)
        && execute(db.get(), "COMMIT", error) && finish(db.get(), password, error);
}

bool generateGuardTourDb(const QString &path, int rowsPerTable, const QString &password, QString *error)
{
    if (rowsPerTable < 0)
        return fail(error, QStringLiteral("the number of rows cannot be negative"));
    SqlitePointer db = createEmpty(path, error);
    if (!db)
        return false;
    return execute(db.get(), "BEGIN", error) && generateCheckpoints(db.get(), rowsPerTable, error)
        && generateRoutes(db.get(), rowsPerTable, error) && generateStops(db.get(), rowsPerTable, error)
        && generatePlans(db.get(), rowsPerTable, error) && execute(db.get(), "COMMIT", error)
        && finish(db.get(), password, error);
}

} // namespace gtdb
