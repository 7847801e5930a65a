#include "app/oldlogs.h"

#include "logging/logline.h"
#include "logging/logthread.h"
#include "store/recordkind.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QVariant>

#include <algorithm>

namespace {
const QString dateDigits = QStringLiteral("%1%2%3");

// The file name part of each daily pattern the program writes, "%1%2%3" standing for the date.
QStringList dailyFilePatterns()
{
    QStringList patterns = {LogThread::filePattern()};
    for (const RecordKind *kind : {&RecordKind::checkpoints(), &RecordKind::routeStops(), &RecordKind::plans(),
                                   &RecordKind::evaluations()})
        patterns << kind->responsePattern;
    for (QString &pattern : patterns)
        pattern = pattern.mid(pattern.lastIndexOf(QLatin1Char('/')) + 1);
    return patterns;
}

// The date in the name when the program would have given a file exactly that name; invalid
// otherwise.
QDate dateOfDailyFile(const QString &name, const QStringList &patterns)
{
    for (const QString &pattern : patterns) {
        const int at = pattern.indexOf(dateDigits);
        const QString before = pattern.left(at);
        const QString after = pattern.mid(at + dateDigits.size());
        if (!name.startsWith(before) || !name.endsWith(after) || name.size() != before.size() + 8 + after.size())
            continue;
        const QString digits = name.mid(before.size(), 8);
        const QDate date(digits.leftRef(4).toInt(), digits.midRef(4, 2).toInt(), digits.midRef(6, 2).toInt());
        if (date.isValid() && dailyFileName(pattern, date) == name)
            return date;
    }
    return QDate();
}
}

int readLogKeepDays(const QSettings &settings)
{
    bool isNumber = false;
    const int days = settings.value(QStringLiteral("LOG_KEEP_DAYS")).toInt(&isNumber);
    return isNumber && days > 0 ? days : 0;
}

RemovedLogs removeOldDailyFiles(const QString &logDir, const QDate &today, int keepDays)
{
    RemovedLogs removed;
    if (keepDays <= 0)
        return removed;
    const QDate oldestKept = today.addDays(-keepDays);
    const QStringList patterns = dailyFilePatterns();
    const QDir dir(logDir);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        const QDate date = dateOfDailyFile(name, patterns);
        if (!date.isValid() || date >= oldestKept)
            continue;
        QFile file(dir.filePath(name));
        if (!file.remove()) {
            removed.notRemoved << QStringLiteral("%1 (%2)").arg(name, file.errorString());
            continue;
        }
        ++removed.files;
        if (!removed.dates.contains(date))
            removed.dates << date;
    }
    std::sort(removed.dates.begin(), removed.dates.end());
    return removed;
}

QString removedLogsLine(const RemovedLogs &removed, int keepDays)
{
    if (removed.files == 0 && removed.notRemoved.isEmpty())
        return QString();
    QStringList dates;
    for (const QDate &date : removed.dates)
        dates << dailyFileName(dateDigits, date);
    QString line = QStringLiteral("log: removed %1 daily %2 older than %3 days (LOG_KEEP_DAYS)")
                       .arg(removed.files)
                       .arg(removed.files == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                       .arg(keepDays);
    if (!dates.isEmpty())
        line += QStringLiteral(", dated ") + dates.join(QStringLiteral(", "));
    if (!removed.notRemoved.isEmpty())
        line += QStringLiteral("; could not remove ") + removed.notRemoved.join(QStringLiteral(", "));
    return line;
}
