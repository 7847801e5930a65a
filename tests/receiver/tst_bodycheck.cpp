#include "bodycheck.h"
#include "recordkinds.h"
#include "samplebodies.h"

// Which bodies pass and, for those that do not, the reason given. Seen over the
// wire in tst_http.

#include <QtTest>

class BodyCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void acceptsWellFormedBodies_data();
    void acceptsWellFormedBodies();
    void refusesMalformedBodies_data();
    void refusesMalformedBodies();
    void keepsEachKindToItsOwnKeys();
};

namespace {

BodyVerdict check(const QString &kindName, const QByteArray &body)
{
    const RecordKind *kind = recordKindNamed(kindName);
    if (!kind)
        qFatal("no record kind named %s", qPrintable(kindName));
    return checkBody(*kind, body);
}

const QByteArray kGoodPoint =
    R"({"pId":"1","ptCard":"A1","ptName":"Gate","ptNum":"1","ptType":"0"})";

} // namespace

void BodyCheckTest::acceptsWellFormedBodies_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("count");

    QTest::newRow("checkpoints") << "point" << samples::pointBody() << 2;
    QTest::newRow("route stops") << "line" << samples::lineBody() << 1;
    QTest::newRow("plans") << "plan" << samples::planBody() << 1;
    QTest::newRow("plan status") << "planstatus" << samples::planStatusBody() << 1;
    QTest::newRow("no checkpoints") << "point" << QByteArray("key=[]") << 0;
    QTest::newRow("& % + = and Chinese inside values")
        << "point" << samples::pointBodyWithAwkwardText() << 1;
    QTest::newRow("keys in another order")
        << "point" << QByteArray(R"(key=[{"ptType":"0","ptNum":"1","ptName":"Gate","ptCard":"A1","pId":"1"}])")
        << 1;
    QTest::newRow("empty strings everywhere")
        << "point" << QByteArray(R"(key=[{"pId":"","ptCard":"","ptName":"","ptNum":"","ptType":""}])") << 1;
    QTest::newRow("whitespace inside the JSON")
        << "point" << QByteArray("key=[ \n") + kGoodPoint + QByteArray(" ]\n") << 1;
}

void BodyCheckTest::acceptsWellFormedBodies()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, body);
    QFETCH(int, count);

    const BodyVerdict verdict = check(kind, body);
    QVERIFY2(verdict.accepted, qPrintable(verdict.reason));
    QCOMPARE(verdict.recordCount, count);
}

void BodyCheckTest::refusesMalformedBodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty body") << QByteArray() << R"(body does not start with "key=")";
    QTest::newRow("bare JSON") << QByteArray("[") + kGoodPoint + "]" << R"(body does not start with "key=")";
    QTest::newRow("other field name") << QByteArray("data=[]") << R"(body does not start with "key=")";
    QTest::newRow("upper-case field name") << QByteArray("KEY=[]") << R"(body does not start with "key=")";
    QTest::newRow("nothing after key=") << QByteArray("key=") << R"(text after "key=" is not valid JSON)";
    QTest::newRow("cut-off JSON") << QByteArray("key=[") + kGoodPoint.left(20)
                                  << R"(text after "key=" is not valid JSON)";
    QTest::newRow("percent-encoded JSON") << QByteArray("key=%5B%5D") << R"(text after "key=" is not valid JSON)";
    QTest::newRow("a second form field") << QByteArray("key=[]&key=[]") << R"(text after "key=" is not valid JSON)";
    QTest::newRow("an object, not an array") << QByteArray("key=") + kGoodPoint
                                             << R"(JSON after "key=" is not an array)";
    QTest::newRow("element is an array") << QByteArray(R"(key=[["1","A1"]])")
                                         << "record 0: is an array, not an object";
    QTest::newRow("second element is a string") << QByteArray("key=[") + kGoodPoint + R"(,"Gate"])"
                                                << "record 1: is a string, not an object";
    QTest::newRow("number value")
        << QByteArray(R"(key=[{"pId":"1","ptCard":"A1","ptName":"Gate","ptNum":12,"ptType":"0"}])")
        << R"(record 0: value of "ptNum" is a number, not a string)";
    QTest::newRow("null value")
        << QByteArray(R"(key=[{"pId":"1","ptCard":null,"ptName":"Gate","ptNum":"1","ptType":"0"}])")
        << R"(record 0: value of "ptCard" is null, not a string)";
    QTest::newRow("missing key")
        << QByteArray("key=[") + kGoodPoint + R"(,{"pId":"2","ptCard":"A2","ptName":"Yard","ptNum":"2"}])"
        << R"(record 1: missing key "ptType")";
    QTest::newRow("unknown key")
        << QByteArray(R"(key=[{"pId":"1","ptCard":"A1","ptColor":"red","ptName":"Gate","ptNum":"1","ptType":"0"}])")
        << R"(record 0: unknown key "ptColor")";
    QTest::newRow("key spelt in another case")
        << QByteArray(R"(key=[{"pID":"1","ptCard":"A1","ptName":"Gate","ptNum":"1","ptType":"0"}])")
        << R"(record 0: missing key "pId")";
}

void BodyCheckTest::refusesMalformedBodies()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);

    const BodyVerdict verdict = check(QStringLiteral("point"), body);
    QVERIFY(!verdict.accepted);
    QVERIFY2(verdict.reason.startsWith(reason), qPrintable(verdict.reason));
}

void BodyCheckTest::keepsEachKindToItsOwnKeys()
{
    QVERIFY(!check(QStringLiteral("point"), samples::lineBody()).accepted);
    QVERIFY(!check(QStringLiteral("line"), samples::planBody()).accepted);
    QVERIFY(!check(QStringLiteral("plan"), samples::planStatusBody()).accepted);
    QVERIFY(!check(QStringLiteral("planstatus"), samples::pointBody()).accepted);
}

QTEST_GUILESS_MAIN(BodyCheckTest)
#include "tst_bodycheck.moc"
