#include "app/mainwindow.h"
#include "app/syncoutcome.h"
#include "gtdb.h"
#include "support/diskfaults.h"
#include "support/localfile.h"
#include "support/site.h"
#include "support/testserver.h"
#include "support/testsupport.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QtTest>

#include <memory>
#include <thread>

namespace {
const QStringList responseFiles = {"log/responsePointData-20210606.txt", "log/responseLineData-20210606.txt",
                                   "log/responsePlanData-20210606.txt"};

const char *fixtureSite = R"sql(
insert into GT_CHECKPOINT (id, CheckPoint_Card, CheckPoint_Name, CheckPoint_Number, CheckPoint_Type) values
  (1, 'A3', '东门岗亭', 12, 0),
  (2, NULL, 'Say "hi" \ & go', 1, 1),
  (3, 'B2', 'O''Brien %1%2', NULL, 2);
insert into GT_LINE (id, Line_Name) values (1, '外围巡逻'), (2, 'Inner');
insert into GT_LINE_EXTD (id, Line_ID, Place_ID, Line_Order, NextPlace_Time, Stay_Time) values
  (10, 1, 3, 2, 5, 30),
  (11, 1, 1, 1, 10, 0),
  (12, 9, 2, 1, NULL, 15);
insert into GT_PLAN (ID, Line_ID, Plan_StartTime, Plan_EndTime, Plan_Type, Plan_Mode, Excute_Week, Start_Date,
                     Excute_Cycle, Rest_Cycle, Place_ID, Create_Time) values
  (5, 1, '08:00:00', '18:00:00', 1, 0, '1111100', '2021-06-01', 1, 2, 7, '2021-05-30 09:15:00'),
  (6, 2, '20:00:00', '06:00:00', 2, 1, NULL, NULL, 3, 4, 0, NULL),
  (7, 2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (8, 1, '00:00:00', '23:59:00', 1, 0, '0000011', NULL, 1, 0, -4, NULL);
)sql";

const QByteArray pointBody =
    "key=[{\"pId\":\"1\",\"ptCard\":\"A3\",\"ptName\":\"东门岗亭\",\"ptNum\":\"12\",\"ptType\":\"0\"},"
    "{\"pId\":\"2\",\"ptCard\":\"\",\"ptName\":\"Say \\\"hi\\\" \\\\ & go\",\"ptNum\":\"1\",\"ptType\":\"1\"},"
    "{\"pId\":\"3\",\"ptCard\":\"B2\",\"ptName\":\"O'Brien %1%2\",\"ptNum\":\"\",\"ptType\":\"2\"}]";
const QByteArray lineBody =
    "key=[{\"lId\":\"10\",\"lName\":\"外围巡逻\",\"lNextPlaceTime\":\"5\",\"lOrder\":\"2\",\"lStayTime\":\"30\","
    "\"placeId\":\"3\"},"
    "{\"lId\":\"11\",\"lName\":\"外围巡逻\",\"lNextPlaceTime\":\"10\",\"lOrder\":\"1\",\"lStayTime\":\"0\","
    "\"placeId\":\"1\"},"
    "{\"lId\":\"12\",\"lName\":\"\",\"lNextPlaceTime\":\"\",\"lOrder\":\"1\",\"lStayTime\":\"15\",\"placeId\":\"2\"}]";
const QByteArray planBody =
    "key=[{\"lineId\":\"1\",\"pCreateTime\":\"2021-05-30 09:15:00\",\"pEndTime\":\"1899-12-30T18:00:00.000\",\"pExcCycle\":\"1\",\"pExcWeek\":\"1111100\","
    "\"pMode\":\"0\",\"pRestCycle\":\"2\",\"pStartDate\":\"2021-06-01T00:00:00.000\",\"pStartTime\":\"1899-12-30T08:00:00.000\",\"pType\":\"1\","
    "\"placeId\":\"7\",\"planId\":\"5\"},"
    "{\"lineId\":\"2\",\"pCreateTime\":\"\",\"pEndTime\":\"1899-12-30T06:00:00.000\",\"pExcCycle\":\"3\",\"pExcWeek\":\"\","
    "\"pMode\":\"1\",\"pRestCycle\":\"4\",\"pStartDate\":\"\",\"pStartTime\":\"1899-12-30T20:00:00.000\",\"pType\":\"2\","
    "\"placeId\":\"\",\"planId\":\"6\"},"
    "{\"lineId\":\"2\",\"pCreateTime\":\"\",\"pEndTime\":\"\",\"pExcCycle\":\"\",\"pExcWeek\":\"\","
    "\"pMode\":\"\",\"pRestCycle\":\"\",\"pStartDate\":\"\",\"pStartTime\":\"\",\"pType\":\"\","
    "\"placeId\":\"\",\"planId\":\"7\"},"
    "{\"lineId\":\"1\",\"pCreateTime\":\"\",\"pEndTime\":\"1899-12-30T23:59:00.000\",\"pExcCycle\":\"1\",\"pExcWeek\":\"0000011\","
    "\"pMode\":\"0\",\"pRestCycle\":\"0\",\"pStartDate\":\"\",\"pStartTime\":\"1899-12-30T00:00:00.000\",\"pType\":\"1\","
    "\"placeId\":\"-4\",\"planId\":\"8\"}]";

// Replaces the time stamp of "\r[ yyyy-MM-dd HH:mm:ss ] " lines by "[T] ".
QStringList withoutStamps(const QStringList &lines)
{
    static const QRegularExpression stamp(QStringLiteral("^\\r?\\[ \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\] "));
    QStringList out;
    for (QString line : lines)
        out << line.replace(stamp, QStringLiteral("[T] "));
    return out;
}

QStringList logLines()
{
    QStringList lines = QString::fromUtf8(readAll(Site::logFile())).split(QLatin1Char('\n'));
    lines.removeLast();
    return withoutStamps(lines);
}

// The pane turns each line's leading carriage return into a paragraph break of its own.
QStringList paneLines(MainWindow &window)
{
    const QString text = window.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit"))->toPlainText();
    QStringList lines = text.split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return withoutStamps(lines);
}

QList<QStringList> snapshot(const QString &table, bool dropStamp)
{
    QList<QStringList> rows = LocalFile().table(table);
    if (dropStamp) {
        for (QStringList &row : rows)
            row.removeLast();
    }
    return rows;
}

QByteArray bodyPostedTo(const TestServer &server, const QString &path)
{
    for (const TestServer::Request &r : server.requests())
        if (r.path == path)
            return r.body;
    return QByteArray("<nothing posted>");
}

// Every post of the run has its answer. The window's end writes every answer and log line
// still waiting, so the files are read once the window is gone.
bool runSettles(MainWindow &window)
{
    if (!window.outcome()->postsWaiting())
        return true;
    QSignalSpy settled(window.outcome(), &SyncOutcome::runSettled);
    return settled.wait(10000);
}

const QStringList snapshotTables = {"orva_point_data", "orva_line_data", "orva_plan_data"};

QList<QList<QStringList>> allSnapshots()
{
    QList<QList<QStringList>> tables;
    for (const QString &table : snapshotTables)
        tables << snapshot(table, false);
    return tables;
}

void pressUpdate(MainWindow &window)
{
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton")), Qt::LeftButton);
}

// The bodies posted by the last run, one per kind.
QList<QByteArray> lastBodies(const TestServer &server)
{
    QList<QByteArray> bodies;
    for (const TestServer::Request &r : server.requests())
        bodies << r.body;
    return bodies.mid(bodies.size() - 3);
}

// Another process writing to fernwick.db: its own connection, in a thread of its own,
// holds `begin immediate` from construction until `holdFor` has passed.
class ForeignWriteLock
{
public:
    explicit ForeignWriteLock(unsigned long holdForMs)
    {
        QSemaphore held;
        worker = std::thread([this, &held, holdForMs] {
            {
                LocalFile other(QStringLiteral("foreign_writer"));
                taken = other.exec(QStringLiteral("begin immediate"));
                held.release();
                QThread::msleep(holdForMs);
                other.exec(QStringLiteral("commit"));
            }
        });
        held.acquire();
    }
    ~ForeignWriteLock() { worker.join(); }
    bool taken = false;

private:
    std::thread worker;
};

enum class LocalFault { LockedBriefly, LockedLonger, ReadOnly, DiskFull };

// One fault of fernwick.db, in force while the object lives.
class LocalFileFault
{
public:
    explicit LocalFileFault(LocalFault fault)
    {
        switch (fault) {
        case LocalFault::LockedBriefly:
            briefLock.reset(new ForeignWriteLock(400));
            inForce = briefLock->taken;
            break;
        case LocalFault::LockedLonger:
            // A short wait keeps the test quick; what follows the wait is the same.
            QSqlDatabase::database(QStringLiteral("fernwick_db"), false)
                .setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=100"));
            lock.reset(new LocalFile);
            inForce = lock->exec(QStringLiteral("begin immediate"));
            break;
        case LocalFault::ReadOnly:
            readOnly.reset(new ReadOnlyFile(QStringLiteral("fernwick.db")));
            inForce = readOnly->holds();
            break;
        case LocalFault::DiskFull:
            full.reset(new FullDisk);
            inForce = true;
            break;
        }
    }
    bool holds() const { return inForce; }

private:
    std::unique_ptr<ForeignWriteLock> briefLock;
    std::unique_ptr<LocalFile> lock;
    std::unique_ptr<ReadOnlyFile> readOnly;
    std::unique_ptr<FullDisk> full;
    bool inForce = false;
};
}

Q_DECLARE_METATYPE(LocalFault)

class SyncTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void fixtureSiteGoesThroughEndToEnd();
    void emptyTablesAndAPlaceThatIsNoNumber();
    void unreadableDatabasePostsNothingAndKeepsSnapshots();
    void failedStatementSkipsOnlyItsKind();
    void readFailingPartWayPostsNothingAndKeepsTheSnapshot();
    void pathAndPasswordReachTheDriverIntact();
    void paneShowsTheBeginningOfALongBody();
    void paneShowsABodyAsLongAsItsLimitWhole();
    void secondSyncMeetsALocalFileFault_data();
    void secondSyncMeetsALocalFileFault();
};

void SyncTest::cleanup()
{
    QSqlDatabase::removeDatabase(QStringLiteral("fernwick_db"));
    QSqlDatabase::removeDatabase(QStringLiteral("GuardTour_DB"));
}

void SyncTest::fixtureSiteGoesThroughEndToEnd()
{
    Site site;
    QVERIFY(site.make(QString::fromUtf8(fixtureSite), QStringLiteral("XQ")));
    QStringList pane;
    {
        MainWindow window;
        pane = paneLines(window);
        QVERIFY(runSettles(window));
    }
    QCOMPARE(bodyPostedTo(site.server, "/point"), pointBody);
    QCOMPARE(bodyPostedTo(site.server, "/line"), lineBody);
    QCOMPARE(bodyPostedTo(site.server, "/plan"), planBody);
    for (const QString &f : responseFiles)
        QCOMPARE(readAll(f), QByteArray("ok\n"));

    QCOMPARE(snapshot("orva_point_data", true),
             (QList<QStringList>{{"1", "A3", "东门岗亭", "12", "0"},
                                 {"2", "", "Say \"hi\" \\ & go", "1", "1"},
                                 {"3", "B2", "O'Brien %1%2", "", "2"}}));
    QCOMPARE(snapshot("orva_line_data", true),
             (QList<QStringList>{{"10", "外围巡逻", "3", "2", "5", "30"},
                                 {"11", "外围巡逻", "1", "1", "10", "0"},
                                 {"12", "", "2", "1", "", "15"}}));
    QCOMPARE(snapshot("orva_plan_data", false),
             (QList<QStringList>{{"5", "1", "1899-12-30T08:00:00.000", "1899-12-30T18:00:00.000", "1", "0", "1111100", "2021-06-01T00:00:00.000", "1", "2", "7", "2021-05-30 09:15:00"},
                                 {"6", "2", "1899-12-30T20:00:00.000", "1899-12-30T06:00:00.000", "2", "1", "", "", "3", "4", "", ""},
                                 {"7", "2", "", "", "", "", "", "", "", "", "", ""},
                                 {"8", "1", "1899-12-30T00:00:00.000", "1899-12-30T23:59:00.000", "1", "0", "0000011", "", "1", "0", "-4", ""}}));
    const QStringList expectedLog = {
        "[T] ****** start ******",
        "[T] sql pointData start",
        "[T] AccessDB open success",
        "pId:1,CheckPoint_Card:A3,CheckPoint_Name:东门岗亭,CheckPoint_Number:12,CheckPoint_Type:0",
        "pId:2,CheckPoint_Card:,CheckPoint_Name:Say \"hi\" \\ & go,CheckPoint_Number:1,CheckPoint_Type:1",
        "pId:3,CheckPoint_Card:B2,CheckPoint_Name:O'Brien %1%2,CheckPoint_Number:,CheckPoint_Type:2",
        "[T] point sendData: ",
        QString::fromUtf8(pointBody),
        "[T] sql pointData end",
        "[T] sql lineData start",
        "[T] AccessDB open success",
        "lId:10,lName:外围巡逻,placeId:3,lOrder:2,lNextPlaceTime:5,lStayTime:30",
        "lId:11,lName:外围巡逻,placeId:1,lOrder:1,lNextPlaceTime:10,lStayTime:0",
        "lId:12,lName:,placeId:2,lOrder:1,lNextPlaceTime:,lStayTime:15",
        "[T] line sendData: ",
        QString::fromUtf8(lineBody),
        "[T] sql lineData end",
        "[T] sql planData start",
        "[T] AccessDB open success",
        "Place_ID : 7",
        "planId:5,lineId:1,pStartTime:1899-12-30T08:00:00.000,pEndTime:1899-12-30T18:00:00.000,pType:1,pMode:0,pExcWeek:1111100,"
        "pStartDate:2021-06-01T00:00:00.000,pExcCycle:1,pRestCycle:2,placeId:7,pCreateTime:2021-05-30 09:15:00",
        "Place_ID : 0",
        "planId:6,lineId:2,pStartTime:1899-12-30T20:00:00.000,pEndTime:1899-12-30T06:00:00.000,pType:2,pMode:1,pExcWeek:,pStartDate:,"
        "pExcCycle:3,pRestCycle:4,placeId:,pCreateTime:",
        "Place_ID : 0",
        "planId:7,lineId:2,pStartTime:,pEndTime:,pType:,pMode:,pExcWeek:,pStartDate:,"
        "pExcCycle:,pRestCycle:,placeId:,pCreateTime:",
        "Place_ID : -4",
        "planId:8,lineId:1,pStartTime:1899-12-30T00:00:00.000,pEndTime:1899-12-30T23:59:00.000,pType:1,pMode:0,pExcWeek:0000011,pStartDate:,"
        "pExcCycle:1,pRestCycle:0,placeId:-4,pCreateTime:",
        "[T] plan sendData: ",
        QString::fromUtf8(planBody),
        "[T] sql planData end",
        "[T] ****** end ******",
    };
    QCOMPARE(logLines(), expectedLog);
    const QStringList expectedPane = {
        "[T] ******** KELDO-FERNWICK start ********",
        "[T] -------- pointData start --------",
        "[T] AccessDB open success",
        "[T] point sendData: " + QString::fromUtf8(pointBody),
        "[T] -------- pointData end --------",
        "[T] -------- lineData start --------",
        "[T] AccessDB open success",
        "[T] line sendData: " + QString::fromUtf8(lineBody),
        "[T] -------- lineData end --------",
        "[T] -------- planData start --------",
        "[T] AccessDB open success",
        "[T] plan sendData: " + QString::fromUtf8(planBody),
        "[T] -------- planData end --------",
        "[T] ******** KELDO-FERNWICK end ********",
    };
    QCOMPARE(pane, expectedPane);
}

// Empty tables post empty arrays; a place that is no whole number is no place.
void SyncTest::emptyTablesAndAPlaceThatIsNoNumber()
{
    Site site;
    QVERIFY(site.make(QStringLiteral("insert into GT_PLAN (ID, Line_ID, Place_ID) values (1, 1, 'north gate');")));
    {
        MainWindow window;
        QVERIFY(runSettles(window));
    }
    QCOMPARE(bodyPostedTo(site.server, "/point"), QByteArray("key=[]"));
    QCOMPARE(bodyPostedTo(site.server, "/line"), QByteArray("key=[]"));
    QVERIFY(bodyPostedTo(site.server, "/plan").contains("\"placeId\":\"\""));
    QVERIFY(logLines().contains(QStringLiteral("Place_ID : 0")));
    QVERIFY(snapshot("orva_point_data", true).isEmpty());
}

void SyncTest::unreadableDatabasePostsNothingAndKeepsSnapshots()
{
    Site site;
    QVERIFY(site.make(QString::fromUtf8(fixtureSite)));
    QStringList pane;
    {
        MainWindow window;
        QVERIFY(runSettles(window));
        QVERIFY(QFile::remove(site.path));
        pressUpdate(window);
        pane = paneLines(window);
    }
    QCOMPARE(site.server.requestCount(), 3);
    QCOMPARE(snapshot("orva_point_data", true).size(), 3);
    QCOMPARE(snapshot("orva_line_data", true).size(), 3);
    QCOMPARE(snapshot("orva_plan_data", false).size(), 4);

    const QStringList secondRunPane = pane.mid(pane.lastIndexOf("[T] ******** KELDO-FERNWICK start ********"));
    QCOMPARE(secondRunPane.mid(0, 5), (QStringList{"[T] ******** KELDO-FERNWICK start ********",
                                                   "[T] -------- pointData start --------",
                                                   "[T] AccessDB open failed", "[T] point sendData skipped",
                                                   "[T] -------- pointData end --------"}));
    const QStringList log = logLines();
    const QStringList secondRunLog = log.mid(log.lastIndexOf("[T] sql pointData start"));
    QCOMPARE(secondRunLog.at(1), QStringLiteral("[T] AccessDB open failed"));
    QVERIFY2(secondRunLog.at(2).startsWith("[T] AccessDB error: ") && secondRunLog.at(2).contains(site.path),
             qPrintable(secondRunLog.at(2)));
    QCOMPARE(secondRunLog.mid(3, 2), (QStringList{"[T] point sendData skipped", "[T] sql pointData end"}));
    QCOMPARE(log.count("[T] plan sendData skipped"), 1);
    QCOMPARE(log.last(), QStringLiteral("[T] ****** end ******"));
}

void SyncTest::failedStatementSkipsOnlyItsKind()
{
    Site site;
    QVERIFY(site.make(QString::fromUtf8(fixtureSite) + QStringLiteral("drop table GT_PLAN;")));
    {
        MainWindow window;
        QVERIFY(runSettles(window));
    }
    QCOMPARE(bodyPostedTo(site.server, "/point"), pointBody);
    QCOMPARE(bodyPostedTo(site.server, "/line"), lineBody);
    const QStringList log = logLines();
    const QStringList planPart = log.mid(log.indexOf("[T] sql planData start"));
    QCOMPARE(planPart.at(1), QStringLiteral("[T] AccessDB open success"));
    QVERIFY2(planPart.at(2).startsWith("[T] AccessDB error: ") && planPart.at(2).contains("GT_PLAN"),
             qPrintable(planPart.at(2)));
    QCOMPARE(planPart.at(3), QStringLiteral("[T] plan sendData skipped"));
}

// The checkpoints become a view whose third row fails to compute: the read ends part-way,
// after two rows have been handed out.
const char *checkpointsFailingAtTheThirdRow = R"sql(
alter table GT_CHECKPOINT rename to CHECKPOINT_ROWS;
create view GT_CHECKPOINT as
  select id, CheckPoint_Card, CheckPoint_Name, CheckPoint_Number,
         case when id = 3 then abs(-9223372036854775807 - 1) else CheckPoint_Type end as CheckPoint_Type
  from CHECKPOINT_ROWS;
)sql";

void SyncTest::readFailingPartWayPostsNothingAndKeepsTheSnapshot()
{
    Site site;
    QVERIFY(site.make(QString::fromUtf8(fixtureSite)));
    {
        MainWindow window;
        QVERIFY(runSettles(window));
        QString error;
        QVERIFY2(gtdb::createGuardTourDb(site.path,
                                         QString::fromUtf8(fixtureSite) + QString::fromUtf8(checkpointsFailingAtTheThirdRow),
                                         QString(), &error),
                 qPrintable(error));
        pressUpdate(window);
        QVERIFY(runSettles(window));
    }
    QStringList paths;
    for (const TestServer::Request &request : site.server.requests())
        paths << request.path;
    QCOMPARE(paths.size(), 5);
    QCOMPARE(paths.count(QStringLiteral("/point")), 1);
    QCOMPARE(snapshot("orva_point_data", true).size(), 3);
    const QStringList log = logLines();
    const QStringList pointPart = log.mid(log.lastIndexOf("[T] sql pointData start"), 7);
    QCOMPARE(pointPart.at(1), QStringLiteral("[T] AccessDB open success"));
    QVERIFY(pointPart.at(2).startsWith("pId:1,"));
    QVERIFY(pointPart.at(3).startsWith("pId:2,"));
    QVERIFY2(pointPart.at(4).startsWith("[T] AccessDB error: "), qPrintable(pointPart.at(4)));
    QCOMPARE(pointPart.mid(5), (QStringList{"[T] point sendData skipped", "[T] sql pointData end"}));
}

void SyncTest::pathAndPasswordReachTheDriverIntact()
{
    Site site;
    QVERIFY(site.make(QString::fromUtf8(fixtureSite), QStringLiteral(" p%2;w}d "),
                      QStringLiteral(" site %1;{x}/GuardTour_DB %3.mdb")));
    {
        MainWindow window;
        QVERIFY(runSettles(window));
    }
    QCOMPARE(bodyPostedTo(site.server, "/point"), pointBody);
}

void SyncTest::paneShowsTheBeginningOfALongBody()
{
    Site site;
    QVERIFY(site.generate(200));
    QStringList pane;
    {
        MainWindow window;
        pane = paneLines(window);
        QVERIFY(runSettles(window));
    }
    const QByteArray body = bodyPostedTo(site.server, "/point");
    QVERIFY(body.size() > 8192);
    const QStringList log = logLines();
    QCOMPARE(log.at(log.indexOf("[T] point sendData: ") + 1), QString::fromUtf8(body));
    const QString paneLine = pane.at(pane.indexOf("[T] -------- pointData end --------") - 1);
    const QString shown = QStringLiteral("[T] point sendData: ") + QString::fromUtf8(body).left(4096);
    QVERIFY(paneLine.startsWith(shown));
    QVERIFY2(paneLine.endsWith(QStringLiteral(" … [%1 bytes in all; the log file has the whole body]").arg(body.size())),
             qPrintable(paneLine.right(80)));
}

// The pane shows up to 4096 characters of a body as they are.
void SyncTest::paneShowsABodyAsLongAsItsLimitWhole()
{
    const QString framing = QStringLiteral("key=[{\"pId\":\"1\",\"ptCard\":\"\",\"ptName\":\"\",\"ptNum\":\"\","
                                           "\"ptType\":\"\"}]");
    const QString name(4096 - framing.size(), QLatin1Char('x'));
    Site site;
    QVERIFY(site.make(QStringLiteral("insert into GT_CHECKPOINT (id, CheckPoint_Name) values (1, '%1');").arg(name)));
    QStringList pane;
    {
        MainWindow window;
        pane = paneLines(window);
        QVERIFY(runSettles(window));
    }
    const QByteArray body = bodyPostedTo(site.server, "/point");
    QCOMPARE(body.size(), 4096);
    QVERIFY(pane.contains(QStringLiteral("[T] point sendData: ") + QString::fromUtf8(body)));
}

void SyncTest::secondSyncMeetsALocalFileFault_data()
{
    QTest::addColumn<LocalFault>("fault");
    QTest::addColumn<QString>("reason");
    // Let go well within the time the file is waited for: the whole new snapshot is kept.
    QTest::newRow("locked briefly") << LocalFault::LockedBriefly << QString();
    QTest::newRow("locked longer than waited") << LocalFault::LockedLonger << "database is locked";
    QTest::newRow("read-only") << LocalFault::ReadOnly << "attempt to write a readonly database";
    QTest::newRow("disk full") << LocalFault::DiskFull << "database or disk is full";
}

// The fixture site is synced; then the site holds five new rows per kind and the second
// sync meets the fault. The server gets the new rows in every case; the snapshot tables
// hold either all of them or, with the reason said, all the rows they had.
void SyncTest::secondSyncMeetsALocalFileFault()
{
    QFETCH(LocalFault, fault);
    QFETCH(QString, reason);
    if (fault == LocalFault::DiskFull && !FullDisk::reachesTheToolkitDriver())
        QSKIP("the toolkit's SQLite driver carries a SQLite of its own; a full disk cannot be simulated");
    Site site;
    QVERIFY(site.make(QString::fromUtf8(fixtureSite)));
    QStringList pane;
    QList<QList<QStringList>> before;
    {
        MainWindow window;
        QVERIFY(runSettles(window));
        before = allSnapshots();
        QVERIFY(gtdb::generateGuardTourDb(site.path, 5));
        // A connection left pointing elsewhere must not matter: each run registers its own.
        QSqlDatabase::database(QStringLiteral("GuardTour_DB"), false).setDatabaseName(QStringLiteral("DSN=none"));
        {
            LocalFileFault inForce(fault);
            QVERIFY(inForce.holds());
            pressUpdate(window);
        }
        QVERIFY(runSettles(window));
        pane = paneLines(window);
    }
    for (const QByteArray &body : lastBodies(site.server))
        QCOMPARE(body.count("{\""), 5);
    if (reason.isEmpty()) {
        for (const QString &table : snapshotTables)
            QCOMPARE(snapshot(table, false).size(), 5);
        QVERIFY2(!pane.join('\n').contains("not saved"), qPrintable(pane.join('\n')));
        return;
    }
    QCOMPARE(allSnapshots(), before);
    const QStringList log = logLines();
    const QStringList words = {"point", "line", "plan"};
    for (int kind = 0; kind < 3; ++kind) {
        const QString said = QStringLiteral("[T] %1 snapshot not saved: %2").arg(snapshotTables.at(kind), reason);
        QCOMPARE(pane.count(said), 1);
        QCOMPARE(log.count(said), 1);
        // Said within its kind's part of the run, before the post that still goes out.
        const int start = log.lastIndexOf(QStringLiteral("[T] sql %1Data start").arg(words.at(kind)));
        QVERIFY(start < log.indexOf(said));
        QCOMPARE(log.indexOf(QStringLiteral("[T] %1 sendData: ").arg(words.at(kind)), start), log.indexOf(said) + 1);
    }
}

QTEST_MAIN(SyncTest)
#include "tst_sync.moc"
