#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class QSettings;

// LOG_KEEP_DAYS in sys.ini: how many days of daily files the program keeps besides today's.
// Absent, 0 or anything but a whole number keeps every file.
int readLogKeepDays(const QSettings &settings);

struct RemovedLogs
{
    int files = 0;
    QList<QDate> dates;      // of the files removed, oldest first, each once
    QStringList notRemoved;  // "name (reason)" of those that could not be
};

// Removes the program's own daily files in `logDir` (the running log and the response files,
// by the names the program gives them) whose date is more than `keepDays` before `today`.
// Nothing else in the folder is touched, whatever its name.
RemovedLogs removeOldDailyFiles(const QString &logDir, const QDate &today, int keepDays);

// The log line that tells what was removed; empty when nothing was found to remove.
QString removedLogsLine(const RemovedLogs &removed, int keepDays);
