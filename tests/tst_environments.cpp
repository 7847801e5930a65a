// The same guard-tour database gives the same bytes on the wire, in the row lines and in the
// snapshot tables whatever the locale and the time zone of the machine that runs the sync: the
// real executable is run once per environment and every run is compared with the C/UTC one of
// the reference build (FERNWICK_REFERENCE_EXE, by default the same one). A Windows build
// writes its files in text mode, each line ending in CR LF, and only it.
#include "gtdb.h"
#include "support/site.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

namespace {
const QStringList snapshotTables = {"orva_point_data", "orva_line_data", "orva_plan_data"};
// The column a snapshot row gets at the time it is written, which no two runs share.
const QString writtenAtColumn = QStringLiteral("createTime");

struct Environment
{
    QString locale;
    QString zone;
};

// Local times that do not exist or exist twice somewhere, days before 1970 and after 2038,
// Access's day zero and the ends of its range, as "yyyy-MM-dd HH:mm:ss".
QStringList edgeDateTimes()
{
    QStringList texts;
    // New York: clocks forward at 02:00 on 2021-03-14, back at 02:00 on 2021-11-07. Sao Paulo:
    // forward at midnight on 2018-11-04, back at midnight on 2019-02-17.
    for (const QDate &day : {QDate(2021, 3, 14), QDate(2021, 11, 7), QDate(2018, 11, 4), QDate(2019, 2, 16)}) {
        for (int minutes = 0; minutes < 24 * 60; minutes += 30)
            texts << QLocale::c().toString(QDateTime(day, QTime(0, 0).addSecs(minutes * 60), Qt::UTC),
                                           QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    texts << "1899-12-30 00:00:00" << "1899-12-30 08:00:00" << "0100-01-01 00:00:00" << "9999-12-31 23:59:59"
          << "1969-12-31 23:59:59" << "1901-12-13 20:45:52" << "2038-01-19 03:14:08" << "2100-03-01 00:00:00";
    return texts;
}

// Random date-times over Access's whole range, at whole seconds as the database keeps them.
QStringList randomDateTimes(QRandomGenerator &random, int count)
{
    const qint64 first = QDate(100, 1, 1).toJulianDay();
    const qint64 last = QDate(9999, 12, 31).toJulianDay();
    QStringList texts;
    for (int i = 0; i < count; ++i) {
        const QDate day = QDate::fromJulianDay(first + qint64(random.bounded(double(last - first + 1))));
        const QTime time = QTime(0, 0).addSecs(random.bounded(86400));
        texts << QLocale::c().toString(QDateTime(day, time, Qt::UTC), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    return texts;
}

// A number in SQL, and so in the site's file, exactly as written.
QString randomNumber(QRandomGenerator &random)
{
    switch (random.bounded(4)) {
    case 0: return QString::number(random.bounded(-100000, 100000) / 4.0, 'g', 17);
    case 1: return QString::number(random.bounded(-1000000, 1000000)) + QStringLiteral("e-3");
    case 2: return QString::number(random.generateDouble() * 1e6, 'g', 15);
    default: return QString::number(random.bounded(-1000, 1000));
    }
}

QString sqlText(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

// Rows beside the generated ones: numbers with fractions, names beginning with a byte-order
// mark, and plans whose dates are the date-times above.
QString edgeRows(const QStringList &dateTimes, QRandomGenerator &random)
{
    QString sql;
    sql += QStringLiteral("insert into GT_CHECKPOINT values (900001, 'x', char(65279) || 'Nord', 1, 2);"
                          "insert into GT_CHECKPOINT values (900002, char(65534) || 'y', char(65534) || '南门', 3, 4);"
                          "insert into GT_LINE values (900001, char(65279) || char(65279) || 'Ring');");
    for (int i = 0; i < 400; ++i)
        sql += QStringLiteral("insert into GT_LINE_EXTD values (%1, 900001, %2, %3, %4, %5);")
                   .arg(900001 + i)
                   .arg(randomNumber(random), randomNumber(random), i == 0 ? QStringLiteral("0.75") : randomNumber(random),
                        randomNumber(random));
    for (int i = 0; i < dateTimes.size(); ++i) {
        const QString day = dateTimes.at(i).left(10) + QStringLiteral(" 00:00:00");
        sql += QStringLiteral("insert into GT_PLAN values (%1, 1, %2, %2, 1, %3, '1111100', %4, %5, %6, %7, %2);")
                   .arg(900001 + i)
                   .arg(sqlText(dateTimes.at(i)), randomNumber(random), sqlText(day), randomNumber(random),
                        randomNumber(random))
                   .arg(i);
    }
    return sql;
}

bool addRows(const QString &site, const QString &sql)
{
    bool added = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("site"));
        db.setDatabaseName(site);
        added = db.open() && db.transaction();
        for (const QString &statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QSqlQuery query(db);
            if (added && !query.exec(statement)) {
                qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
                added = false;
            }
        }
        added = added && db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("site"));
    return added;
}

// What one run left behind, as bytes.
struct RunRecord
{
    int exitCode = -1;
    QString output;
    QMap<QString, QByteArray> bodies;  // by path
    QByteArray rowLines;               // the log's lines that carry no time stamp
    QMap<QString, QStringList> tables; // every stored value as type:hex, row by row
    QStringList stamps;                // when each log line and snapshot row was written
    QStringList responses;             // each response file's name without its day, and its lines
    QStringList lineEndFaults;         // files whose line ends are not the platform's
};

// The Windows build, when the test runs one: FERNWICK_EXE runs it under Wine.
QString windowsBuild()
{
    return qEnvironmentVariableIsSet("FERNWICK_WINDOWS_EXE") ? qEnvironmentVariable("FERNWICK_EXE") : QString();
}

QStringList storedRows(QSqlDatabase &db, const QString &table)
{
    const QSqlRecord record = db.record(table);
    QStringList columns;
    for (int i = 0; i < record.count(); ++i) {
        if (record.fieldName(i) != writtenAtColumn)
            columns << QStringLiteral("typeof(%1)||':'||hex(%1)").arg(record.fieldName(i));
    }
    QSqlQuery query(db);
    if (columns.isEmpty() || !query.exec(QStringLiteral("select %1 from %2 order by rowid")
                                             .arg(columns.join(QStringLiteral("||' '||")), table)))
        return {QStringLiteral("cannot read %1: %2").arg(table, query.lastError().text())};
    QStringList rows;
    while (query.next())
        rows << query.value(0).toString();
    return rows;
}

QMap<QString, QStringList> snapshots(const QString &file)
{
    QMap<QString, QStringList> tables;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("snapshot"));
        db.setDatabaseName(file);
        if (db.open()) {
            for (const QString &table : snapshotTables)
                tables.insert(table, storedRows(db, table));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("snapshot"));
    return tables;
}

// Every line of the log and response files ends in CR LF on Windows and in LF elsewhere; the
// record keeps them as LF, and says where a file breaks that rule.
QByteArray withUnixLineEnds(const QByteArray &bytes, bool windows, QStringList *faults, const QString &name)
{
    const int lines = bytes.count('\n');
    const int windowsEnds = bytes.count("\r\n");
    if (windowsEnds != (windows ? lines : 0))
        *faults << QStringLiteral("%1: %2 of %3 lines end in CR LF").arg(name).arg(windowsEnds).arg(lines);
    return windows ? QByteArray(bytes).replace("\r\n", "\n") : bytes;
}

// The daily files of log/ by name, each with LF line ends.
QMap<QString, QByteArray> dailyFiles(const QString &directory, bool windows, QStringList *faults)
{
    QMap<QString, QByteArray> files;
    const QDir log(directory + QStringLiteral("/log"));
    for (const QString &name : log.entryList(QDir::Files, QDir::Name))
        files.insert(name, withUnixLineEnds(readAll(log.filePath(name)), windows, faults, name));
    return files;
}

// The log's lines that carry no time stamp, and the stamps of the others.
QByteArray unstampedLogLines(const QMap<QString, QByteArray> &files, QStringList *stamps)
{
    QByteArray lines;
    for (auto file = files.begin(); file != files.end(); ++file) {
        if (!file.key().startsWith(QLatin1String("fernwicklog-")))
            continue;
        for (const QByteArray &line : file.value().split('\n')) {
            if (line.startsWith("\r[ "))
                *stamps << QString::fromUtf8(line.mid(3, line.indexOf(" ] ") - 3));
            else
                lines += line + '\n';
        }
    }
    return lines;
}

// The answers recorded, one file per kind, whatever day the run fell on.
QStringList responses(const QMap<QString, QByteArray> &files)
{
    QStringList answers;
    for (auto file = files.begin(); file != files.end(); ++file) {
        if (file.key().startsWith(QLatin1String("response")))
            answers << file.key().section(QLatin1Char('-'), 0, 0) + QLatin1Char(' ') + QString::fromUtf8(file.value());
    }
    return answers;
}

QStringList writtenAtStamps(const QString &file)
{
    QStringList stamps;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stamps"));
        db.setDatabaseName(file);
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("select %1 from orva_point_data").arg(writtenAtColumn))) {
            while (query.next())
                stamps << query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("stamps"));
    return stamps;
}

RunRecord syncUnder(const Environment &environment, const QString &site, const QString &executable)
{
    RunRecord record;
    Site run;
    if (!run.pointAt(site)) {
        record.output = QStringLiteral("cannot set up the working directory");
        return record;
    }
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "LANG", "LANGUAGE", "LC_NUMERIC", "LC_TIME"})
        variables.remove(QString::fromLatin1(name));
    variables.insert(QStringLiteral("LC_ALL"), environment.locale);
    variables.insert(QStringLiteral("TZ"), environment.zone);
    QProcess fernwick;
    fernwick.setWorkingDirectory(run.wd.path());
    fernwick.setProcessEnvironment(variables);
    fernwick.start(executable, {QStringLiteral("--once")});
    if (!fernwick.waitForFinished(120000) || fernwick.exitStatus() != QProcess::NormalExit) {
        record.output = QStringLiteral("did not end normally: ") + QString::fromLocal8Bit(fernwick.readAllStandardError());
        return record;
    }
    record.exitCode = fernwick.exitCode();
    record.output = QString::fromUtf8(fernwick.readAllStandardOutput() + fernwick.readAllStandardError());
    for (const TestServer::Request &request : run.server.requests())
        record.bodies.insert(request.path, request.body);
    const QMap<QString, QByteArray> files = dailyFiles(run.wd.path(), executable == windowsBuild(), &record.lineEndFaults);
    record.rowLines = unstampedLogLines(files, &record.stamps);
    record.responses = responses(files);
    record.tables = snapshots(run.wd.file(QStringLiteral("fernwick.db")));
    record.stamps += writtenAtStamps(run.wd.file(QStringLiteral("fernwick.db")));
    return record;
}

bool localeInstalled(const QString &name)
{
    const QByteArray previous = std::setlocale(LC_ALL, nullptr);
    const bool installed = std::setlocale(LC_ALL, name.toLatin1().constData()) != nullptr;
    std::setlocale(LC_ALL, previous.constData());
    return installed;
}

QJsonArray postedArray(const QByteArray &body)
{
    return QJsonDocument::fromJson(body.mid(int(qstrlen("key=")))).array();
}

QByteArray objectPerLine(QByteArray body)
{
    return body.replace("},{", "},\n{");
}

// The first line that differs, for the failure message.
QString firstDifference(const QByteArray &actual, const QByteArray &expected)
{
    const QList<QByteArray> a = actual.split('\n');
    const QList<QByteArray> e = expected.split('\n');
    for (int i = 0; i < qMax(a.size(), e.size()); ++i) {
        const QByteArray left = a.value(i);
        const QByteArray right = e.value(i);
        if (left != right)
            return QStringLiteral("line %1:\n  got      %2\n  expected %3")
                .arg(i + 1)
                .arg(QString::fromUtf8(left.left(300)), QString::fromUtf8(right.left(300)));
    }
    return QString();
}
}

class TestEnvironments : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sameBytesInEveryEnvironment_data();
    void sameBytesInEveryEnvironment();

private:
    QTemporaryDir dir;
    QString site;
    QStringList dateTimes;
    RunRecord reference;
};

void TestEnvironments::initTestCase()
{
    for (const char *locale : {"C.UTF-8", "de_DE.UTF-8"})
        QVERIFY2(localeInstalled(QString::fromLatin1(locale)),
                 qPrintable(QStringLiteral("the locale %1 is missing: localedef -i de_DE -f UTF-8 de_DE.UTF-8 makes it")
                                .arg(QLatin1String(locale))));
    for (const char *zone : {"America/New_York", "America/Sao_Paulo"})
        QVERIFY2(QFile::exists(QStringLiteral("/usr/share/zoneinfo/") + QLatin1String(zone)),
                 qPrintable(QStringLiteral("the time zone %1 is missing (Debian's tzdata)").arg(QLatin1String(zone))));
    QRandomGenerator random(20261208);
    dateTimes = edgeDateTimes() + randomDateTimes(random, 600);
    site = dir.filePath(QStringLiteral("GuardTour_DB.mdb"));
    QVERIFY(gtdb::generateGuardTourDb(site, 300));
    QVERIFY(addRows(site, edgeRows(dateTimes, random)));
    const QString referenceBuild = qEnvironmentVariable("FERNWICK_REFERENCE_EXE", qEnvironmentVariable("FERNWICK_EXE"));
    reference = syncUnder({QStringLiteral("C.UTF-8"), QStringLiteral("UTC")}, site, referenceBuild);
    QVERIFY2(reference.exitCode == 0, qPrintable(reference.output));
    QCOMPARE(reference.lineEndFaults, QStringList());
    QCOMPARE(reference.bodies.keys(), (QStringList{"/line", "/plan", "/point"}));
}

void TestEnvironments::sameBytesInEveryEnvironment_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("zone");
    QTest::newRow("C.UTF-8, UTC (the reference itself)") << "C.UTF-8" << "UTC";
    QTest::newRow("de_DE.UTF-8") << "de_DE.UTF-8" << "UTC";
    QTest::newRow("America/New_York") << "C.UTF-8" << "America/New_York";
    QTest::newRow("America/Sao_Paulo") << "C.UTF-8" << "America/Sao_Paulo";
    QTest::newRow("de_DE.UTF-8 in Sao Paulo") << "de_DE.UTF-8" << "America/Sao_Paulo";
    // Arabic-Indic digits in the toolkit's system locale; the C library need not know it.
    QTest::newRow("ar_EG.UTF-8") << "ar_EG.UTF-8" << "UTC";
}

void TestEnvironments::sameBytesInEveryEnvironment()
{
    QFETCH(QString, locale);
    QFETCH(QString, zone);
    const RunRecord run = syncUnder({locale, zone}, site, qEnvironmentVariable("FERNWICK_EXE"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QCOMPARE(run.lineEndFaults, QStringList());
    QCOMPARE(run.responses, reference.responses);
    for (const QString &path : reference.bodies.keys())
        QVERIFY2(run.bodies.value(path) == reference.bodies.value(path),
                 qPrintable(path + QLatin1Char(' ')
                            + firstDifference(objectPerLine(run.bodies.value(path)),
                                              objectPerLine(reference.bodies.value(path)))));
    QVERIFY2(run.rowLines == reference.rowLines, qPrintable(firstDifference(run.rowLines, reference.rowLines)));
    for (const QString &table : snapshotTables)
        QCOMPARE(run.tables.value(table), reference.tables.value(table));
    static const QRegularExpression asciiStamp(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$"));
    QVERIFY(run.stamps.size() > 300);
    for (const QString &stamp : run.stamps)
        QVERIFY2(asciiStamp.match(stamp).hasMatch(), qPrintable(stamp));

    // Every date-time goes out as the database holds it, wherever its day has a gap or an overlap.
    QHash<QString, QJsonObject> plans;
    for (const QJsonValue &plan : postedArray(run.bodies.value(QStringLiteral("/plan"))))
        plans.insert(plan.toObject().value(QStringLiteral("planId")).toString(), plan.toObject());
    for (int i = 0; i < dateTimes.size(); ++i) {
        const QJsonObject plan = plans.value(QString::number(900001 + i));
        QString expected = dateTimes.at(i);
        expected[10] = QLatin1Char('T');
        QCOMPARE(plan.value(QStringLiteral("pStartTime")).toString(), expected + QStringLiteral(".000"));
        QCOMPARE(plan.value(QStringLiteral("pStartDate")).toString(), expected.left(10) + QStringLiteral("T00:00:00.000"));
    }
    // Numbers are written with a point, names keep a leading byte-order mark.
    const QByteArray line = run.bodies.value(QStringLiteral("/line"));
    QVERIFY(line.contains("\"lName\":\"\xEF\xBB\xBF\xEF\xBB\xBFRing\",\"lNextPlaceTime\":\"0.75\""));
    const QByteArray point = run.bodies.value(QStringLiteral("/point"));
    QVERIFY(point.contains("\"ptName\":\"\xEF\xBB\xBFNord\""));
    QVERIFY(point.contains("\"ptCard\":\"\xEF\xBF\xBEy\",\"ptName\":\"\xEF\xBF\xBE\xE5\x8D\x97\xE9\x97\xA8\""));
}

QTEST_GUILESS_MAIN(TestEnvironments)
#include "tst_environments.moc"
