// Jet's on-disk forms read without libmdb: the file signature, the masked password in the
// header page, text in both encodings, the fixed-size values, and the property blocks
// that libmdb may be given.

#include "values/datetime.h"
#include "odbcfixture.h"
#include "storage/jet/jet_header.h"
#include "storage/jet/jet_properties.h"
#include "storage/jet/jet_text.h"
#include "storage/jet/jet_values.h"
#include "values/numbers.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace accessodbc;

namespace {

std::vector<unsigned char> blankHeaderPage(jet::Kind kind, const char *signature = "Standard Jet DB")
{
    std::vector<unsigned char> page(jet::pageSize(kind == jet::Kind::Jet3 ? jet::Kind::Jet3 : jet::Kind::Jet4), 0);
    page[1] = 1;
    std::memcpy(page.data() + 4, signature, std::strlen(signature));
    page[0x14] = kind == jet::Kind::Jet3 ? 0 : 1;
    return page;
}

QByteArray le16(int value) { return QByteArray(1, char(value & 0xFF)) + char(value >> 8 & 0xFF); }
QByteArray le32(int value) { return le16(value & 0xFFFF) + le16(value >> 16); }

QByteArray record(int type, const QByteArray &body) { return le32(6 + body.size()) + le16(type) + body; }

QByteArray namesRecord(const QList<QByteArray> &names)
{
    QByteArray body;
    for (const QByteArray &name : names)
        body += le16(name.size()) + name;
    return record(0x80, body);
}

// A property value: its length, a flag, its type, the number of its name, its size, its bytes.
QByteArray value(int type, int name, const QByteArray &bytes, int length = -1)
{
    return le16(length < 0 ? 8 + bytes.size() : length) + char(0) + char(type) + le16(name) + le16(bytes.size())
         + bytes;
}

QByteArray valuesRecord(const QByteArray &values, const QByteArray &blockName = QByteArray())
{
    return record(0, le32(0) + le16(blockName.size()) + blockName + values);
}

// The count of ten-thousandths a Currency text stands for, read digit by digit; false when
// the text is not in the form the driver gives (no trailing zeros after the point, no
// point without digits after it, no leading zeros).
bool tenThousandthsOf(const QString &text, qint64 *out)
{
    static const QRegularExpression form(QStringLiteral("^(-?)(0|[1-9][0-9]*)(?:\\.([0-9]{0,3}[1-9]))?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return false;
    quint64 magnitude = 0;
    const QString digits = match.captured(2) + match.captured(3).leftJustified(4, QLatin1Char('0'));
    for (const QChar digit : digits)
        magnitude = magnitude * 10 + quint64(digit.digitValue());
    *out = match.captured(1).isEmpty() ? qint64(magnitude) : qint64(quint64(0) - magnitude);
    return true;
}

} // namespace

class TestJetFormat : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString problem = odbcfixture::localeNotInEffect();
        if (!problem.isEmpty())
            QFAIL(qPrintable(problem));
    }

    void signatureTellsJetVersionsAndOtherFiles()
    {
        const auto jet3 = blankHeaderPage(jet::Kind::Jet3);
        const auto jet4 = blankHeaderPage(jet::Kind::Jet4);
        const auto ace = blankHeaderPage(jet::Kind::Jet4, "Standard ACE DB");
        QCOMPARE(jet::recognise(jet3.data(), jet3.size()), jet::Kind::Jet3);
        QCOMPARE(jet::recognise(jet4.data(), jet4.size()), jet::Kind::Jet4);
        QCOMPARE(jet::recognise(ace.data(), ace.size()), jet::Kind::Ace);
        // ACE writes its own signature: a Jet one with a version byte past Jet 4 is damaged.
        auto later = blankHeaderPage(jet::Kind::Jet4);
        later[0x14] = 2;
        QCOMPARE(jet::recognise(later.data(), later.size()), jet::Kind::UnknownJetVersion);
        const unsigned char sqlite[] = "SQLite format 3\0\x10\0\x01\x01\0\0";
        QCOMPARE(jet::recognise(sqlite, sizeof sqlite), jet::Kind::NotJet);
        QCOMPARE(jet::recognise(jet4.data(), 0x14), jet::Kind::NotJet);
        jet::Header header;
        QVERIFY(!jet::readHeader(jet4.data(), 2048, jet::Kind::Jet4, &header));
    }

    void passwordsThatCannotBeStoredOrAreAbsent()
    {
        auto page = blankHeaderPage(jet::Kind::Jet4);
        QVERIFY(!jet::writePassword(page.data(), page.size(), jet::Kind::Jet4, std::string(21, 'x')));
        auto jet3 = blankHeaderPage(jet::Kind::Jet3);
        QVERIFY(!jet::writePassword(jet3.data(), jet3.size(), jet::Kind::Jet3, "Größe"));
        jet::Header header;
        QVERIFY(jet::passwordMatches(header, "anything"));
    }

    // codePage -1: Jet 4 text, UTF-16 with runs compressed to one byte. The text is compared
    // as UTF-8 bytes: QString::fromUtf8 would drop a leading U+FEFF.
    void textDecodes_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("Jet 4 uncompressed") << -1 << QByteArray("A\0\xFC\0\x17\x53", 6) << QByteArray("Aü北");
        // "ab", then uncompressed "北", then compressed "ä" again.
        QTest::newRow("Jet 4 compressed runs") << -1 << QByteArray("\xFF\xFE" "ab\0\x17\x53\0\xE4", 9)
                                               << QByteArray("ab北ä");
        QTest::newRow("Jet 4 compressed, leading U+FEFF") << -1 << QByteArray("\xFF\xFE\0\xFF\xFE\0a", 7)
                                                          << QByteArray("\xEF\xBB\xBF" "a");
        QTest::newRow("Jet 4 uncompressed, leading U+FFFE") << -1 << QByteArray("\xFE\xFF" "a\0", 4)
                                                            << QByteArray("\xEF\xBF\xBE" "a");
        QTest::newRow("Jet 4 surrogate pair") << -1 << QByteArray("\x34\xD8\x1E\xDD") << QByteArray("𝄞");
        QTest::newRow("Jet 4 stray surrogate") << -1 << QByteArray("\x34\xD8x\0", 4) << QByteArray("\xEF\xBF\xBDx");
        QTest::newRow("Jet 4 odd trailing byte") << -1 << QByteArray("o\0k\0x", 5) << QByteArray("ok");
        QTest::newRow("Windows-1252") << 1252 << QByteArray("Ums\xE4tze\x80") << QByteArray("Umsätze€");
        QTest::newRow("Windows-1251") << 1251 << QByteArray("\xCF\xF0\xE8") << QByteArray("При");
        QTest::newRow("none recorded: 1252") << 0 << QByteArray("Ums\xE4tze\x80") << QByteArray("Umsätze€");
        QTest::newRow("undefined in 1252") << 1252 << QByteArray("a\x81" "b") << QByteArray("a\xEF\xBF\xBD" "b");
    }

    void textDecodes()
    {
        QFETCH(int, codePage);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, text);
        const auto *raw = reinterpret_cast<const unsigned char *>(bytes.constData());
        const std::string decoded = codePage < 0 ? jet::decodeJet4Text(raw, size_t(bytes.size()))
                                                 : jet::CodePageDecoder(codePage).decode(raw, size_t(bytes.size()));
        QCOMPARE(QByteArray::fromStdString(decoded), text);
    }

    void decimalTextNeedsAWholeNumber()
    {
        double value = 0;
        QVERIFY(parseDecimal("-12.3400", &value));
        QCOMPARE(value, -12.34);
        QVERIFY(!parseDecimal("12,5", &value));
        QVERIFY(!parseDecimal("", &value));
        QVERIFY(!parseDecimal(nullptr, &value));
    }

    void replicationIdReadsAsAccessShowsIt()
    {
        const unsigned char bytes[16] = {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE,
                                         0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
        QCOMPARE(jet::guidText(bytes), std::string("{12345678-9ABC-DEF0-0123-456789ABCDEF}"));
    }

    void dateSerialsReadWithinAccessRange_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<QString>("text");
        QTest::newRow("day zero") << 0.0 << "1899-12-30 00:00:00";
        QTest::newRow("after") << 44532.75 << "2021-12-02 18:00:00";
        QTest::newRow("before, with time") << -1.25 << "1899-12-29 06:00:00";
        QTest::newRow("before, rounding up to a day") << -1.9999999999 << "1899-12-28 00:00:00";
        QTest::newRow("first day of the range") << -657434.5 << "0100-01-01 12:00:00";
        QTest::newRow("before the range") << -657435.0 << "<refused>";
        QTest::newRow("after the range") << 2958466.0 << "<refused>";
    }

    // The date text against printf's over generated values: usual dates, the edges of each
    // field, negative and five-digit years, fields out of range.
    void dateTextSameAsPrintf()
    {
        QRandomGenerator random(20210610);
        const int edges[] = {-100000, -10000, -9999, -100, -1, 0, 1, 9, 10, 59, 60, 99, 100, 999, 1000, 1899,
                             9999, 10000, 12345, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
        const int edgeCount = int(sizeof edges / sizeof *edges);
        const auto field = [&](int usualLimit) {
            return random.bounded(4) == 0 ? edges[random.bounded(edgeCount)] : random.bounded(usualLimit);
        };
        for (int i = 0; i < 200000; ++i) {
            DateTime value;
            value.year = field(10000);
            value.month = field(13);
            value.day = field(32);
            value.hour = field(24);
            value.minute = field(60);
            value.second = field(60);
            char expected[32];
            std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", value.year % 10000,
                          value.month, value.day, value.hour, value.minute, value.second);
            QCOMPARE(formatDateTime(value), std::string(expected));
        }
    }

    void dateSerialsReadWithinAccessRange()
    {
        QFETCH(double, serial);
        QFETCH(QString, text);
        DateTime value;
        const bool read = dateTimeFromSerial(serial, &value);
        QCOMPARE(read ? QString::fromStdString(formatDateTime(value)) : QStringLiteral("<refused>"), text);
    }

    void propertyBlocksAreWalkedBeforeLibmdbParsesThem_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("walkable");
        const QByteArray names = namesRecord({"Required", "Format"});
        const QByteArray required = value(1, 0, QByteArray(1, '\1'));
        const QByteArray format = value(10, 1, "dd.mm.yyyy");
        QTest::newRow("names and values") << "MR2" + QByteArray(1, 0) + names + valuesRecord(required + format, "Id")
                                          << true;
        QTest::newRow("Jet 3 signature") << "KKD" + QByteArray(1, 0) + names + valuesRecord(format) << true;
        QTest::newRow("values before any names are skipped")
            << "MR2" + QByteArray(1, 0) + valuesRecord(QByteArray(3, 'x')) << true;
        QTest::newRow("a value naming no name ends the record")
            << "MR2" + QByteArray(1, 0) + names + valuesRecord(value(10, 9, "x") + QByteArray(3, 'x')) << true;
        QTest::newRow("another signature") << "XYZ" + QByteArray(1, 0) + names << false;
        QTest::newRow("record of length 0") << "MR2" + QByteArray(1, 0) + le32(0) + le16(0x80) << false;
        QTest::newRow("record past the end") << "MR2" + QByteArray(1, 0) + le32(400) + le16(0x80) + names << false;
        QTest::newRow("name past its record") << "MR2" + QByteArray(1, 0) + record(0x80, le16(50) + "Required")
                                              << false;
        QTest::newRow("value of length 0")
            << "MR2" + QByteArray(1, 0) + names + valuesRecord(value(10, 1, "x", 0)) << false;
        QTest::newRow("block name past its record")
            << "MR2" + QByteArray(1, 0) + names + record(0, le32(0) + le16(90) + "Id") << false;
        QTest::newRow("double shorter than it reads")
            << "MR2" + QByteArray(1, 0) + names + valuesRecord(value(7, 1, "1234")) << false;
        QTest::newRow("currency, read from elsewhere")
            << "MR2" + QByteArray(1, 0) + names + valuesRecord(value(5, 1, QByteArray(8, '\0'))) << false;
        QTest::newRow("one name given two values") << "MR2" + QByteArray(1, 0) + names + valuesRecord(format + format)
                                                   << false;
        QTest::newRow("value head cut short") << "MR2" + QByteArray(1, 0) + names + valuesRecord(le16(8) + char(0))
                                              << false;
    }

    void propertyBlocksAreWalkedBeforeLibmdbParsesThem()
    {
        QFETCH(QByteArray, block);
        QFETCH(bool, walkable);
        QCOMPARE(jet::propertyBlockWalkable(reinterpret_cast<const unsigned char *>(block.constData()), size_t(block.size())),
                 walkable);
    }

    // Currency's exact text against a reading of it digit by digit and against the driver's
    // own reader of amounts, and, for every value stored as a double, against the text of
    // that double: both paths give the same text.
    void currencyTextIsExactAndAgreesWithTheDoublePath()
    {
        std::vector<qint64> values{0, 1, -1, 9999, -9999, 10000, 28400, 528400, 999999999999999,
                                   std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min(),
                                   std::numeric_limits<qint64>::max() - 10000 + 1};
        QRandomGenerator random(20201208);
        for (int digits = 1; digits <= 19; ++digits) {
            for (int i = 0; i < 200; ++i) {
                const quint64 limit = digits == 19 ? quint64(std::numeric_limits<qint64>::max())
                                                   : quint64(std::pow(10.0, digits));
                const qint64 magnitude = qint64(random.bounded(double(limit)));
                values.push_back(random.bounded(2) ? magnitude : -magnitude);
                values.push_back((random.bounded(2) ? magnitude : -magnitude) / 10000 * 10000); // whole amounts
            }
        }
        int viaDouble = 0;
        for (const qint64 value : values) {
            const QString text = QString::fromStdString(currencyText(value));
            qint64 readBack = 0;
            QVERIFY2(tenThousandthsOf(text, &readBack) && readBack == value, qPrintable(text));
            int64_t parsed = 0;
            bool overflow = false;
            QVERIFY2(currencyFromText(text.toStdString(), &parsed, &overflow) && parsed == value, qPrintable(text));
            if (currencyFitsDouble(value)) {
                ++viaDouble;
                QCOMPARE(QString::fromStdString(formatAccessDouble(currencyValue(value))), text);
            }
        }
        QVERIFY(viaDouble > int(values.size()) / 2);
    }
};

QTEST_GUILESS_MAIN(TestJetFormat)
#include "tst_odbc_jet_format.moc"
