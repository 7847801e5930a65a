#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

// The local SQLite file fernwick.db, shared by the configuration store and the snapshot
// tables through one named connection.
namespace LocalDatabase {

extern const QString connectionName;

// Another process holding the file briefly (an operator's sqlite3, a backup) is waited
// for this long before a statement gives up.
constexpr int busyTimeoutMsecs = 5000;

QSqlDatabase registerConnection();

enum class TablePresence { Present, Absent, Unknown };

// Asks sqlite_master directly: QSqlDatabase::tables() answers an empty list when the file
// is locked or no database at all, which cannot be told from a file without the table.
// On Unknown, `error` holds why.
TablePresence tablePresence(const QSqlDatabase &db, const QString &table, QSqlError *error);

// What SQLite said, or the toolkit's own words when SQLite said nothing.
QString errorText(const QSqlError &error);

}
