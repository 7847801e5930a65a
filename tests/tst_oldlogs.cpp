// LOG_KEEP_DAYS: the program's own daily files older than that many days go at each sync;
// nothing else in log/ is ever touched, and without the key everything stays.
#include "app/mainwindow.h"
#include "app/oldlogs.h"
#include "app/syncoutcome.h"
#include "support/site.h"

#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QtTest>

namespace {
// The site's clock reads 6 June 2021.
const QStringList programFiles = {
    "fernwicklog-20210606.txt", "fernwicklog-20210605.txt", "fernwicklog-20210604.txt",
    "responsePointData-20210603.txt", "responseLineData-20210603.txt", "responsePlanData-20200229.txt",
    "responseEvalData-20191231.txt"};
// Names the program never gives a file: they stay whatever their date.
const QStringList otherFiles = {
    "notes-20200101.txt", "fernwicklog-2020010.txt", "fernwicklog-202001011.txt", "fernwicklog-20200231.txt",
    "fernwicklog-20200101.txt.bak", "xfernwicklog-20200101.txt", "responseOtherData-20200101.txt",
    "fernwicklog-2020-01-01.txt", "FERNWICKLOG-20200101.txt"};

bool makeFiles(const QStringList &names)
{
    QDir().mkdir(QStringLiteral("log"));
    for (const QString &name : names) {
        QFile file(QStringLiteral("log/") + name);
        if (!file.open(QIODevice::WriteOnly) || file.write("old\n") != 4)
            return false;
    }
    return true;
}

QStringList filesLeft()
{
    return QDir(QStringLiteral("log")).entryList(QDir::Files, QDir::Name);
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}
}

class OldLogsTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void onlyTheProgramsOwnOldFilesGo_data();
    void onlyTheProgramsOwnOldFilesGo();
    void everySyncRemovesWhatIsDue_data();
    void everySyncRemovesWhatIsDue();
};

void OldLogsTest::cleanup()
{
    QSqlDatabase::removeDatabase(QStringLiteral("fernwick_db"));
    QSqlDatabase::removeDatabase(QStringLiteral("GuardTour_DB"));
}

void OldLogsTest::onlyTheProgramsOwnOldFilesGo_data()
{
    QTest::addColumn<int>("keepDays");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QString>("line");
    QTest::newRow("0 keeps all") << 0 << QStringList() << "";
    QTest::newRow("1 keeps yesterday")
        << 1 << QStringList(programFiles.mid(2))
        << "log: removed 5 daily files older than 1 days (LOG_KEEP_DAYS), dated 20191231, 20200229, 20210603, 20210604";
    QTest::newRow("3 keeps the third day back")
        << 3 << QStringList(programFiles.mid(5)) << "log: removed 2 daily files older than 3 days (LOG_KEEP_DAYS), dated 20191231, 20200229";
    QTest::newRow("a leap day's file within reach") << 463 << QStringList(programFiles.mid(6))
                                                    << "log: removed 1 daily file older than 463 days (LOG_KEEP_DAYS), "
                                                       "dated 20191231";
    QTest::newRow("nothing old enough") << 10000 << QStringList() << "";
}

void OldLogsTest::onlyTheProgramsOwnOldFilesGo()
{
    QFETCH(int, keepDays);
    QFETCH(QStringList, removed);
    QFETCH(QString, line);
    WorkingDir wd;
    QVERIFY(makeFiles(programFiles + otherFiles));
    QVERIFY(QDir().mkdir(QStringLiteral("log/responsePointData-20200101.txt")));
    const RemovedLogs result = removeOldDailyFiles(QStringLiteral("log"), QDate(2021, 6, 6), keepDays);
    QCOMPARE(removedLogsLine(result, keepDays), line);
    QStringList left = programFiles + otherFiles;
    for (const QString &name : removed)
        left.removeOne(name);
    QCOMPARE(filesLeft(), sorted(left));
    QVERIFY(QDir(QStringLiteral("log/responsePointData-20200101.txt")).exists());
}

void OldLogsTest::everySyncRemovesWhatIsDue_data()
{
    QTest::addColumn<QString>("setting"); // null: no key in sys.ini
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<int>("removalLines");
    QTest::newRow("no key") << QString() << programFiles << 0;
    QTest::newRow("0") << "0" << programFiles << 0;
    QTest::newRow("not a number") << "two" << programFiles << 0;
    QTest::newRow("2") << "2" << QStringList(programFiles.mid(0, 3)) << 1;
}

// The first sync runs as the window is built, the second at a press of the update button:
// what the first removed is said once, and the second finds nothing left to remove.
void OldLogsTest::everySyncRemovesWhatIsDue()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, left);
    QFETCH(int, removalLines);
    Site site;
    QVERIFY(site.generate(1));
    QVERIFY(makeFiles(QStringList(programFiles.mid(1))));
    if (!setting.isNull())
        QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat).setValue(QStringLiteral("LOG_KEEP_DAYS"), setting);
    {
        MainWindow window;
        QSignalSpy settled(window.outcome(), &SyncOutcome::runSettled);
        QVERIFY(settled.wait(10000));
        window.syncData();
        QVERIFY(settled.wait(10000));
    }
    QCOMPARE(filesLeft(), sorted(left + QStringList{"responseLineData-20210606.txt", "responsePlanData-20210606.txt",
                                                    "responsePointData-20210606.txt"}));
    const QString log = QString::fromUtf8(readAll(Site::logFile()));
    const QString line = QStringLiteral("log: removed 4 daily files older than 2 days (LOG_KEEP_DAYS), dated 20191231, "
                                        "20200229, 20210603");
    QCOMPARE(log.count(QStringLiteral("log: removed")), removalLines);
    if (removalLines > 0)
        QVERIFY2(QRegularExpression(stampedPattern(QStringLiteral("****** start ******")) + "\\n" + stampedPattern(line)
                                    + "\\n" + stampedPattern(QStringLiteral("sql pointData start")))
                     .match(log)
                     .hasMatch(),
                 qPrintable(log.left(600)));
}

QTEST_MAIN(OldLogsTest)
#include "tst_oldlogs.moc"
