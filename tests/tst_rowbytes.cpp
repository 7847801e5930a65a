// The bytes written for each row straight from its values against the toolkit's way of
// writing them, over generated values: the JSON object against QJsonDocument, the log line
// against the filled template turned into UTF-8, a value's text against QVariant::toString.
#include "store/recordkind.h"
#include "app/jsonrows.h"
#include "app/valuetext.h"
#include "logging/logline.h"
#include "support/generatedtext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray viaQJsonDocument(const QStringList &keys, const QList<QStringList> &rows)
{
    QJsonArray array;
    for (const QStringList &values : rows) {
        QJsonObject object;
        for (int i = 0; i < keys.size(); ++i)
            object.insert(keys.at(i), values.at(i));
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QByteArray viaRowWriter(const QStringList &keys, const QList<QStringList> &rows)
{
    const JsonRowWriter writer(keys);
    QByteArray out("[");
    for (const QStringList &values : rows) {
        if (out.size() > 1)
            out.append(',');
        writer.append(&out, values);
    }
    return out.append(']');
}

} // namespace

class TestRowBytes : public QObject
{
    Q_OBJECT
private slots:
    void sameBytesAsQJsonDocument_data();
    void sameBytesAsQJsonDocument();
    void rowLineSameAsFilledTemplate_data();
    void rowLineSameAsFilledTemplate();
    void valueTextSameAsToString_data();
    void valueTextSameAsToString();
};

void TestRowBytes::sameBytesAsQJsonDocument_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("strings");
    const QStringList pointKeys = RecordKind::checkpoints().keys;
    QTest::newRow("every unit alone") << RecordKind::plans().keys << everyUnitAlone();
    QTest::newRow("surrogates and empty") << pointKeys << surrogateCases();
    QRandomGenerator random(20210606);
    QStringList randomStrings;
    for (int i = 0; i < 20000; ++i)
        randomStrings << randomString(random);
    QTest::newRow("seeded random, checkpoints") << pointKeys << randomStrings;
    QTest::newRow("unsorted non-ASCII keys") << QStringList{"z", "é", "A", "a\"b", "ä"} << QStringList(randomStrings.mid(3, 500));
    QTest::newRow("repeated key") << QStringList{"k", "j", "k"} << QStringList{"1", "2", "3", "x", "", "y"};
    QTest::newRow("no rows") << QStringList{"a"} << QStringList();
}

void TestRowBytes::sameBytesAsQJsonDocument()
{
    QFETCH(QStringList, keys);
    QFETCH(QStringList, strings);
    const QList<QStringList> rows = rowsOf(strings, keys.size());
    QCOMPARE(viaRowWriter(keys, rows), viaQJsonDocument(keys, rows));
}

void TestRowBytes::rowLineSameAsFilledTemplate_data()
{
    QTest::addColumn<QString>("templ");
    QTest::addColumn<QStringList>("strings");
    QRandomGenerator random(20210607);
    QStringList randomStrings = surrogateCases();
    for (int i = 0; i < 5000; ++i)
        randomStrings << randomString(random);
    randomStrings << QStringLiteral("%1") << QStringLiteral("%10%2") << QStringLiteral("50%");
    for (const RecordKind *kind :
         {&RecordKind::checkpoints(), &RecordKind::routeStops(), &RecordKind::plans()})
        QTest::newRow(qPrintable(kind->operation)) << kind->rowLine << randomStrings;
    QTest::newRow("values side by side") << QStringLiteral("%1%2%3") << randomStrings;
    QTest::newRow("half a pair in the text") << units({'a', 0xd83d, '%', '1', 0xde00, '%', '2'}) << randomStrings;
    QTest::newRow("placeholders beyond the values") << QStringLiteral("%4%1%0%%12") << randomStrings;
}

void TestRowBytes::rowLineSameAsFilledTemplate()
{
    QFETCH(QString, templ);
    QFETCH(QStringList, strings);
    const int valueCount = qMax(3, templ.count(QLatin1Char('%')));
    const LineTemplate line(templ, valueCount);
    for (const QStringList &values : rowsOf(strings, valueCount))
        QCOMPARE(line.fillUtf8(values), fillPlaceholders(templ, values).toUtf8());
}

void TestRowBytes::valueTextSameAsToString_data()
{
    // A zone with summer time, so that local times in its gaps and overlaps come up.
    qputenv("TZ", "Europe/Berlin");
    QTest::addColumn<QVariantList>("values");
    QRandomGenerator random(20210608);
    QVariantList local;
    QVariantList otherZones;
    const int firstDay = int(QDate(-100, 1, 1).toJulianDay());
    const int lastDay = int(QDate(10100, 1, 1).toJulianDay());
    for (int i = 0; i < 20000; ++i) {
        const QDate date = QDate::fromJulianDay(random.bounded(firstDay, lastDay));
        const QTime time = QTime::fromMSecsSinceStartOfDay(random.bounded(86400000));
        local << QDateTime(date, time);
        otherZones << QDateTime(date, time, Qt::UTC) << QDateTime(date, time, Qt::OffsetFromUTC, 3600);
    }
    QTest::newRow("local date-times, years -100 to 10100") << local;
    QTest::newRow("UTC and offsets") << otherZones;
    // The database's date-times come carried in UTC: the text of each is the one its local
    // twin had, on a day without a gap.
    QVariantList carried;
    for (int i = 0; i < 20000; ++i) {
        const QDate date = QDate::fromJulianDay(random.bounded(firstDay, lastDay));
        const QTime time = QTime::fromMSecsSinceStartOfDay(random.bounded(86400000));
        const QDateTime local(date, time);
        if (local.isValid())
            QCOMPARE(valueText(QDateTime(date, time, Qt::UTC)), local.toString(Qt::ISODateWithMs));
        carried << QDateTime(date, time, Qt::UTC);
    }
    QTest::newRow("carried in UTC") << carried;
    QTest::newRow("summer-time gap and overlap, edges")
        << QVariantList{QDateTime(QDate(2021, 3, 28), QTime(2, 30)), QDateTime(QDate(2021, 10, 31), QTime(2, 30)),
                        QDateTime(QDate(1899, 12, 30), QTime(8, 0)), QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)),
                        QDateTime(QDate(1, 1, 1), QTime(0, 0)), QDateTime(QDate(0, 1, 1), QTime(0, 0)),
                        QDateTime(), QDateTime(QDate(2021, 2, 30), QTime(1, 0)), QDateTime(QDate(2021, 1, 1), QTime(25, 0))};
    QTest::newRow("other types")
        << QVariantList{QVariant(), QVariant(QVariant::DateTime), QVariant(QVariant::String), 0, -7, 2147483647,
                        qint64(-9007199254740993LL), 0.1, -0.0, 1e300, 5e-324, true, QDate(2021, 6, 6), QTime(8, 0, 0, 5),
                        QStringLiteral("text"), QByteArray("bytes")};
}

namespace {
// A valid local date-time as the toolkit writes it, as before; any other valid date-time, as
// the toolkit writes its fields in UTC, without the zone.
QString expectedText(const QVariant &value)
{
    if (value.userType() != QMetaType::QDateTime)
        return value.toString();
    const QDateTime moment = value.toDateTime();
    if (!moment.isValid() || moment.timeSpec() == Qt::LocalTime)
        return value.toString();
    QString text = QDateTime(moment.date(), moment.time(), Qt::UTC).toString(Qt::ISODateWithMs);
    if (text.endsWith(QLatin1Char('Z')))
        text.chop(1);
    return text;
}
}

void TestRowBytes::valueTextSameAsToString()
{
    QFETCH(QVariantList, values);
    for (const QVariant &value : values)
        QCOMPARE(valueText(value), expectedText(value));
}

QTEST_GUILESS_MAIN(TestRowBytes)
#include "tst_rowbytes.moc"
