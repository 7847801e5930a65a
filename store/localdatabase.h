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

// The page size of the file, in bytes. Every page SQLite reads or writes is one call into the
// system, and under Wine each such call is also a round trip to Wine's server, so a sync
// writes its snapshot in large pages.
constexpr int pageBytes = 65536;

// Gives the open file `db` pages of pageBytes: a new file is made with them, and a file with
// smaller pages (made by an earlier version, or by another program) is rewritten with them
// once, in one transaction, its tables and rows as they were. When the file cannot be
// rewritten now (another program has it open for writing, or the disk is full), it stays as it
// is and serves as before; the next start tries again.
void useLargePages(QSqlDatabase &db);

enum class TablePresence { Present, Absent, Unknown };

// Asks sqlite_master directly: QSqlDatabase::tables() answers an empty list when the file
// is locked or no database at all, which cannot be told from a file without the table.
// On Unknown, `error` holds why.
TablePresence tablePresence(const QSqlDatabase &db, const QString &table, QSqlError *error);

// What SQLite said, or the toolkit's own words when SQLite said nothing.
QString errorText(const QSqlError &error);

}
