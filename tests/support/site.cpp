#include "support/site.h"

#include "gtdb.h"
#include "support/localfile.h"
#include "support/programrun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

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

namespace {
// Lines as they read on any platform and at any second: no CR, no time stamp.
QStringList unstampedLines(const QString &text)
{
    static const QRegularExpression stamp(QStringLiteral("\\[ \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\]"));
    QStringList lines = QString(text).remove(QLatin1Char('\r')).replace(stamp, QStringLiteral("[ ]")).split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The server keeps its own thread going, so a poll needs no event loop here.
bool pollFor(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}
}

QString syncAtOnce(const QString &program, const QProcessEnvironment &environment, int runs, int timeoutMs)
{
    Site site;
    if (!site.generate(20))
        return QStringLiteral("the site could not be made");
    site.server.holdReplies();
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < runs; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->setWorkingDirectory(site.wd.path());
        processes.back()->setProcessEnvironment(environment);
        processes.back()->start(program, {QStringLiteral("--once")});
    }
    const bool allPosted = pollFor([&] { return site.server.requestCount() == 3 * runs; }, timeoutMs);
    site.server.releaseReplies();
    QString wrong;
    for (const auto &process : processes) {
        const Run run = finished(*process, timeoutMs);
        if (run.exitCode != 0)
            wrong += QStringLiteral("a run ended with %1: %2 %3\n").arg(run.exitCode).arg(run.out.join(QLatin1Char(' ')), run.err);
    }
    if (!allPosted)
        return wrong + QStringLiteral("%1 of %2 posts came\n").arg(site.server.requestCount()).arg(3 * runs);
    // Every run logs the same lines, so each line is there once per run.
    QHash<QString, int> counts;
    for (const QString &line : unstampedLines(dailyFiles(site.wd.path(), QStringLiteral("fernwicklog-*.txt"))))
        ++counts[line];
    if (counts.value(QStringLiteral("[ ] ****** start ******")) != runs)
        wrong += QStringLiteral("%1 start lines\n").arg(counts.value(QStringLiteral("[ ] ****** start ******")));
    for (auto line = counts.cbegin(); line != counts.cend(); ++line) {
        if (line.value() % runs != 0)
            wrong += QStringLiteral("%1 times: %2\n").arg(line.value()).arg(line.key().left(200));
    }
    for (const QString &kind : {QStringLiteral("Point"), QStringLiteral("Line"), QStringLiteral("Plan")}) {
        const QStringList answers = unstampedLines(dailyFiles(site.wd.path(), QStringLiteral("response%1Data-*.txt").arg(kind)));
        if (answers.size() != runs || answers.count(QStringLiteral("ok")) != runs)
            wrong += QStringLiteral("response%1Data: %2\n").arg(kind, answers.join(QLatin1Char('|')));
    }
    return wrong;
}
