#pragma once

// Guard-tour databases in the format the project's Access ODBC driver reads: for test
// fixtures, the demo site and the benchmarks. Every function replaces a file that is
// already at path.

#include <QString>

namespace gtdb {

// The CREATE TABLE statements of GT_CHECKPOINT, GT_LINE, GT_LINE_EXTD and GT_PLAN.
QString guardTourSchema();

// Creates the tables, then runs sqlScript (INSERT statements, typically) on them.
// An empty password leaves the database without one.
bool createGuardTourDb(const QString &path, const QString &sqlScript, const QString &password = QString(),
                       QString *error = nullptr);

// Creates the tables and fills each with rowsPerTable plausible rows: Chinese and Latin
// names, NULLs here and there, route stops that point at real routes and a few at none.
// The same arguments always give the same rows.
bool generateGuardTourDb(const QString &path, int rowsPerTable, const QString &password = QString(),
                         QString *error = nullptr);

} // namespace gtdb
