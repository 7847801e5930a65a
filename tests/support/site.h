#pragma once

#include "support/testserver.h"
#include "support/testsupport.h"

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The configuration table of fernwick.db in the working directory, made as an operator or
// an installer makes it, holding one row per {path, password}. A null QString is stored
// as NULL.
bool writeConfigurationTable(const QList<QStringList> &rows);

// The daily files of `directory`/log whose names match `pattern`, one after the other by name.
QString dailyFiles(const QString &directory, const QString &pattern);

// Drops a table of a site's database; the tests' sites are SQLite files the driver reads.
bool dropTable(const QString &site, const QString &table);

// A test's own working directory on a fixed day, as the program's clock reads it: sys.ini
// names the test's server for the three kinds, and the configuration row points at a
// guard-tour database.
class Site
{
public:
    Site();

    // The database made from an SQL script; `name` may put it in a folder of its own.
    bool make(const QString &sql, const QString &password = QString(),
              const QString &name = QStringLiteral("GuardTour_DB.mdb"));
    bool generate(int rowsPerKind);
    // The configuration row pointed at a database that is already there.
    bool pointAt(const QString &databasePath, const QString &password = QString());
    // sys.ini naming `base` + "/point", "/line" and "/plan" as the three kinds' endpoints.
    void postTo(const QString &base);

    // The day's running log, as the program names it on the fixed day.
    static QString logFile();

    WorkingDir wd;
    ClockAt clock;
    TestServer server;
    QString path;  // the guard-tour database
};

// `runs` unattended syncs of one site at once (`program --once` each), as the window and the
// scheduled task overlap at a site. Every answer is held back until all runs have posted, so
// that they write their daily files at the same moments. Empty when each run ended with 0 and
// the log and response files hold every line of every run, whole; otherwise what is wrong.
// The test server answers at most eight posts at a time, so `runs` is 2 at most.
QString syncAtOnce(const QString &program, const QProcessEnvironment &environment, int runs, int timeoutMs);
