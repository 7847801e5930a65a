// The receiver over the wire. Which bodies pass and why the others fail is
// tst_bodycheck's; here each kind of refusal is seen once, as HTTP.

#include "receiverfixture.h"
#include "samplebodies.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtTest>

namespace {

const std::string kForm = "application/x-www-form-urlencoded";

} // namespace

class ReceiverHttpTest : public QObject
{
    Q_OBJECT

private slots:
    void storesAnAcceptedBodyByteForByte_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("contentType");
        const QByteArray form(kForm.c_str());
        QTest::newRow("checkpoints") << "point" << samples::pointBody() << 2 << form;
        QTest::newRow("route stops") << "line" << samples::lineBody() << 1 << form;
        QTest::newRow("plans") << "plan" << samples::planBody() << 1 << form;
        QTest::newRow("plan status") << "planstatus" << samples::planStatusBody() << 1 << form;
        QTest::newRow("no content type") << "line" << samples::lineBody() << 1 << QByteArray();
        const QByteArray tenMegabytes = samples::largePointBody(10 * 1024 * 1024);
        QTest::newRow("ten megabytes") << "point" << tenMegabytes << int(tenMegabytes.count("\"pId\""))
                                       << form;
    }

    void storesAnAcceptedBodyByteForByte()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, body);
        QFETCH(int, count);
        QFETCH(QByteArray, contentType);
        RunningReceiver receiver;
        QVERIFY(receiver.isRunning());

        const httplib::Result result = receiver.client().Post('/' + kind.toStdString(), body.constData(),
                                                              std::size_t(body.size()), contentType.constData());

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
        QVERIFY(receiver.storedBody(stored.first()) == body);
    }

    // Posted exactly as the sync client posts: no content type of its own, so the
    // toolkit labels the body as form data.
    void takesTheSyncClientsPostAsItIsSent_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("small, awkward characters") << samples::pointBodyWithAwkwardText();
        QTest::newRow("over 8 KB") << samples::largePointBody(64 * 1024);
    }

    void takesTheSyncClientsPostAsItIsSent()
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

    // Nothing is stored, the answer says why, and the connection still takes a good body.
    void refusesWhatItCannotTake_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("malformed body") << "POST" << "/point" << QByteArray("key=[{") << 400
                                        << R"(text after "key=" is not valid JSON)";
        QTest::newRow("multipart") << "POST" << "/point"
                                   << QByteArray("--b\r\nContent-Disposition: form-data; name=\"key\"\r\n\r\n[]\r\n--b--\r\n")
                                   << 400 << "multipart";
        for (const char *path : {"/points", "/point/extra"})
            QTest::addRow("unknown path %s", path) << "POST" << path << QByteArray("key=[]") << 404 << "/planstatus";
        QTest::newRow("GET") << "GET" << "/point" << QByteArray() << 405 << "POST";
        QTest::newRow("PUT") << "PUT" << "/plan" << QByteArray("key=[]") << 405 << "POST";
        QTest::newRow("over the limit") << "POST" << "/point" << samples::largePointBody(4096) << 413 << "1024";
    }

    void refusesWhatItCannotTake()
    {
        QFETCH(QString, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, error);
        RunningReceiver receiver(1024);
        QVERIFY(receiver.isRunning());
        httplib::Client client = receiver.client();
        client.set_keep_alive(true);

        httplib::Request request;
        request.method = method.toStdString();
        request.path = path.toStdString();
        request.body = body.toStdString();
        if (!body.isEmpty())
            request.set_header("Content-Type", body.startsWith("--") ? "multipart/form-data; boundary=b" : kForm);
        const httplib::Result result = client.send(request);

        QVERIFY(result);
        QCOMPARE(result->status, status);
        const QJsonObject answer = answerOf(result->body);
        QCOMPARE(answer.value("ok").toBool(true), false);
        QVERIFY2(answer.value("error").toString().contains(error), result->body.c_str());
        if (status == 405)
            QCOMPARE(QString::fromStdString(result->get_header_value("Allow")), QStringLiteral("POST"));
        QVERIFY(receiver.storedFiles().isEmpty());
        const httplib::Result next = client.Post("/point", "key=[]", kForm.c_str());
        QVERIFY(next);
        QCOMPARE(next->status, 200);
    }

    void reportsABodyItCouldNotStoreWith500()
    {
        RunningReceiver receiver;
        QVERIFY(receiver.isRunning());
        QVERIFY(QDir(receiver.storeDirectory()).removeRecursively());

        const QByteArray body = samples::pointBody();
        const httplib::Result result = receiver.client().Post("/point", body.constData(), std::size_t(body.size()), kForm.c_str());

        QVERIFY(result);
        QCOMPARE(result->status, 500);
        const QJsonObject answer = answerOf(result->body);
        QCOMPARE(answer.value("ok").toBool(true), false);
        QVERIFY(answer.value("error").toString().startsWith(QStringLiteral("body not stored")));
    }
};

QTEST_GUILESS_MAIN(ReceiverHttpTest)
#include "tst_http.moc"
