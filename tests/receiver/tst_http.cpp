#include "receiverfixture.h"
#include "samplebodies.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtTest>

#include <thread>
#include <vector>

class ReceiverHttpTest : public QObject
{
    Q_OBJECT

private slots:
    void storesAnAcceptedBodyByteForByte_data();
    void storesAnAcceptedBodyByteForByte();
    void refusesAMalformedBodyAndStoresNothing_data();
    void refusesAMalformedBodyAndStoresNothing();
    void takesTheSyncClientsPostAsItIsSent_data();
    void takesTheSyncClientsPostAsItIsSent();
    void acceptsATenMegabyteBody();
    void acceptsABodyWithoutContentType();
    void answersAnUnknownPathWith404();
    void answersOtherMethodsWith405();
    void refusesMultipartAndKeepsTheConnectionUsable();
    void refusesABodyOverTheLimitWith413();
    void reportsABodyItCouldNotStoreWith500();
    void keepsConcurrentBodiesApart();
};

void ReceiverHttpTest::storesAnAcceptedBodyByteForByte_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("count");

    QTest::newRow("checkpoints") << "point" << samples::pointBody() << 2;
    QTest::newRow("route stops") << "line" << samples::lineBody() << 1;
    QTest::newRow("plans") << "plan" << samples::planBody() << 1;
    QTest::newRow("plan status") << "planstatus" << samples::planStatusBody() << 1;
    QTest::newRow("empty array") << "plan" << QByteArray("key=[]") << 0;
    QTest::newRow("& % + = and Chinese") << "point" << samples::pointBodyWithAwkwardText() << 1;
}

void ReceiverHttpTest::storesAnAcceptedBodyByteForByte()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, body);
    QFETCH(int, count);
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());

    const httplib::Result result = receiver.postFormLabelled('/' + kind.toStdString(), body);

    QVERIFY(result);
    QCOMPARE(result->status, 200);
    QCOMPARE(QString::fromStdString(result->get_header_value("Content-Type")),
             QStringLiteral("application/json; charset=utf-8"));
    const QJsonObject answer = answerOf(result->body);
    QCOMPARE(answer.value("ok").toBool(), true);
    QCOMPARE(answer.value("kind").toString(), kind);
    QCOMPARE(answer.value("count").toInt(-1), count);
    const QStringList stored = receiver.storedFiles();
    QCOMPARE(stored.size(), 1);
    QVERIFY(stored.first().startsWith(kind + '-'));
    QCOMPARE(receiver.storedBody(stored.first()), body);
}

void ReceiverHttpTest::refusesAMalformedBodyAndStoresNothing_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reason");

    QTest::newRow("no key=") << QByteArray("[]") << R"(body does not start with "key=")";
    QTest::newRow("not JSON") << QByteArray("key=[{") << R"(text after "key=" is not valid JSON)";
    QTest::newRow("not an array") << QByteArray(R"(key={"pId":"1"})") << R"(JSON after "key=" is not an array)";
    QTest::newRow("element not an object") << QByteArray("key=[1]") << "record 0: is a number, not an object";
    QTest::newRow("non-string value")
        << QByteArray(R"(key=[{"pId":1,"ptCard":"A1","ptName":"Gate","ptNum":"1","ptType":"0"}])")
        << R"(record 0: value of "pId" is a number, not a string)";
    QTest::newRow("missing key") << QByteArray(R"(key=[{"pId":"1","ptCard":"A1","ptName":"Gate","ptNum":"1"}])")
                                 << R"(record 0: missing key "ptType")";
    QTest::newRow("unknown key")
        << QByteArray(R"(key=[{"pId":"1","ptCard":"A1","ptName":"Gate","ptNum":"1","ptType":"0","x":""}])")
        << R"(record 0: unknown key "x")";
}

void ReceiverHttpTest::refusesAMalformedBodyAndStoresNothing()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());

    const httplib::Result result = receiver.postFormLabelled("/point", body);

    QVERIFY(result);
    QCOMPARE(result->status, 400);
    const QJsonObject answer = answerOf(result->body);
    QCOMPARE(answer.value("ok").toBool(true), false);
    QVERIFY2(answer.value("error").toString().startsWith(reason), result->body.c_str());
    QVERIFY(receiver.storedFiles().isEmpty());
}

void ReceiverHttpTest::takesTheSyncClientsPostAsItIsSent_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("small, awkward characters") << samples::pointBodyWithAwkwardText();
    QTest::newRow("over 8 KB") << samples::largePointBody(64 * 1024);
}

// Posted exactly as the sync client posts: no content type of its own, so the
// toolkit labels the body as form data.
void ReceiverHttpTest::takesTheSyncClientsPostAsItIsSent()
{
    QFETCH(QByteArray, body);
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());
    QNetworkAccessManager manager;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/point").arg(receiver.port()));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("(?i)content-type")));
    QNetworkReply *reply = manager.post(QNetworkRequest(url), body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(60000));

    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(answerOf(reply->readAll().toStdString()).value("ok").toBool(), true);
    reply->deleteLater();
    const QStringList stored = receiver.storedFiles();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(receiver.storedBody(stored.first()), body);
}

void ReceiverHttpTest::acceptsATenMegabyteBody()
{
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());
    const QByteArray body = samples::largePointBody(10 * 1024 * 1024);

    const httplib::Result result = receiver.postFormLabelled("/point", body);

    QVERIFY(result);
    QCOMPARE(result->status, 200);
    QCOMPARE(answerOf(result->body).value("count").toInt(-1), samples::recordsInLargePointBody(body));
    const QStringList stored = receiver.storedFiles();
    QCOMPARE(stored.size(), 1);
    QVERIFY(receiver.storedBody(stored.first()) == body);
}

void ReceiverHttpTest::acceptsABodyWithoutContentType()
{
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());
    const QByteArray body = samples::lineBody();

    const httplib::Result result = receiver.client().Post("/line", body.constData(), std::size_t(body.size()), "");

    QVERIFY(result);
    QCOMPARE(result->status, 200);
    QCOMPARE(receiver.storedFiles().size(), 1);
}

void ReceiverHttpTest::answersAnUnknownPathWith404()
{
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());

    for (const std::string path : {"/points", "/", "/point/extra", "/eval"}) {
        const httplib::Result result = receiver.postFormLabelled(path, "key=[]");
        QVERIFY(result);
        QCOMPARE(result->status, 404);
        const QJsonObject answer = answerOf(result->body);
        QCOMPARE(answer.value("ok").toBool(true), false);
        QVERIFY(answer.value("error").toString().contains(QStringLiteral("/planstatus")));
    }
    QVERIFY(receiver.storedFiles().isEmpty());
}

void ReceiverHttpTest::answersOtherMethodsWith405()
{
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());
    httplib::Client client = receiver.client();

    const httplib::Result get = client.Get("/point");
    QVERIFY(get);
    QCOMPARE(get->status, 405);
    QCOMPARE(QString::fromStdString(get->get_header_value("Allow")), QStringLiteral("POST"));
    QCOMPARE(answerOf(get->body).value("ok").toBool(true), false);

    const httplib::Result put = client.Put("/plan", "key=[]", "application/x-www-form-urlencoded");
    QVERIFY(put);
    QCOMPARE(put->status, 405);
    QVERIFY(receiver.storedFiles().isEmpty());
}

void ReceiverHttpTest::refusesMultipartAndKeepsTheConnectionUsable()
{
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());
    httplib::Client client = receiver.client();
    client.set_keep_alive(true);

    const httplib::Result multipart = client.Post("/point", httplib::MultipartFormDataItems{{"key", "[]", "", ""}});
    QVERIFY(multipart);
    QCOMPARE(multipart->status, 400);
    QVERIFY(answerOf(multipart->body).value("error").toString().contains(QStringLiteral("multipart")));

    const httplib::Result plain = client.Post("/point", "key=[]", "application/x-www-form-urlencoded");
    QVERIFY(plain);
    QCOMPARE(plain->status, 200);
    QCOMPARE(receiver.storedFiles().size(), 1);
}

void ReceiverHttpTest::refusesABodyOverTheLimitWith413()
{
    RunningReceiver receiver(1024);
    QVERIFY(receiver.isRunning());

    const httplib::Result result = receiver.postFormLabelled("/point", samples::largePointBody(4096));

    QVERIFY(result);
    QCOMPARE(result->status, 413);
    QVERIFY(answerOf(result->body).value("error").toString().contains(QStringLiteral("1024")));
    QVERIFY(receiver.storedFiles().isEmpty());
}

void ReceiverHttpTest::reportsABodyItCouldNotStoreWith500()
{
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());
    QVERIFY(QDir(receiver.storeDirectory()).removeRecursively());

    const httplib::Result result = receiver.postFormLabelled("/point", samples::pointBody());

    QVERIFY(result);
    QCOMPARE(result->status, 500);
    const QJsonObject answer = answerOf(result->body);
    QCOMPARE(answer.value("ok").toBool(true), false);
    QVERIFY(answer.value("error").toString().startsWith(QStringLiteral("body not stored")));
}

void ReceiverHttpTest::keepsConcurrentBodiesApart()
{
    RunningReceiver receiver;
    QVERIFY(receiver.isRunning());
    const int senders = 6;
    std::vector<int> statuses(senders, 0);

    std::vector<std::thread> threads;
    for (int i = 0; i < senders; ++i) {
        threads.emplace_back([&receiver, &statuses, i] {
            const QByteArray body = "key=[{\"lId\":\"" + QByteArray::number(i)
                + R"(","lName":"R","lNextPlaceTime":"","lOrder":"1","lStayTime":"","placeId":"1"}])";
            const httplib::Result result = receiver.postFormLabelled("/line", body);
            statuses[std::size_t(i)] = result ? result->status : -1;
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    QCOMPARE(statuses, std::vector<int>(senders, 200));
    QSet<QByteArray> bodies;
    for (const QString &file : receiver.storedFiles())
        bodies.insert(receiver.storedBody(file));
    QCOMPARE(bodies.size(), senders);
}

QTEST_GUILESS_MAIN(ReceiverHttpTest)
#include "tst_http.moc"
