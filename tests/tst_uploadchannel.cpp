#include "logging/dailyfilequeue.h"
#include "support/testserver.h"
#include "support/testsupport.h"
#include "support/warningrecorder.h"
#include "upload/evalthread.h"
#include "upload/linethread.h"
#include "upload/planthread.h"
#include "upload/pointthread.h"

#include <QNetworkReply>
#include <QSettings>
#include <QtTest>

namespace {
const QDateTime testNoon(QDate(2021, 6, 6), QTime(12, 0, 0));
const QString pointFile = QStringLiteral("log/responsePointData-20210606.txt");

void setEndpoint(const QString &key, const QString &url)
{
    QSettings settings(QStringLiteral("sys.ini"), QSettings::IniFormat);
    settings.setValue(key, url);
}

// Lets the event loop run until the channel has handled `count` replies in all.
bool waitForLines(const QString &file, int count)
{
    return QTest::qWaitFor([&] { return readAll(file).count('\n') >= count; }, 10000);
}

int openReplies(const QObject &channel)
{
    return channel.findChildren<QNetworkReply *>().size();
}

// A working directory at a fixed date and a server that sys.ini names for one kind.
struct Rig
{
    enum LogDir { WithLog, WithoutLog };
    explicit Rig(LogDir logDir = WithLog, const QString &key = QStringLiteral("POINT_HTTPURL"))
    {
        if (logDir == WithLog)
            QDir().mkdir(QStringLiteral("log"));
        setEndpoint(key, server.url(QStringLiteral("/point")));
    }
    WorkingDir wd;
    ClockAt clock{testNoon};
    TestServer server;
};
}

class UploadChannelTest : public QObject
{
    Q_OBJECT
private slots:
    void postsTheBodyUnchangedToTheConfiguredUrl();
    void readsTheUrlAtEveryPost();
    void missingKeyFailsWithoutARequest();
    void recordsTheReplyBody_data();
    void recordsTheReplyBody();
    void httpErrorIsRecordedWithoutItsBody();
    void eachKindWritesItsOwnFile();
    void waitingLinesFollowOnceLogIsBack();
    void waitingLinesAreWrittenWhenTheChannelEnds();
    void waitingLinesAreWrittenOnceLogCanBeWritten();
    void linesThatNeverCouldBeWrittenAreCounted();
    void twoRequestsInFlightGiveTwoLines();
    void replyAfterMidnightGoesToTheNewDay();
    void existingFileIsAppendedTo();
};

void UploadChannelTest::postsTheBodyUnchangedToTheConfiguredUrl()
{
    WorkingDir wd;
    ClockAt clock(testNoon);
    QDir().mkdir(QStringLiteral("log"));
    TestServer server;
    setEndpoint(QStringLiteral("POINT_HTTPURL"), server.url(QStringLiteral("/api/point?site=7")));
    PointThread channel(nullptr);
    const QByteArray body = QStringLiteral("key=[{\"ptName\":\"东门 & B+C=100% \\\"x\\\"\"}]").toUtf8();
    channel.sendData(body);
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(server.requestCount(), 1);
    QCOMPARE(server.requests().first().path, QStringLiteral("/api/point"));
    QCOMPARE(server.requests().first().body, body);
    QCOMPARE(readAll(pointFile), QByteArray("ok\n"));
}

void UploadChannelTest::readsTheUrlAtEveryPost()
{
    WorkingDir wd;
    ClockAt clock(testNoon);
    QDir().mkdir(QStringLiteral("log"));
    TestServer first;
    TestServer second;
    PointThread channel(nullptr);
    setEndpoint(QStringLiteral("POINT_HTTPURL"), first.url(QStringLiteral("/a")));
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    setEndpoint(QStringLiteral("POINT_HTTPURL"), second.url(QStringLiteral("/b")));
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 2));
    QCOMPARE(first.requestCount(), 1);
    QCOMPARE(second.requestCount(), 1);
    QCOMPARE(second.requests().first().path, QStringLiteral("/b"));
}

void UploadChannelTest::missingKeyFailsWithoutARequest()
{
    Rig rig(Rig::WithLog, QStringLiteral("LINE_HTTPURL"));
    TestServer &server = rig.server;
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    QVERIFY(readAll(pointFile).startsWith("Failed: "));
    QCOMPARE(server.requestCount(), 0);
}

void UploadChannelTest::recordsTheReplyBody_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("recorded");
    QTest::newRow("text") << QByteArray("ok") << QByteArray("ok\n");
    QTest::newRow("empty") << QByteArray() << QByteArray("\n");
    QTest::newRow("zero byte") << QByteArray("ab\0cd", 5) << QByteArray("ab\n");
    QTest::newRow("line break") << QByteArray("first\nsecond") << QByteArray("first\nsecond\n");
    QTest::newRow("utf-8") << QByteArray("{\"msg\":\"成功\"}") << QByteArray("{\"msg\":\"成功\"}\n");
}

void UploadChannelTest::recordsTheReplyBody()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, recorded);
    Rig rig;
    TestServer &server = rig.server;
    server.answerWith(200, reply);
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, recorded.count('\n')));
    QCOMPARE(readAll(pointFile), recorded);
}

void UploadChannelTest::httpErrorIsRecordedWithoutItsBody()
{
    Rig rig;
    rig.server.answerWith(500, "stack trace of the server");
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    const QByteArray line = readAll(pointFile);
    QVERIFY2(line.startsWith("Failed: ") && line.count('\n') == 1, line.constData());
    QVERIFY(!line.contains("stack trace"));
}

void UploadChannelTest::eachKindWritesItsOwnFile()
{
    WorkingDir wd;
    ClockAt clock(testNoon);
    QDir().mkdir(QStringLiteral("log"));
    TestServer server;
    const QStringList keys = {"POINT_HTTPURL", "LINE_HTTPURL", "PLAN_HTTPURL", "PLANSTATUS_HTTPURL"};
    for (const QString &key : keys)
        setEndpoint(key, server.url(QLatin1Char('/') + key));
    PointThread point(nullptr);
    LineThread line(nullptr);
    PlanThread plan(nullptr);
    EvalThread eval(nullptr);
    const QList<UploadChannel *> channels = {&point, &line, &plan, &eval};
    for (UploadChannel *channel : channels)
        channel->sendData("key=[]");
    const QStringList files = {"Point", "Line", "Plan", "Eval"};
    for (const QString &kind : files)
        QVERIFY2(waitForLines(QStringLiteral("log/response%1Data-20210606.txt").arg(kind), 1), qPrintable(kind));
    QStringList paths;
    for (const TestServer::Request &r : server.requests())
        paths << r.path;
    paths.sort();
    QCOMPARE(paths, (QStringList{"/LINE_HTTPURL", "/PLANSTATUS_HTTPURL", "/PLAN_HTTPURL", "/POINT_HTTPURL"}));
}

void UploadChannelTest::waitingLinesFollowOnceLogIsBack()
{
    Rig rig(Rig::WithoutLog);
    TestServer &server = rig.server;
    server.answerWith(200, "first");
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QTRY_COMPARE(server.requestCount(), 1);
    QTRY_COMPARE(openReplies(channel), 0);
    QVERIFY(!QFile::exists(pointFile));

    QDir().mkdir(QStringLiteral("log"));
    server.answerWith(200, "second");
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 2));
    QCOMPARE(readAll(pointFile), QByteArray("first\nsecond\n"));
}

void UploadChannelTest::waitingLinesAreWrittenWhenTheChannelEnds()
{
    Rig rig(Rig::WithoutLog);
    TestServer &server = rig.server;
    {
        PointThread channel(nullptr);
        channel.sendData("key=[]");
        QTRY_COMPARE(server.requestCount(), 1);
        QTRY_COMPARE(openReplies(channel), 0);
        QDir().mkdir(QStringLiteral("log"));
    }
    QCOMPARE(readAll(pointFile), QByteArray("ok\n"));
}

void UploadChannelTest::waitingLinesAreWrittenOnceLogCanBeWritten()
{
    // No further answer comes: the waiting lines go out on their own once log/ is a folder again.
    Rig rig(Rig::WithoutLog);
    {
        QFile notAFolder(QStringLiteral("log"));
        QVERIFY(notAFolder.open(QIODevice::WriteOnly));
    }
    WarningRecorder warnings;
    const QString cannotWrite = QStringLiteral("^log/responsePointData-20210606\\.txt cannot be written \\(.+\\); "
                                               "its lines are kept until it can be$");
    const QString writtenAgain = QStringLiteral("^log/responsePointData-20210606\\.txt is written again$");
    PointThread channel(nullptr);
    rig.server.answerWith(200, "first");
    channel.sendData("key=[1]");
    QTRY_COMPARE(warnings.count(cannotWrite), 1);
    rig.server.answerWith(200, "second");
    channel.sendData("key=[2]");
    QTRY_COMPARE(openReplies(channel), 0);
    QTRY_COMPARE(rig.server.requestCount(), 2);
    QVERIFY(QFile::remove(QStringLiteral("log")));
    QVERIFY(QDir().mkdir(QStringLiteral("log")));
    QVERIFY(waitForLines(pointFile, 2));
    QCOMPARE(readAll(pointFile), QByteArray("first\nsecond\n"));
    QCOMPARE(warnings.count(cannotWrite), 1);
    QCOMPARE(warnings.count(writtenAgain), 1);
    QCOMPARE(warnings.count(QStringLiteral("responsePointData")), 2);
}

void UploadChannelTest::linesThatNeverCouldBeWrittenAreCounted()
{
    Rig rig(Rig::WithoutLog);
    const int before = unwrittenLineCount();
    {
        PointThread channel(nullptr);
        channel.sendData("key=[]");
        QTRY_COMPARE(rig.server.requestCount(), 1);
        QTRY_COMPARE(openReplies(channel), 0);
    }
    QCOMPARE(unwrittenLineCount() - before, 1);
}

void UploadChannelTest::twoRequestsInFlightGiveTwoLines()
{
    Rig rig;
    TestServer &server = rig.server;
    PointThread channel(nullptr);
    server.holdReplies();
    channel.sendData("key=[1]");
    channel.sendData("key=[2]");
    QTRY_COMPARE(server.requestCount(), 2);
    server.releaseReplies();
    QVERIFY(waitForLines(pointFile, 2));
    QCOMPARE(readAll(pointFile), QByteArray("ok\nok\n"));
    QTRY_COMPARE(openReplies(channel), 0);
}

void UploadChannelTest::replyAfterMidnightGoesToTheNewDay()
{
    Rig rig;
    TestServer &server = rig.server;
    PointThread channel(nullptr);
    server.holdReplies();
    {
        ClockAt lateEvening(QDateTime(QDate(2021, 6, 6), QTime(23, 59, 59)));
        channel.sendData("key=[]");
        QTRY_COMPARE(server.requestCount(), 1);
    }
    ClockAt justAfterMidnight(QDateTime(QDate(2021, 6, 7), QTime(0, 0, 1)));
    server.releaseReplies();
    QVERIFY(waitForLines(QStringLiteral("log/responsePointData-20210607.txt"), 1));
    QVERIFY(!QFile::exists(pointFile));
}

void UploadChannelTest::existingFileIsAppendedTo()
{
    Rig rig;
    {
        QFile earlier(pointFile);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier answer\n");
    }
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 2));
    QCOMPARE(readAll(pointFile), QByteArray("earlier answer\nok\n"));
}

QTEST_GUILESS_MAIN(UploadChannelTest)
#include "tst_uploadchannel.moc"
