#include "logging/dailyfilequeue.h"
#include "support/testserver.h"
#include "support/testsupport.h"
#include "support/warningrecorder.h"
#include "upload/evalthread.h"
#include "upload/linethread.h"
#include "upload/planthread.h"
#include "upload/pointthread.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
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

void setTimeout(const QString &seconds)
{
    setEndpoint(QStringLiteral("HTTP_TIMEOUT_SECONDS"), seconds);
}

QString noAnswerFrom(const TestServer &server, const QString &why)
{
    return QStringLiteral("Failed: No answer from %1: %2\n").arg(server.url(QStringLiteral("/point")), why);
}

// What a plain post of the same bytes through Qt, with nothing set on the request, puts
// on the wire.
TestServer::Request plainQtPost(TestServer &server, const QByteArray &body)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.post(QNetworkRequest(QUrl(server.url(QStringLiteral("/point")))), body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(10000);
    delete reply;
    return server.requests().last();
}

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
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
    void silentServerIsAbandonedAfterTheTimeout();
    void answerThatKeepsComingIsNotCutOff();
    void answerThatCameWhileTheLoopWasBusyCounts();
    void timeoutSetting_data();
    void timeoutSetting();
    void bodyClosedWithoutAnswerIsSentOnce();
    void wireBytesAreThoseOfAPlainPost();
    void postsInFlightAreCountedUntilRecorded();
    void abandonedPostsAreRecorded();
    void endingChannelRecordsItsPostsInFlight();
    void postEndedBeforeItStartedIsRecordedOnce();
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

void UploadChannelTest::silentServerIsAbandonedAfterTheTimeout()
{
    Rig rig;
    setTimeout(QStringLiteral("1"));
    rig.server.holdReplies();
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(QString::fromUtf8(readAll(pointFile)),
             noAnswerFrom(rig.server, QStringLiteral("nothing moved for 1 s (HTTP_TIMEOUT_SECONDS), so the post was "
                                                     "abandoned")));
    QCOMPARE(channel.postsInFlight(), 0);
}

// The answer takes longer than the limit in all, but no gap between its pieces comes near it.
void UploadChannelTest::answerThatKeepsComingIsNotCutOff()
{
    Rig rig;
    setTimeout(QStringLiteral("2"));
    rig.server.answerInPieces(30, 100);
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(readAll(pointFile), QByteArray(30, '.') + '\n');
}

// A long sync keeps the event loop from running; an answer that came meanwhile is not
// taken for silence.
void UploadChannelTest::answerThatCameWhileTheLoopWasBusyCounts()
{
    Rig rig;
    setTimeout(QStringLiteral("1"));
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QTRY_COMPARE(rig.server.requestCount(), 1);
    QThread::msleep(2500);
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(readAll(pointFile), QByteArray("ok\n"));
}

void UploadChannelTest::timeoutSetting_data()
{
    QTest::addColumn<QString>("setting");
    QTest::newRow("0 means no limit") << QStringLiteral("0");
    QTest::newRow("no number gives the default") << QStringLiteral("soon");
    QTest::newRow("below 0 gives the default") << QStringLiteral("-1");
    QTest::newRow("missing gives the default") << QString();
}

// None of these settings may end a post that waits a good deal longer than a second.
void UploadChannelTest::timeoutSetting()
{
    QFETCH(QString, setting);
    Rig rig;
    if (!setting.isNull())
        setTimeout(setting);
    rig.server.holdReplies();
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QTRY_COMPARE(rig.server.requestCount(), 1);
    QTest::qWait(2500);
    QCOMPARE(channel.postsInFlight(), 1);
    rig.server.releaseReplies();
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(readAll(pointFile), QByteArray("ok\n"));
}

void UploadChannelTest::bodyClosedWithoutAnswerIsSentOnce()
{
    Rig rig;
    rig.server.closeAfterBody();
    PointThread channel(nullptr);
    const QByteArray body = "key=[{\"pId\":\"1\"}]";
    channel.sendData(body);
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(rig.server.requestCount(), 1);
    QCOMPARE(QString::fromUtf8(readAll(pointFile)),
             noAnswerFrom(rig.server, QStringLiteral("the connection closed before an answer came; the post was not "
                                                     "sent again, since the server may already have taken it")));
    QCOMPARE(rig.server.requests().first().body, body);
}

// Sizes around the chunks in which Qt reads a body, bytes of every value.
void UploadChannelTest::wireBytesAreThoseOfAPlainPost()
{
    Rig rig;
    QRandomGenerator random(20210606);
    const QList<int> sizes = {0, 1, 4, 16383, 16384, 16385, 65537, 1 << 20, 3 * (1 << 20) + 11};
    PointThread channel(nullptr);
    int posted = 0;
    for (int size : sizes) {
        const QByteArray body = randomBytes(random, size);
        channel.sendData(body);
        QVERIFY(waitForLines(pointFile, ++posted));
        const TestServer::Request sent = rig.server.requests().last();
        const TestServer::Request plain = plainQtPost(rig.server, body);
        QVERIFY2(sent.body == body, qPrintable(QString::number(size)));
        QCOMPARE(sent.headers, plain.headers);
    }
}

void UploadChannelTest::postsInFlightAreCountedUntilRecorded()
{
    Rig rig;
    rig.server.holdReplies();
    PointThread channel(nullptr);
    QSignalSpy changes(&channel, &UploadChannel::postsInFlightChanged);
    channel.sendData("key=[1]");
    channel.sendData("key=[2]");
    QCOMPARE(channel.postsInFlight(), 2);
    QTRY_COMPARE(rig.server.requestCount(), 2);
    rig.server.releaseReplies();
    QTRY_COMPARE(channel.postsInFlight(), 0);
    QCOMPARE(readAll(pointFile), QByteArray("ok\nok\n"));
    QList<int> counts;
    for (const QList<QVariant> &change : changes)
        counts << change.first().toInt();
    QCOMPARE(counts, (QList<int>{1, 2, 1, 0}));
}

void UploadChannelTest::abandonedPostsAreRecorded()
{
    Rig rig;
    rig.server.holdReplies();
    PointThread channel(nullptr);
    channel.sendData("key=[1]");
    channel.sendData("key=[2]");
    QTRY_COMPARE(rig.server.requestCount(), 2);
    channel.abandonPostsInFlight(QStringLiteral("told to stop"));
    QCOMPARE(channel.postsInFlight(), 0);
    const QString line = noAnswerFrom(rig.server, QStringLiteral("told to stop"));
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), line + line);
}

void UploadChannelTest::endingChannelRecordsItsPostsInFlight()
{
    Rig rig;
    rig.server.holdReplies();
    {
        PointThread channel(nullptr);
        channel.sendData("key=[]");
        QTRY_COMPARE(rig.server.requestCount(), 1);
    }
    QCOMPARE(QString::fromUtf8(readAll(pointFile)),
             noAnswerFrom(rig.server, QStringLiteral("the program ended first, so the post was abandoned")));
}

// A post without a URL fails only once the event loop runs; ending it before then must not
// give it a second line when that failure comes.
void UploadChannelTest::postEndedBeforeItStartedIsRecordedOnce()
{
    Rig rig(Rig::WithLog, QStringLiteral("LINE_HTTPURL"));
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    channel.abandonPostsInFlight(QStringLiteral("told to stop"));
    QTest::qWait(200);
    const QByteArray lines = readAll(pointFile);
    QVERIFY2(lines.count('\n') == 1 && lines.startsWith("Failed: "), lines.constData());
}

QTEST_GUILESS_MAIN(UploadChannelTest)
#include "tst_uploadchannel.moc"
