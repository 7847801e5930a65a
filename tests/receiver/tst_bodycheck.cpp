#include "bodycheck.h"
#include "recordkinds.h"
#include "samplebodies.h"

// Which bodies pass and, for those that do not, the reason given. Seen over the
// wire in tst_http.

#include <QtTest>

namespace {

const QByteArray kGoodPoint =
    R"({"pId":"1","ptCard":"A1","ptName":"Gate","ptNum":"1","ptType":"0"})";

} // namespace

class BodyCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data();
    void verdict();
};

// An empty reason: the body passes with `count` records.
void BodyCheckTest::verdict_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("reason");
    const auto refused = [](const char *name, const QByteArray &body, const QString &reason) {
        QTest::newRow(name) << "point" << body << 0 << reason;
    };

    QTest::newRow("checkpoints") << "point" << samples::pointBody() << 2 << QString();
    QTest::newRow("route stops") << "line" << samples::lineBody() << 1 << QString();
    QTest::newRow("plans") << "plan" << samples::planBody() << 1 << QString();
    QTest::newRow("plan status") << "planstatus" << samples::planStatusBody() << 1 << QString();
    QTest::newRow("no checkpoints") << "point" << QByteArray("key=[]") << 0 << QString();
    QTest::newRow("& % + = and Chinese inside values")
        << "point" << samples::pointBodyWithAwkwardText() << 1 << QString();
    QTest::newRow("keys in another order")
        << "point" << QByteArray(R"(key=[{"ptType":"0","ptNum":"1","ptName":"Gate","ptCard":"A1","pId":"1"}])")
        << 1 << QString();
    QTest::newRow("empty strings everywhere")
        << "point" << QByteArray(R"(key=[{"pId":"","ptCard":"","ptName":"","ptNum":"","ptType":""}])") << 1
        << QString();
    QTest::newRow("whitespace inside the JSON")
        << "point" << QByteArray("key=[ \n") + kGoodPoint + QByteArray(" ]\n") << 1 << QString();
    QTest::newRow("route stops as plans") << "plan" << samples::lineBody() << 0 << R"(record 0: missing key)";

    refused("empty body", QByteArray(), R"(body does not start with "key=")");
    refused("upper-case field name", "KEY=[]", R"(body does not start with "key=")");
    refused("cut-off JSON", QByteArray("key=[") + kGoodPoint.left(20), R"(text after "key=" is not valid JSON)");
    refused("percent-encoded JSON", "key=%5B%5D", R"(text after "key=" is not valid JSON)");
    refused("a second form field", "key=[]&key=[]", R"(text after "key=" is not valid JSON)");
    refused("an object, not an array", QByteArray("key=") + kGoodPoint, R"(JSON after "key=" is not an array)");
    refused("element is an array", R"(key=[["1","A1"]])", "record 0: is an array, not an object");
    refused("second element is a string", QByteArray("key=[") + kGoodPoint + R"(,"Gate"])",
            "record 1: is a string, not an object");
    refused("number value", R"(key=[{"pId":"1","ptCard":"A1","ptName":"Gate","ptNum":12,"ptType":"0"}])",
            R"(record 0: value of "ptNum" is a number, not a string)");
    refused("null value", R"(key=[{"pId":"1","ptCard":null,"ptName":"Gate","ptNum":"1","ptType":"0"}])",
            R"(record 0: value of "ptCard" is null, not a string)");
    refused("missing key", QByteArray("key=[") + kGoodPoint + R"(,{"pId":"2","ptCard":"A2","ptName":"Yard","ptNum":"2"}])",
            R"(record 1: missing key "ptType")");
    refused("unknown key", R"(key=[{"pId":"1","ptCard":"A1","ptColor":"red","ptName":"Gate","ptNum":"1","ptType":"0"}])",
            R"(record 0: unknown key "ptColor")");
    refused("key spelt in another case", R"(key=[{"pID":"1","ptCard":"A1","ptName":"Gate","ptNum":"1","ptType":"0"}])",
            R"(record 0: missing key "pId")");
}

void BodyCheckTest::verdict()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, body);
    QFETCH(int, count);
    QFETCH(QString, reason);
    const RecordKind *recordKind = recordKindNamed(kind);
    QVERIFY(recordKind);
    const BodyVerdict verdict = checkBody(*recordKind, body);
    QVERIFY2(verdict.accepted == reason.isEmpty(), qPrintable(verdict.reason));
    QVERIFY2(verdict.reason.startsWith(reason), qPrintable(verdict.reason));
    if (verdict.accepted)
        QCOMPARE(verdict.recordCount, count);
}

QTEST_GUILESS_MAIN(BodyCheckTest)
#include "tst_bodycheck.moc"
