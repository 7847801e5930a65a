#include "logging/dailyfilequeue.h"
#include "support/testserver.h"
#include "support/testsupport.h"
#include "support/warningrecorder.h"
#include "upload/endpointsetting.h"
#include "upload/evalthread.h"
#include "upload/httpanswer.h"
#include "upload/httppost.h"
#include "upload/linethread.h"
#include "upload/planthread.h"
#include "upload/pointthread.h"
#include "upload/postlimits.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <zlib.h>

#include <sys/socket.h>

namespace {
const QDateTime testNoon(QDate(2021, 6, 6), QTime(12, 0, 0));
const QString pointFile = QStringLiteral("log/responsePointData-20210606.txt");

void setEndpoint(const QString &key, const QString &url)
{
    QSettings settings(QStringLiteral("sys.ini"), QSettings::IniFormat);
    settings.setValue(key, url);
}

// sys.ini as a site's installer may write it, "%1" standing for the test server's address.
void writeSysIni(const QString &text, const TestServer &server)
{
    QFile file(QStringLiteral("sys.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.write(text.arg(server.url(QString())).toUtf8()) > 0);
}

// Lets the event loop run until the channel has handled `count` replies in all.
bool waitForLines(const QString &file, int count)
{
    return QTest::qWaitFor([&] { return readAll(file).count('\n') >= count; }, 10000);
}

int openPosts(const QObject &channel)
{
    return channel.findChildren<HttpPost *>().size();
}

// Whether the status line of the channel's one open post has come.
bool statusArrived(const QObject &channel)
{
    const QList<HttpPost *> posts = channel.findChildren<HttpPost *>();
    return posts.size() == 1 && posts.first()->answer().hasStatus();
}

void setTimeout(const QString &seconds)
{
    setEndpoint(QStringLiteral("HTTP_TIMEOUT_SECONDS"), seconds);
}

QString noAnswerFrom(const TestServer &server, const QString &why)
{
    return QStringLiteral("Failed: No answer from %1: %2\n").arg(server.url(QStringLiteral("/point")), why);
}

// A plain post of the same bytes through Qt, with nothing set on the request: its reply,
// once finished.
std::unique_ptr<QNetworkReply> plainQtPost(QNetworkAccessManager &manager, const QString &url, const QByteArray &body)
{
    std::unique_ptr<QNetworkReply> reply(manager.post(QNetworkRequest(QUrl(url, QUrl::TolerantMode)), body));
    if (!QTest::qWaitFor([&reply] { return reply->isFinished(); }, 10000))
        qWarning("Qt's post did not finish");
    return reply;
}

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

// Takes each request as the raw bytes that came over the connection, up to the end of a body
// of a size known beforehand, and answers "ok".
class RawCapture : public QObject
{
public:
    explicit RawCapture(int bodySize)
        : bodySize(bodySize)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { take(socket); });
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/point").arg(server.serverPort()); }
    QList<QByteArray> requests;

private:
    void take(QTcpSocket *socket)
    {
        QByteArray &bytes = pending[socket];
        bytes += socket->readAll();
        const int headerEnd = bytes.indexOf("\r\n\r\n");
        if (headerEnd < 0 || bytes.size() < headerEnd + 4 + bodySize)
            return;
        requests << pending.take(socket);
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
        socket->disconnectFromHost();
    }

    QTcpServer server;
    const int bodySize;
    QHash<QTcpSocket *, QByteArray> pending;
};

// A forward proxy on 127.0.0.1: a request for a whole http:// URL is passed on to that URL's
// server in the form a server takes, and its answer back; CONNECT is refused, as proxies
// refuse it to any port but 443. Told to, it refuses every request with 407.
class ForwardProxy : public QObject
{
public:
    ForwardProxy()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *client = server.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, this, [this, client] { take(client); });
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }
    QList<QByteArray> requestLines;  // as the proxy got them
    bool asksForCredentials = false;

private:
    void take(QTcpSocket *client)
    {
        QByteArray &bytes = pending[client];
        bytes += client->readAll();
        if (upstream.contains(client)) {
            upstream[client]->write(bytes);
            bytes.clear();
            return;
        }
        const int lineEnd = bytes.indexOf("\r\n");
        if (lineEnd < 0 || !bytes.contains("\r\n\r\n"))
            return;
        const QByteArray line = bytes.left(lineEnd);
        requestLines << line;
        const QList<QByteArray> words = line.split(' ');
        if (asksForCredentials || words.first() == "CONNECT" || words.size() != 3) {
            client->write(asksForCredentials ? "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: "
                                               "Basic realm=\"proxy\"\r\nContent-Length: 0\r\n\r\n"
                                             : "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
            client->disconnectFromHost();
            return;
        }
        const QUrl target = QUrl::fromEncoded(words.at(1));
        auto *server = new QTcpSocket(client);
        upstream[client] = server;
        connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
        connect(server, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
        server->connectToHost(target.host(), quint16(target.port(80)));
        const QByteArray originForm = target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
        server->write(words.at(0) + ' ' + originForm + ' ' + words.at(2) + bytes.mid(lineEnd));
        bytes.clear();
    }

    QTcpServer server;
    QHash<QTcpSocket *, QByteArray> pending;
    QHash<QTcpSocket *, QTcpSocket *> upstream;
};

// A 200 answer with these header lines and a Content-Length for its body.
QByteArray sized(const QByteArray &headers, const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// What a reader makes of bytes that came in two pieces, cut at `cut`, or all at once.
QString readInTwo(const QByteArray &bytes, int cut)
{
    HttpAnswer answer;
    answer.take(bytes.left(cut));
    answer.take(bytes.mid(cut));
    answer.connectionEnded();
    if (answer.hasStatus() && answer.status() / 100 != 2)
        return QStringLiteral("HTTP %1 %2").arg(answer.status()).arg(answer.reasonPhrase());
    if (answer.state() == HttpAnswer::State::Complete)
        return QStringLiteral("answered ") + QString::fromUtf8(answer.body());
    return QStringLiteral("unreadable: ") + answer.fault();
}

// `repeats` times `bytes`, gzipped by zlib as it comes, never whole in memory.
QByteArray gzipOf(const QByteArray &bytes, int repeats)
{
    z_stream stream = {};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, MAX_WBITS + 16, 9, Z_DEFAULT_STRATEGY);
    QByteArray out;
    char buffer[65536];
    for (int i = 0; i < repeats; ++i) {
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
        stream.avail_in = uInt(bytes.size());
        const int flush = i + 1 == repeats ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            out.append(buffer, int(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

// Where a redirect sends the client: nowhere, or the same server's /elsewhere, named in full or by path.
enum class Location { None, Absolute, Relative };

// How a post goes without an answer.
enum class Silence { Held, ClosedAfterBody, AfterSuccessStatus };

// How an answer that the time limit must not cut off comes.
enum class Wait { Pieces, SlowBody, SlowReader, BusyLoop, BusyBeforeStart, HeldAnswer };

// The real idle limit is seconds long; the tests shorten it to this, whatever sys.ini says.
constexpr int shortIdleLimitMs = 40;
// A limit a loaded machine answers well within while the event loop runs, for the tests
// whose answer must not be cut off.
constexpr int answerableIdleLimitMs = 500;

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

Q_DECLARE_METATYPE(Wait)
Q_DECLARE_METATYPE(Location)
Q_DECLARE_METATYPE(Silence)

class UploadChannelTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void readsTheUrlAtEveryPost();
    void urlIsPostedAsWritten_data();
    void urlIsPostedAsWritten();
    void urlCutAtAnUnquotedSemicolonIsRefused_data();
    void urlCutAtAnUnquotedSemicolonIsRefused();
    void recordsTheReplyBody_data();
    void recordsTheReplyBody();
    void answerOtherThanSuccessIsAFailure_data();
    void answerOtherThanSuccessIsAFailure();
    void answerIsReadByItsFraming_data();
    void answerIsReadByItsFraming();
    void curlReadsEachAnswerAlike_data();
    void curlReadsEachAnswerAlike();
    void whatIsKeptOfAnAnswerIsBounded_data();
    void whatIsKeptOfAnAnswerIsBounded();
    void eachKindWritesItsOwnFile();
    void waitingLinesAreWrittenWhenTheChannelEnds_data();
    void waitingLinesAreWrittenWhenTheChannelEnds();
    void waitingLinesAreWrittenOnceLogCanBeWritten();
    void replyAfterMidnightGoesToTheNewDay();
    void postWithoutAnswerIsRecordedOnce_data();
    void postWithoutAnswerIsRecordedOnce();
    void idleLimitIsReadFromSysIni_data();
    void idleLimitIsReadFromSysIni();
    void answerWithinTheLimitIsRecorded_data();
    void answerWithinTheLimitIsRecorded();
    void wireBytesAreThoseOfAPlainPost();
    void failuresAreWordedAsQtWordsThem_data();
    void failuresAreWordedAsQtWordsThem();
    void requestIsTheOneQtSendsUnaskedWithoutItsWarning();
    void postsInFlightAreCountedUntilRecorded();
    void abandonedPostsAreRecorded_data();
    void abandonedPostsAreRecorded();
    void postEndedBeforeItStartedIsRecordedOnce();
    void urlThatDoesNotParseIsNotPosted_data();
    void urlThatDoesNotParseIsNotPosted();
    void earlySuccessCountsOnceTheBodyIsTaken_data();
    void earlySuccessCountsOnceTheBodyIsTaken();
    void earlyRefusalBeforeAResetIsTheAnswer();
    void headThatTricklesIsAbandoned();
    void connectionEndedByTheServerIsTold_data();
    void connectionEndedByTheServerIsTold();
    void postGoesThroughTheProxyNamed_data();
    void postGoesThroughTheProxyNamed();
};

void UploadChannelTest::cleanup()
{
    PostLimits::setPostWaitsForTests(0, 0);
}

void UploadChannelTest::readsTheUrlAtEveryPost()
{
    Rig rig;
    TestServer second;
    setEndpoint(QStringLiteral("POINT_HTTPURL"), rig.server.url(QStringLiteral("/api/point?site=7")));
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    setEndpoint(QStringLiteral("POINT_HTTPURL"), second.url(QStringLiteral("/b")));
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 2));
    QCOMPARE(rig.server.requestCount(), 1);
    QCOMPARE(rig.server.requests().first().path, QStringLiteral("/api/point"));
    QCOMPARE(second.requestCount(), 1);
    QCOMPARE(second.requests().first().path, QStringLiteral("/b"));
}

void UploadChannelTest::urlIsPostedAsWritten_data()
{
    QTest::addColumn<QString>("sysIni");  // "%1" stands for the server's address
    QTest::addColumn<QString>("target");  // the path and query the server got
    // QSettings reads unquoted commas as a list and drops the blanks around them.
    QTest::newRow("commas") << "[General]\nPOINT_HTTPURL=%1/point?ids=1,2\n" << "/point?ids=1,2";
    QTest::newRow("blanks around commas") << "[General]\nPOINT_HTTPURL=%1/point?ids=1 , 2\n"
                                          << "/point?ids=1%20,%202";
    QTest::newRow("quoted semicolon") << "[General]\nPOINT_HTTPURL=\"%1/point?a=b;c=d\"\n" << "/point?a=b;c=d";
    QTest::newRow("semicolon in another section")
        << "[Backup]\nPOINT_HTTPURL=%1/backup?a=b;c=d\n[General]\nPOINT_HTTPURL=%1/point?ids=1,2\n"
        << "/point?ids=1,2";
    QTest::newRow("commented out") << ";POINT_HTTPURL=%1/old?a=b;c=d\nPOINT_HTTPURL=%1/point\n" << "/point";
}

void UploadChannelTest::urlIsPostedAsWritten()
{
    QFETCH(QString, sysIni);
    QFETCH(QString, target);
    Rig rig;
    writeSysIni(sysIni, rig.server);
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(readAll(pointFile), QByteArray("ok\n"));
    QCOMPARE(rig.server.requestCount(), 1);
    QCOMPARE(rig.server.requests().first().target, target);
}

void UploadChannelTest::urlCutAtAnUnquotedSemicolonIsRefused_data()
{
    QTest::addColumn<QString>("sysIni");  // "%1" stands for the server's address
    QTest::addColumn<QString>("cutTo");
    QTest::newRow("in [General]") << "[General]\nPOINT_HTTPURL=%1/point?a=b;c=d\nHTTP_TIMEOUT_SECONDS=5\n"
                                  << "%1/point?a=b";
    QTest::newRow("before any section") << "POINT_HTTPURL = %1/point?ids=1,2 ; main server\n[Backup]\nX=1\n"
                                        << "%1/point?ids=1,2";
}

// The ini format would have the post go to the address up to the ";".
void UploadChannelTest::urlCutAtAnUnquotedSemicolonIsRefused()
{
    QFETCH(QString, sysIni);
    QFETCH(QString, cutTo);
    Rig rig;
    writeSysIni(sysIni, rig.server);
    PointThread channel(nullptr);
    QSignalSpy answered(&channel, &UploadChannel::answered);
    QSignalSpy notPosted(&channel, &UploadChannel::notPosted);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    const QString failure = QStringLiteral("POINT_HTTPURL in sys.ini has an unquoted \";\": the ini format ends the "
                                           "value there, which would cut the URL to \"%1\". Put the URL in double "
                                           "quotes; nothing was posted")
                                .arg(cutTo.arg(rig.server.url(QString())));
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), QStringLiteral("Failed: ") + failure + QLatin1Char('\n'));
    // Not sent, so not answered either.
    QCOMPARE(answered.size(), 0);
    QCOMPARE(notPosted.size(), 1);
    QCOMPARE(notPosted.first(), (QList<QVariant>{failure}));
    QCOMPARE(rig.server.requestCount(), 0);
}

void UploadChannelTest::recordsTheReplyBody_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("recorded");
    QTest::newRow("empty") << 200 << QByteArray() << QByteArray("\n");
    QTest::newRow("zero byte") << 200 << QByteArray("ab\0cd", 5) << QByteArray("ab\n");
    QTest::newRow("line break") << 200 << QByteArray("first\nsecond") << QByteArray("first\nsecond\n");
    QTest::newRow("utf-8") << 200 << QByteArray("{\"msg\":\"成功\"}") << QByteArray("{\"msg\":\"成功\"}\n");
    // Every 2xx status is a success.
    QTest::newRow("201") << 201 << QByteArray("created") << QByteArray("created\n");
    QTest::newRow("past what is kept") << 200 << QByteArray(3 << 20, 'x')
                                       << QByteArray(1 << 20, 'x') + " [the answer went on past 1048576 bytes; only "
                                                                     "those are recorded]\n";
}

// Each answer is appended to what the day's file already holds.
void UploadChannelTest::recordsTheReplyBody()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, recorded);
    Rig rig;
    {
        QFile earlier(pointFile);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier answer\n") > 0);
    }
    rig.server.answerWith(status, reply);
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1 + recorded.count('\n')));
    QCOMPARE(readAll(pointFile), "earlier answer\n" + recorded);
}

void UploadChannelTest::answerOtherThanSuccessIsAFailure_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("statusLine");
    QTest::addColumn<Location>("location");
    QTest::addColumn<bool>("resetUnread");  // answered before the body was read, then reset
    // For 307 and 308 Qt wants to send the body again, which a body sent once refuses.
    QTest::newRow("301") << 301 << "301 Moved Permanently" << Location::Absolute << false;
    QTest::newRow("302") << 302 << "302 Found" << Location::Relative << false;
    QTest::newRow("307") << 307 << "307 Temporary Redirect" << Location::Absolute << false;
    QTest::newRow("308") << 308 << "308 Permanent Redirect" << Location::Relative << false;
    QTest::newRow("404") << 404 << "404 Not Found" << Location::None << false;
    QTest::newRow("413, then reset") << 413 << "413 Payload Too Large" << Location::None << true;
    QTest::newRow("500") << 500 << "500 Internal Server Error" << Location::None << false;
}

// Neither the answer's body nor a redirect is taken for an answer; the line and the signal
// both say what came instead.
void UploadChannelTest::answerOtherThanSuccessIsAFailure()
{
    QFETCH(int, status);
    QFETCH(QString, statusLine);
    QFETCH(Location, location);
    QFETCH(bool, resetUnread);
    Rig rig;
    const QString elsewhere = rig.server.url(QStringLiteral("/elsewhere"));
    PointThread channel(nullptr);
    QSignalSpy answered(&channel, &UploadChannel::answered);
    if (resetUnread) {
        rig.server.holdReplies();
        rig.server.answerBeforeBody(status);
    } else {
        const QString sentLocation = location == Location::Absolute ? elsewhere : QStringLiteral("/elsewhere");
        rig.server.answerWith(status, "moved or refused", location == Location::None ? QString() : sentLocation);
    }
    // A body far larger than the connection's buffers is still going out when the reset comes.
    channel.sendData(resetUnread ? QByteArray(20 << 20, 'x') : QByteArray("key=[]"));
    if (resetUnread) {
        QTRY_VERIFY(statusArrived(channel));
        rig.server.releaseReplies();
    }
    QVERIFY(waitForLines(pointFile, 1));
    QString failure = QStringLiteral("HTTP %1 from %2").arg(statusLine, rig.server.url(QStringLiteral("/point")));
    if (location != Location::None)
        failure += QStringLiteral("; redirected to %1, which sys.ini does not name, so the post was not sent there")
                       .arg(elsewhere);
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), QStringLiteral("Failed: ") + failure + QLatin1Char('\n'));
    QCOMPARE(answered.size(), 1);
    QCOMPARE(answered.first(), (QList<QVariant>{true, failure}));
    QCOMPARE(rig.server.requestCount(), 1);
}

void UploadChannelTest::answerIsReadByItsFraming_data()
{
    QTest::addColumn<QByteArray>("answer");  // every byte the server sends before it closes
    QTest::addColumn<QString>("outcome");    // "answered <body>", "HTTP <status line>" or "unreadable: <fault>"
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    // {"msg":"ok"} gzipped by Python's gzip module, once and twice.
    const QByteArray gzip("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xab\x56\xca\x2d\x4e\x57\xb2\x52\xca\xcf\x56"
                          "\xaa\x05\x00\xde\xf4\xe7\x2f\x0c\x00\x00\x00", 32);
    const QByteArray gzipTwice("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x93\xef\xe6\x60\x00\x01\x26\xe6\xd5\x61\xa7"
                               "\x74\xfd\xc2\x37\x05\x9d\x3a\x1f\xb6\x8a\x95\xe1\xde\x97\xe7\xfa\x3c\x40\x71\x00\x5b"
                               "\x45\x97\xec\x20\x00\x00\x00", 49);
    const QString unreadable = QStringLiteral("unreadable: ");
    QTest::newRow("interim answers before it")
        << "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n" + sized("", "ok") << "answered ok";
    QTest::newRow("early hints before it") << "HTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n" + sized("", "ok")
                                           << "answered ok";
    QTest::newRow("failure after an interim answer")
        << QByteArray("HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n")
        << "HTTP 500 Internal Server Error";
    QTest::newRow("interim answer alone")
        << QByteArray("HTTP/1.1 102 Processing\r\n\r\n")
        << unreadable + "the connection closed before the status line and headers of the answer had come";
    QTest::newRow("chunks, extensions and trailers") << chunked + "2;x=y\r\nok\r\n3\r\n!!!\r\n0\r\nT: t\r\n\r\n"
                                                     << "answered ok!!!";
    QTest::newRow("chunk size that is not hex")
        << chunked + "zz\r\nok\r\n0\r\n\r\n" << unreadable + "a chunk size line that is not a hexadecimal number: \"zz\"";
    QTest::newRow("chunk longer than its size")
        << chunked + "2\r\nokay\r\n0\r\n\r\n" << unreadable + "a chunk of the body runs on past the size its line gave: \"ay\"";
    QTest::newRow("no last chunk") << chunked + "2\r\nok\r\n"
                                   << unreadable + "the connection closed after 2 bytes, before the last chunk of the body";
    QTest::newRow("chunk sizes of 16 digits, zeros in front")
        << chunked + "0000000000000002\r\nok\r\n0000000000000000\r\n\r\n" << "answered ok";
    QTest::newRow("chunk size of 16 significant digits")
        << chunked + "1000000000000000\r\nok\r\n"
        << unreadable + "a chunk size line that is not a hexadecimal number: \"1000000000000000\"";
    QTest::newRow("chunked after an empty element")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked,\r\n\r\n2\r\nok\r\n0\r\n\r\n") << "answered ok";
    QTest::newRow("identity transfer coding, then its length")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\nContent-Length: 2\r\n\r\nok and more")
        << "answered ok";
    QTest::newRow("body shorter than its length")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nok")
        << unreadable + "the connection closed after 2 of the 10 bytes its Content-Length names";
    QTest::newRow("lengths that disagree") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nok!")
                                           << unreadable + "its Content-Length is not one number of bytes: \"2, 3\"";
    QTest::newRow("empty length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: \r\n\r\nok")
                                  << unreadable + "its Content-Length is not one number of bytes: \"\"";
    QTest::newRow("body up to the end") << QByteArray("HTTP/1.0 200 OK\r\n\r\nall of it") << "answered all of it";
    QTest::newRow("reason phrase in UTF-8")
        << QByteArray("HTTP/1.1 503 服务暂停\r\nContent-Length: 0\r\n\r\n") << "HTTP 503 服务暂停";
    QTest::newRow("gzip") << sized("Content-Encoding: gzip\r\n", gzip) << "answered {\"msg\":\"ok\"}";
    QTest::newRow("x-gzip") << sized("Content-Encoding: x-gzip\r\n", gzip) << "answered {\"msg\":\"ok\"}";
    QTest::newRow("gzip twice") << sized("Content-Encoding: gzip, gzip\r\n", gzipTwice) << "answered {\"msg\":\"ok\"}";
    QTest::newRow("gzip as a transfer coding")
        << "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n20\r\n" + gzip + "\r\n0\r\n\r\n"
        << "answered {\"msg\":\"ok\"}";
    QTest::newRow("a coding the post did not ask for")
        << sized("Content-Encoding: br\r\n", QByteArray("\x0b\x01\x80\x6f\x6b\x03", 6))
        << unreadable + "its body came in the \"br\" coding, which the post did not ask for (it takes gzip and "
                        "deflate) and which cannot be read";
    QTest::newRow("204 labelled gzip") << QByteArray("HTTP/1.1 204 No Content\r\nContent-Encoding: gzip\r\n\r\n")
                                       << "answered ";
    QTest::newRow("empty 200 labelled gzip")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 0\r\n\r\n") << "answered ";
    QTest::newRow("zlib as deflate")
        << sized("Content-Encoding: deflate\r\n", qCompress(QByteArray("{\"msg\":\"ok\"}")).mid(4))
        << "answered {\"msg\":\"ok\"}";
    QTest::newRow("raw deflate") << sized("Content-Encoding: deflate\r\n", QByteArray("\x2b\x4a\x2c\x07\x00", 5))
                                 << "answered raw";
    QTest::newRow("gzip that is not gzip") << sized("Content-Encoding: gzip\r\n", "not gzip")
                                           << unreadable + "its gzip body cannot be decompressed: incorrect header check";
    QTest::newRow("gzip cut short") << sized("Content-Encoding: gzip\r\n", gzip.left(20))
                                    << unreadable + "its gzip body cannot be decompressed: it ends before its last block";
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n")
                              << unreadable + "it does not begin with an HTTP status line: \"SSH-2.0-OpenSSH_9.2\"";
}

// The final answer is the one after any interim ones, and a body whose framing does not hold
// together is no answer, however its bytes come.
void UploadChannelTest::answerIsReadByItsFraming()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, outcome);
    const QString whole = readInTwo(answer, answer.size());
    QCOMPARE(whole, outcome);
    for (int cut = 0; cut < answer.size(); ++cut)
        QCOMPARE(readInTwo(answer, cut), whole);
}

// The answers of the reader's table, each served once to the channel and once to Debian's curl.
void UploadChannelTest::curlReadsEachAnswerAlike_data()
{
    answerIsReadByItsFraming_data();
}

// Where the two may part, on purpose, and why.
const QHash<QString, QString> &deliberateDifferences()
{
    static const QHash<QString, QString> differences = {
        {QStringLiteral("a coding the post did not ask for"),
         QStringLiteral("curl asks for br itself and decodes it; the post asks for gzip and deflate only")},
        {QStringLiteral("identity transfer coding, then its length"),
         QStringLiteral("identity changes nothing, so the length frames the body, as Qt's layer reads it; curl "
                        "takes any transfer coding for a body up to the end of the connection")},
        {QStringLiteral("lengths that disagree"),
         QStringLiteral("two lengths that disagree leave the end of the body unknown, an error in HTTP/1.1; curl "
                        "takes the last")},
        {QStringLiteral("gzip cut short"),
         QStringLiteral("a gzip stream that ends before its last block was cut; curl records what it could inflate")},
    };
    return differences;
}

// "answered <body>", "status <code>" or "unreadable", from the channel's response line.
QString channelOutcome(const QString &line)
{
    const QRegularExpression status(QStringLiteral("^Failed: HTTP (\\d{3})"));
    const QRegularExpressionMatch match = status.match(line);
    if (match.hasMatch())
        return QStringLiteral("status ") + match.captured(1);
    if (line.startsWith(QLatin1String("Failed: ")))
        return QStringLiteral("unreadable");
    return QStringLiteral("answered ") + line;
}

// The same from curl: its status when it is not 2xx, the body when it is and curl ended well.
QString curlOutcome(const QString &url)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("--compressed"), QStringLiteral("-m"),
                                        QStringLiteral("20"), QStringLiteral("--data-binary"), QStringLiteral("key=[]"),
                                        QStringLiteral("-o"), QStringLiteral("curl-body"), QStringLiteral("-w"),
                                        QStringLiteral("%{http_code}"), url});
    if (!curl.waitForFinished(30000))
        return QStringLiteral("curl did not end");
    // An interim status is the last curl saw of an answer that never came.
    const QByteArray code = curl.readAllStandardOutput().trimmed();
    if (code >= "300")
        return QStringLiteral("status ") + QString::fromLatin1(code);
    if (curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0)
        return QStringLiteral("unreadable");
    QFile body(QStringLiteral("curl-body"));
    return QStringLiteral("answered ") + (body.open(QIODevice::ReadOnly) ? QString::fromUtf8(body.readAll()) : QString());
}

void UploadChannelTest::curlReadsEachAnswerAlike()
{
    QFETCH(QByteArray, answer);
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty(), "curl is not installed");
    Rig rig;
    rig.server.answerRaw(answer);
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    QString line = QString::fromUtf8(readAll(pointFile));
    line.chop(1);
    const QString ours = channelOutcome(line);
    const QString curls = curlOutcome(rig.server.url(QStringLiteral("/point")));
    if (deliberateDifferences().contains(QString::fromLatin1(QTest::currentDataTag())))
        return;
    QCOMPARE(ours, curls);
}

void UploadChannelTest::whatIsKeptOfAnAnswerIsBounded_data()
{
    QTest::addColumn<QByteArray>("coding");
    QTest::addColumn<int>("megabytes");  // of the body as it is read
    QTest::newRow("plain") << QByteArray() << 96;
    // A few hundred kilobytes that expand a thousandfold.
    QTest::newRow("gzip") << QByteArray("gzip") << 256;
    QTest::newRow("gzip twice") << QByteArray("gzip, gzip") << 256;
}

// Only the first mebibyte is kept, whatever the answer grows to; it still counts as complete.
void UploadChannelTest::whatIsKeptOfAnAnswerIsBounded()
{
    QFETCH(QByteArray, coding);
    QFETCH(int, megabytes);
    const QByteArray megabyte(1 << 20, 'a');
    QByteArray body;
    if (coding.isEmpty()) {
        body = megabyte;
    } else {
        body = gzipOf(megabyte, megabytes);
        if (coding.contains(','))
            body = gzipOf(body, 1);
    }
    const QByteArray head = "HTTP/1.1 200 OK\r\n" + (coding.isEmpty() ? QByteArray() : "Content-Encoding: " + coding + "\r\n")
        + "Content-Length: " + QByteArray::number(coding.isEmpty() ? qint64(megabytes) << 20 : body.size()) + "\r\n\r\n";
    HttpAnswer answer;
    answer.take(head);
    for (int i = 0; i < (coding.isEmpty() ? megabytes : 1); ++i)
        answer.take(body);
    QCOMPARE(int(answer.state()), int(HttpAnswer::State::Complete));
    QCOMPARE(answer.body().size(), 1 << 20);
    QVERIFY(answer.body() == megabyte);
}

void UploadChannelTest::eachKindWritesItsOwnFile()
{
    Rig rig;
    const QStringList keys = {"POINT_HTTPURL", "LINE_HTTPURL", "PLAN_HTTPURL", "PLANSTATUS_HTTPURL"};
    for (const QString &key : keys)
        setEndpoint(key, rig.server.url(QLatin1Char('/') + key));
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
    for (const TestServer::Request &r : rig.server.requests())
        paths << r.path;
    paths.sort();
    QCOMPARE(paths, (QStringList{"/LINE_HTTPURL", "/PLANSTATUS_HTTPURL", "/PLAN_HTTPURL", "/POINT_HTTPURL"}));
}

void UploadChannelTest::waitingLinesAreWrittenWhenTheChannelEnds_data()
{
    QTest::addColumn<bool>("logBack");
    QTest::newRow("log back before the end") << true;
    QTest::newRow("log never back") << false;
}

// With log/ back by the end the waiting line is written; without, it is counted as unwritten.
void UploadChannelTest::waitingLinesAreWrittenWhenTheChannelEnds()
{
    QFETCH(bool, logBack);
    Rig rig(Rig::WithoutLog);
    const int before = unwrittenLineCount();
    {
        PointThread channel(nullptr);
        channel.sendData("key=[]");
        QTRY_COMPARE(rig.server.requestCount(), 1);
        QTRY_COMPARE(openPosts(channel), 0);
        if (logBack)
            QVERIFY(QDir().mkdir(QStringLiteral("log")));
    }
    QCOMPARE(unwrittenLineCount() - before, logBack ? 0 : 1);
    QCOMPARE(readAll(pointFile), logBack ? QByteArray("ok\n") : QByteArray());
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
    QTRY_COMPARE(openPosts(channel), 0);
    QTRY_COMPARE(rig.server.requestCount(), 2);
    QVERIFY(QFile::remove(QStringLiteral("log")));
    QVERIFY(QDir().mkdir(QStringLiteral("log")));
    QVERIFY(waitForLines(pointFile, 2));
    QCOMPARE(readAll(pointFile), QByteArray("first\nsecond\n"));
    QCOMPARE(warnings.count(cannotWrite), 1);
    QCOMPARE(warnings.count(writtenAgain), 1);
    QCOMPARE(warnings.count(QStringLiteral("responsePointData")), 2);
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

void UploadChannelTest::postWithoutAnswerIsRecordedOnce_data()
{
    QTest::addColumn<Silence>("silence");
    QTest::addColumn<QString>("why");
    const QString nothingMoved = QStringLiteral("nothing moved for 1 s (HTTP_TIMEOUT_SECONDS), so the post was abandoned");
    QTest::newRow("silent server") << Silence::Held << nothingMoved;
    QTest::newRow("closed after the body") << Silence::ClosedAfterBody
                                           << "the connection closed before an answer came; the post was not sent "
                                              "again, since the server may already have taken it";
    // A success without its body is no answer either.
    QTest::newRow("silent after a 200") << Silence::AfterSuccessStatus << nothingMoved;
}

void UploadChannelTest::postWithoutAnswerIsRecordedOnce()
{
    QFETCH(Silence, silence);
    QFETCH(QString, why);
    Rig rig;
    setTimeout(QStringLiteral("1"));
    // A closed connection must be told as such, not lost to the limit on a loaded machine.
    PostLimits::setPostWaitsForTests(0, silence == Silence::ClosedAfterBody ? answerableIdleLimitMs : shortIdleLimitMs);
    if (silence == Silence::ClosedAfterBody)
        rig.server.closeAfterBody();
    else
        rig.server.holdReplies();
    if (silence == Silence::AfterSuccessStatus)
        rig.server.answerBeforeBody(200);
    PointThread channel(nullptr);
    const QByteArray body = "key=[{\"pId\":\"1\"}]";
    channel.sendData(body);
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), noAnswerFrom(rig.server, why));
    QCOMPARE(channel.postsInFlight(), 0);
    QCOMPARE(rig.server.requestCount(), 1);
    if (silence != Silence::AfterSuccessStatus)
        QCOMPARE(rig.server.requests().first().body, body);
}

void UploadChannelTest::idleLimitIsReadFromSysIni_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("seconds");
    QTest::newRow("whole number") << "2" << 2;
    QTest::newRow("0 means no limit") << "0" << 0;
    QTest::newRow("absent gives the default") << QString() << 120;
    QTest::newRow("no number gives the default") << "soon" << 120;
    QTest::newRow("below 0 gives the default") << "-1" << 120;
    QTest::newRow("longer than a timer holds") << "3000000" << 2147483;
}

void UploadChannelTest::idleLimitIsReadFromSysIni()
{
    QFETCH(QString, setting);
    QFETCH(int, seconds);
    WorkingDir wd;
    if (!setting.isNull())
        setTimeout(setting);
    QCOMPARE(readInactivityTimeoutSeconds(QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat)), seconds);
}

void UploadChannelTest::answerWithinTheLimitIsRecorded_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<Wait>("wait");
    QTest::addColumn<int>("idleLimitMs");
    // The answer takes longer than the limit in all, but no gap between its pieces comes near it.
    QTest::newRow("answer that keeps coming") << QStringLiteral("2") << Wait::Pieces << 200;
    // The same for the body going out: the server takes it slowly, for longer than the limit
    // in all, while no gap between the pieces it takes comes near it.
    QTest::newRow("body that keeps going") << QStringLiteral("3") << Wait::SlowBody << 2000;
    // The server reads the whole body at a steady pace, slower than the system's queues
    // drain when it reads at once: the post sees what the server took, not what it queued.
    QTest::newRow("body taken slowly to its end") << QStringLiteral("1") << Wait::SlowReader << 800;
    // A long sync keeps the event loop from running; an answer that came meanwhile is no silence.
    QTest::newRow("answer while the loop was busy") << QStringLiteral("1") << Wait::BusyLoop
                                                    << answerableIdleLimitMs;
    // Nothing can move before the event loop runs; the sync that posted keeps it from running
    // while it reads the other kinds, for longer than the limit.
    QTest::newRow("loop busy before the post could start") << QStringLiteral("1") << Wait::BusyBeforeStart
                                                           << answerableIdleLimitMs;
    // No limit at all: a post waits well past what any shortened limit would allow.
    QTest::newRow("0 means no limit") << QStringLiteral("0") << Wait::HeldAnswer << shortIdleLimitMs;
}

void UploadChannelTest::answerWithinTheLimitIsRecorded()
{
    QFETCH(QString, setting);
    QFETCH(Wait, wait);
    QFETCH(int, idleLimitMs);
    Rig rig;
    setTimeout(setting);
    PostLimits::setPostWaitsForTests(0, idleLimitMs);
    if (wait == Wait::Pieces)
        rig.server.answerInPieces(30, idleLimitMs / 10);
    if (wait == Wait::HeldAnswer)
        rig.server.holdReplies();
    // The first 8 MiB of 16 are taken with a pause of 1.1 ms after every 4 KiB, no less than
    // 2.2 s in all. The program sees the body move only as it leaves for the system's socket
    // buffers, which hold megabytes; the rest, taken at once, leaves those to drain unseen.
    if (wait == Wait::SlowBody)
        rig.server.readBodySlowly(8 << 20, 4096, 1100);
    // About 1 MB/s, 4 MiB in all.
    if (wait == Wait::SlowReader)
        rig.server.readBodySlowly(4 << 20, 4096, 4000);
    PointThread channel(nullptr);
    const QByteArray body = wait == Wait::SlowBody     ? QByteArray("key=") + QByteArray(16 << 20, 'x')
        : wait == Wait::SlowReader ? QByteArray("key=") + QByteArray(4 << 20, 'x')
                                   : QByteArray("key=[]");
    channel.sendData(body);
    if (wait == Wait::BusyBeforeStart)
        QThread::msleep(unsigned(idleLimitMs * 3 / 2));
    QTRY_COMPARE_WITH_TIMEOUT(rig.server.requestCount(), 1, 30000);
    if (wait == Wait::BusyLoop) {
        QVERIFY(rig.server.waitForAnswersSent(1));
        QThread::msleep(unsigned(idleLimitMs * 5 / 2));
    }
    if (wait == Wait::HeldAnswer) {
        QTest::qWait(idleLimitMs * 5 / 2);
        QCOMPARE(channel.postsInFlight(), 1);
        rig.server.releaseReplies();
    }
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(readAll(pointFile), wait == Wait::Pieces ? QByteArray(30, '.') + '\n' : QByteArray("ok\n"));
}

// Sizes around the chunks in which Qt reads and writes a body, bytes of every value, both
// ways: the request as Qt sends it, the answer's line as Qt read the answer.
void UploadChannelTest::wireBytesAreThoseOfAPlainPost()
{
    Rig rig;
    QRandomGenerator random(20210606);
    const QList<int> sizes = {0, 1, 4, 16383, 16384, 16385, 65537, 1 << 20, 3 * (1 << 20) + 11};
    PointThread channel(nullptr);
    QNetworkAccessManager manager;
    int posted = 0;
    QByteArray linesOfQt;
    for (int size : sizes) {
        const QByteArray body = randomBytes(random, size);
        rig.server.answerWith(200, randomBytes(random, size));
        channel.sendData(body);
        QVERIFY(waitForLines(pointFile, ++posted));
        const TestServer::Request sent = rig.server.requests().last();
        const std::unique_ptr<QNetworkReply> plain = plainQtPost(manager, rig.server.url(QStringLiteral("/point")), body);
        QVERIFY2(sent.body == body, qPrintable(QString::number(size)));
        QCOMPARE(sent.headers, rig.server.requests().last().headers);
        linesOfQt += textUpToZero(plain->readAll()).toUtf8() + '\n';
        QCOMPARE(readAll(pointFile), linesOfQt);
    }
}

void UploadChannelTest::failuresAreWordedAsQtWordsThem_data()
{
    QTest::addColumn<QString>("url");  // "%1" stands for a port nobody listens on, "%2" for the server's
    QTest::newRow("nobody listening") << "http://127.0.0.1:%1/point";
    QTest::newRow("nobody listening on IPv6") << "http://[::1]:%1/point";
    QTest::newRow("no URL") << "";
    QTest::newRow("other protocol") << "ftp://127.0.0.1:%1/point";
    QTest::newRow("no host") << "http:///point";
    QTest::newRow("https to a plain server") << "https://127.0.0.1:%2/point";
}

// Failures that are the connection's, not the answer's, read as Qt's HTTP layer put them.
void UploadChannelTest::failuresAreWordedAsQtWordsThem()
{
    QFETCH(QString, url);
    Rig rig;
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = closed.serverPort();
    closed.close();
    url.replace(QStringLiteral("%1"), QString::number(closedPort))
        .replace(QStringLiteral("%2"), QString::number(QUrl(rig.server.url(QString())).port()));
    setEndpoint(QStringLiteral("POINT_HTTPURL"), url);
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url, QUrl::TolerantMode)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    std::unique_ptr<QNetworkReply> plain(manager.post(request, QByteArray("key=[]")));
    QVERIFY(QTest::qWaitFor([&plain] { return plain->isFinished(); }, 10000));
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), QStringLiteral("Failed: ") + plain->errorString() + '\n');
}

// Qt warns on stderr at every post that names no content type, and then sends the form type
// itself as the last header line. The channel names that type, so its line comes right after
// Host, where Qt puts the headers a request names; every other byte is the same: the request
// line, each header line as written, the body.
void UploadChannelTest::requestIsTheOneQtSendsUnaskedWithoutItsWarning()
{
    Rig rig;
    const QByteArray body = "key=[{\"pId\":\"1\",\"ptName\":\"东门\"}]";
    RawCapture capture(body.size());
    setEndpoint(QStringLiteral("POINT_HTTPURL"), capture.url());
    {
        WarningRecorder warnings;
        PointThread channel(nullptr);
        channel.sendData(body);
        QVERIFY(waitForLines(pointFile, 1));
        QCOMPARE(warnings.all(), QStringList());
    }
    WarningRecorder qtUnasked;
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(manager.post(QNetworkRequest(QUrl(capture.url())), body));
    QVERIFY(QTest::qWaitFor([&reply] { return reply->isFinished(); }, 10000));
    QCOMPARE(qtUnasked.count(QStringLiteral("content-type missing")), 1);
    QCOMPARE(capture.requests.size(), 2);
    const QByteArray &named = capture.requests.at(0);
    const QByteArray &unasked = capture.requests.at(1);
    const int namedEnd = named.indexOf("\r\n\r\n");
    const int unaskedEnd = unasked.indexOf("\r\n\r\n");
    QCOMPARE(named.mid(namedEnd), unasked.mid(unaskedEnd));
    const QByteArray typeLine = "\r\nContent-Type: application/x-www-form-urlencoded";
    QVERIFY2(unasked.left(unaskedEnd).endsWith(typeLine), unasked.constData());
    QByteArray moved = named.left(namedEnd);
    const int typeAt = moved.indexOf(typeLine);
    QVERIFY2(typeAt > 0 && moved.left(typeAt).count("\r\n") == 1, named.constData());
    moved.remove(typeAt, typeLine.size()).append(typeLine);
    QCOMPARE(moved, unasked.left(unaskedEnd));
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
    QTRY_COMPARE(openPosts(channel), 0);
    QList<int> counts;
    for (const QList<QVariant> &change : changes)
        counts << change.first().toInt();
    QCOMPARE(counts, (QList<int>{1, 2, 1, 0}));
}

void UploadChannelTest::abandonedPostsAreRecorded_data()
{
    QTest::addColumn<bool>("channelEnds");
    QTest::addColumn<QString>("why");
    QTest::newRow("told to stop") << false << "told to stop";
    QTest::newRow("channel ends") << true << "the program ended first, so the post was abandoned";
}

void UploadChannelTest::abandonedPostsAreRecorded()
{
    QFETCH(bool, channelEnds);
    QFETCH(QString, why);
    Rig rig;
    rig.server.holdReplies();
    {
        PointThread channel(nullptr);
        channel.sendData("key=[1]");
        channel.sendData("key=[2]");
        QTRY_COMPARE(rig.server.requestCount(), 2);
        if (!channelEnds) {
            channel.abandonPostsInFlight(why);
            QCOMPARE(channel.postsInFlight(), 0);
        }
    }
    const QString line = noAnswerFrom(rig.server, why);
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), line + line);
}

// A post without a URL fails, without a request, only once the event loop runs; ending it
// before then must not give it a second line when that failure comes.
void UploadChannelTest::postEndedBeforeItStartedIsRecordedOnce()
{
    Rig rig(Rig::WithLog, QStringLiteral("LINE_HTTPURL"));
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    channel.abandonPostsInFlight(QStringLiteral("told to stop"));
    // The reply is let go only after its late failure has come.
    QTRY_COMPARE(openPosts(channel), 0);
    const QByteArray lines = readAll(pointFile);
    QVERIFY2(lines.count('\n') == 1 && lines.startsWith("Failed: "), lines.constData());
    QCOMPARE(rig.server.requestCount(), 0);
}

void UploadChannelTest::urlThatDoesNotParseIsNotPosted_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("out of range") << "65536";
    QTest::newRow("too many digits") << "80800";
    QTest::newRow("a letter") << "8o80";
    QTest::newRow("below 0") << "-1";
}

// Such a URL keeps its host but not its port: it must not go to port 80 of that host.
void UploadChannelTest::urlThatDoesNotParseIsNotPosted()
{
    QFETCH(QString, port);
    Rig rig;
    const QString url = QStringLiteral("http://127.0.0.1:%1/point").arg(port);
    setEndpoint(QStringLiteral("POINT_HTTPURL"), url);
    PointThread channel(nullptr);
    QSignalSpy answered(&channel, &UploadChannel::answered);
    QSignalSpy notPosted(&channel, &UploadChannel::notPosted);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    const QString refusal = QStringLiteral("POINT_HTTPURL in sys.ini is \"%1\", which is not a URL that can be posted "
                                           "to as written (")
                                .arg(url);
    const QString line = QString::fromUtf8(readAll(pointFile));
    QVERIFY2(line.startsWith(QStringLiteral("Failed: ") + refusal) && line.endsWith("); nothing was posted\n"),
             qPrintable(line));
    QCOMPARE(answered.size(), 0);
    QCOMPARE(notPosted.size(), 1);
}

void UploadChannelTest::earlySuccessCountsOnceTheBodyIsTaken_data()
{
    QTest::addColumn<bool>("serverReadsOn");
    QTest::addColumn<QString>("line");  // "%1" stands for the URL posted to
    QTest::newRow("server reads on") << true << "ok";
    QTest::newRow("server drops the rest")
        << false << "Failed: Early answer from %1: HTTP 200 came before the server had the whole body, and the "
                    "connection ended when it had taken ";
}

// A server may answer 200 as soon as the head has come and read the body after: the body
// goes out whole, and the post counts as answered only once the server has taken it.
void UploadChannelTest::earlySuccessCountsOnceTheBodyIsTaken()
{
    QFETCH(bool, serverReadsOn);
    QFETCH(QString, line);
    Rig rig;
    rig.server.answerRawEarly(sized("", "ok"), serverReadsOn);
    const QByteArray body = "key=" + QByteArray(20 << 20, 'x');
    PointThread channel(nullptr);
    channel.sendData(body);
    QVERIFY(waitForLines(pointFile, 1));
    const QString recorded = QString::fromUtf8(readAll(pointFile));
    QVERIFY2(recorded.startsWith(line.arg(rig.server.url(QStringLiteral("/point")))), qPrintable(recorded));
    if (serverReadsOn) {
        QCOMPARE(recorded, QStringLiteral("ok\n"));
        QCOMPARE(rig.server.requests().first().body.size(), body.size());
    }
}

// A refusal that came before the server reset the connection on the unread body is the
// answer, however the reset and the refusal meet the client.
void UploadChannelTest::earlyRefusalBeforeAResetIsTheAnswer()
{
    Rig rig;
    rig.server.answerRawEarly("HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\n\r\n", false);
    PointThread channel(nullptr);
    const int posts = 10;
    QByteArray expected;
    for (int i = 1; i <= posts; ++i) {
        channel.sendData(QByteArray(20 << 20, 'x'));
        // The refusal and the reset both come while the event loop is held up, as a sync's
        // reading of the next kind holds it.
        QTRY_COMPARE(rig.server.requestCount(), i);
        QVERIFY(rig.server.waitForAnswersSent(i));
        QVERIFY(waitForLines(pointFile, i));
        expected += "Failed: HTTP 413 Payload Too Large from " + rig.server.url(QStringLiteral("/point")).toUtf8() + '\n';
    }
    QCOMPARE(readAll(pointFile), expected);
}

// Each byte of the head is movement, but the head as a whole gets the limit from its first byte.
void UploadChannelTest::headThatTricklesIsAbandoned()
{
    Rig rig;
    setTimeout(QStringLiteral("1"));
    PostLimits::setPostWaitsForTests(0, answerableIdleLimitMs);
    rig.server.answerRawSlowly(sized("Server: slow\r\n", "ok"), answerableIdleLimitMs / 10);
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(QString::fromUtf8(readAll(pointFile)),
             noAnswerFrom(rig.server, QStringLiteral("the head of its answer had not come whole 1 s "
                                                     "(HTTP_TIMEOUT_SECONDS) after its first byte, so the post was "
                                                     "abandoned")));
}

void UploadChannelTest::connectionEndedByTheServerIsTold_data()
{
    QTest::addColumn<bool>("secure");
    QTest::addColumn<QString>("line");  // "%1" stands for the URL posted to
    // A server that closes in the TLS handshake has been sent nothing of the post.
    QTest::newRow("closed in the TLS handshake")
        << true << "Failed: No answer from %1: the connection closed before the request could be sent (in the TLS "
                   "handshake); nothing was posted";
    // Only an orderly end ends a body that has no length: a reset may have cut it anywhere.
    QTest::newRow("reset in a body up to the end")
        << false << "Failed: Unreadable answer from %1: the connection was reset after 7 bytes of a body that only "
                    "the end of the connection ends, so whether it came whole cannot be told";
}

void UploadChannelTest::connectionEndedByTheServerIsTold()
{
    QFETCH(bool, secure);
    QFETCH(QString, line);
    Rig rig;
    QTcpServer ender;
    QVERIFY(ender.listen(QHostAddress::LocalHost, 0));
    connect(&ender, &QTcpServer::newConnection, &ender, [&ender, secure] {
        QTcpSocket *socket = ender.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, secure] {
            if (secure) {
                socket->disconnectFromHost();
                return;
            }
            if (!socket->readAll().endsWith("key=[]"))
                return;
            socket->write("HTTP/1.0 200 OK\r\n\r\npartial");
            socket->flush();
            const linger resetOnClose = {1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose);
            socket->abort();
        });
    });
    const QString url = QStringLiteral("%1://127.0.0.1:%2/point")
                            .arg(secure ? QStringLiteral("https") : QStringLiteral("http"))
                            .arg(ender.serverPort());
    setEndpoint(QStringLiteral("POINT_HTTPURL"), url);
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(waitForLines(pointFile, 1));
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), line.arg(url) + '\n');
}

void UploadChannelTest::postGoesThroughTheProxyNamed_data()
{
    QTest::addColumn<QString>("setting");     // PROXY_HTTPURL; "%1" stands for the proxy's URL
    QTest::addColumn<bool>("systemProxy");    // http_proxy names the proxy
    QTest::addColumn<bool>("credentials");    // the proxy wants them
    QTest::addColumn<bool>("viaProxy");
    QTest::addColumn<QString>("line");        // "%1" stands for the URL posted to
    QTest::newRow("named in sys.ini") << "%1" << false << false << true << "ok";
    QTest::newRow("the system's") << "" << true << false << true << "ok";
    QTest::newRow("none, over the system's") << "none" << true << false << false << "ok";
    QTest::newRow("the proxy wants credentials")
        << "%1" << false << true << true << "Failed: HTTP 407 Proxy Authentication Required from %1";
    // An https:// post asks the proxy for a tunnel, which this one, like many, refuses to any
    // port but 443.
    QTest::newRow("https, tunnel refused") << "%1" << false << false << true << "Failed: Proxy denied connection";
}

// An http:// post goes to an HTTP proxy as a request for the whole URL, as curl sends it.
void UploadChannelTest::postGoesThroughTheProxyNamed()
{
    QFETCH(QString, setting);
    QFETCH(bool, systemProxy);
    QFETCH(bool, credentials);
    QFETCH(bool, viaProxy);
    QFETCH(QString, line);
    Rig rig;
    const bool secure = QString::fromLatin1(QTest::currentDataTag()).startsWith(QLatin1String("https"));
    QString url = rig.server.url(QStringLiteral("/point"));
    if (secure)
        url.replace(QStringLiteral("http://"), QStringLiteral("https://"));
    setEndpoint(QStringLiteral("POINT_HTTPURL"), url);
    ForwardProxy proxy;
    proxy.asksForCredentials = credentials;
    if (!setting.isEmpty())
        setEndpoint(QStringLiteral("PROXY_HTTPURL"), setting.arg(proxy.url()));
    const QByteArray noProxy = qgetenv("no_proxy");
    qunsetenv("no_proxy");
    if (systemProxy)
        qputenv("http_proxy", proxy.url().toUtf8());
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    const bool written = waitForLines(pointFile, 1);
    qunsetenv("http_proxy");
    if (!noProxy.isEmpty())
        qputenv("no_proxy", noProxy);
    QVERIFY(written);
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), line.arg(url) + '\n');
    const QByteArray authority = QUrl(url).authority().toUtf8();
    const QByteArray requestLine = secure ? "CONNECT " + authority + " HTTP/1.1" : "POST " + url.toUtf8() + " HTTP/1.1";
    // Qt asks for a refused tunnel a second time.
    const QSet<QByteArray> requestLines(proxy.requestLines.begin(), proxy.requestLines.end());
    QCOMPARE(requestLines, viaProxy ? QSet<QByteArray>{requestLine} : QSet<QByteArray>());
    QCOMPARE(rig.server.requestCount(), credentials || secure ? 0 : 1);
}

QTEST_GUILESS_MAIN(UploadChannelTest)
#include "tst_uploadchannel.moc"
