// Jet's on-disk forms read without libmdb: the file signature, the masked password in the
// header page, text in both encodings, and the fixed-size values.

#include "datetime.h"
#include "jet_header.h"
#include "jet_text.h"
#include "jet_values.h"

#include <QtTest>

#include <cstring>
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

std::string jet4Bytes(std::initializer_list<unsigned> bytes)
{
    std::vector<unsigned char> raw(bytes.begin(), bytes.end());
    return jet::decodeJet4Text(raw.data(), raw.size());
}

} // namespace

class TestJetFormat : public QObject {
    Q_OBJECT

private slots:
    void signatureTellsJetVersions()
    {
        const auto jet3 = blankHeaderPage(jet::Kind::Jet3);
        const auto jet4 = blankHeaderPage(jet::Kind::Jet4);
        QCOMPARE(jet::recognise(jet3.data(), jet3.size()), jet::Kind::Jet3);
        QCOMPARE(jet::recognise(jet4.data(), jet4.size()), jet::Kind::Jet4);
    }

    void signatureTellsAceFiles()
    {
        const auto ace = blankHeaderPage(jet::Kind::Jet4, "Standard ACE DB");
        QCOMPARE(jet::recognise(ace.data(), ace.size()), jet::Kind::Ace);
        // A Jet signature with a version byte past Jet 4 was still written by ACE.
        auto later = blankHeaderPage(jet::Kind::Jet4);
        later[0x14] = 2;
        QCOMPARE(jet::recognise(later.data(), later.size()), jet::Kind::Ace);
    }

    void signatureRejectsOtherFiles()
    {
        const unsigned char sqlite[] = "SQLite format 3\0\x10\0\x01\x01\0\0";
        QCOMPARE(jet::recognise(sqlite, sizeof sqlite), jet::Kind::NotJet);
        const auto jet4 = blankHeaderPage(jet::Kind::Jet4);
        QCOMPARE(jet::recognise(jet4.data(), 0x14), jet::Kind::NotJet);
    }

    void headerPageShorterThanAPageIsRefused()
    {
        const auto jet4 = blankHeaderPage(jet::Kind::Jet4);
        jet::Header header;
        QVERIFY(!jet::readHeader(jet4.data(), 2048, jet::Kind::Jet4, &header));
    }

    void passwordRoundTripsThroughTheMaskedHeader_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("password");
        QTest::newRow("Jet 3") << int(jet::Kind::Jet3) << QStringLiteral("Secret97");
        QTest::newRow("Jet 4") << int(jet::Kind::Jet4) << QStringLiteral("Kennwort");
        QTest::newRow("Jet 4 non-ASCII") << int(jet::Kind::Jet4) << QStringLiteral("Größe€");
        QTest::newRow("Jet 4 longest") << int(jet::Kind::Jet4) << QStringLiteral("abcdefghijklmnopqrst");
    }

    void passwordRoundTripsThroughTheMaskedHeader()
    {
        QFETCH(int, kind);
        QFETCH(QString, password);
        auto page = blankHeaderPage(jet::Kind(kind));
        const std::string utf8 = password.toStdString();
        QVERIFY(jet::writePassword(page.data(), page.size(), jet::Kind(kind), utf8));
        jet::Header header;
        QVERIFY(jet::readHeader(page.data(), page.size(), jet::Kind(kind), &header));
        QCOMPARE(QString::fromStdString(header.password), password);
        QVERIFY(jet::passwordMatches(header, utf8));
    }

    void passwordIsStoredMaskedNotInClear()
    {
        auto page = blankHeaderPage(jet::Kind::Jet3);
        QVERIFY(jet::writePassword(page.data(), page.size(), jet::Kind::Jet3, "Secret97"));
        const std::string raw(page.begin(), page.end());
        QVERIFY(raw.find("Secret97") == std::string::npos);
    }

    void passwordComparisonIsCaseSensitive()
    {
        jet::Header header;
        header.password = "Kennwort";
        QVERIFY(!jet::passwordMatches(header, "kennwort"));
        QVERIFY(!jet::passwordMatches(header, ""));
        header.password.clear();
        QVERIFY(jet::passwordMatches(header, "anything"));
    }

    void overlongPasswordsAreNotWritten()
    {
        auto page = blankHeaderPage(jet::Kind::Jet4);
        QVERIFY(!jet::writePassword(page.data(), page.size(), jet::Kind::Jet4, std::string(21, 'x')));
        auto jet3 = blankHeaderPage(jet::Kind::Jet3);
        QVERIFY(!jet::writePassword(jet3.data(), jet3.size(), jet::Kind::Jet3, "Größe"));
    }

    void jet4UncompressedTextIsUtf16()
    {
        QCOMPARE(jet4Bytes({'A', 0, 0xFC, 0, 0x17, 0x53}), std::string("Aü北"));
    }

    void jet4CompressedTextSwitchesBetweenRuns()
    {
        // "ab", then uncompressed "北", then compressed "ä" again.
        QCOMPARE(jet4Bytes({0xFF, 0xFE, 'a', 'b', 0, 0x17, 0x53, 0, 0xE4}), std::string("ab北ä"));
    }

    void jet4SurrogatePairsJoinAndStrayOnesAreReplaced()
    {
        QCOMPARE(jet4Bytes({0x34, 0xD8, 0x1E, 0xDD}), std::string("𝄞"));
        QCOMPARE(jet4Bytes({0x34, 0xD8, 'x', 0}), std::string("\xEF\xBF\xBDx"));
    }

    void jet4OddTrailingByteIsDropped()
    {
        QCOMPARE(jet4Bytes({'o', 0, 'k', 0, 'x'}), std::string("ok"));
    }

    void jet3TextFollowsTheCodePage()
    {
        const unsigned char western[] = {'U', 'm', 's', 0xE4, 't', 'z', 'e', 0x80};
        QCOMPARE(jet::CodePageDecoder(1252).decode(western, sizeof western), std::string("Umsätze€"));
        const unsigned char cyrillic[] = {0xCF, 0xF0, 0xE8};
        QCOMPARE(jet::CodePageDecoder(1251).decode(cyrillic, sizeof cyrillic), std::string("При"));
        // Code page 0 means none was recorded: Windows-1252.
        QCOMPARE(jet::CodePageDecoder(0).decode(western, sizeof western), std::string("Umsätze€"));
    }

    void jet3BytesUndefinedInTheCodePageAreReplaced()
    {
        const unsigned char text[] = {'a', 0x81, 'b'};
        QCOMPARE(jet::CodePageDecoder(1252).decode(text, sizeof text), std::string("a\xEF\xBF\xBD" "b"));
    }

    void currencyKeepsItsDecimals()
    {
        QCOMPARE(jet::currencyValue(1000), 0.1);
        QCOMPARE(jet::currencyValue(528400), 52.84);
        QCOMPARE(jet::currencyValue(-1), -0.0001);
        QCOMPARE(jet::currencyValue(INT64_MAX), 922337203685477.5807);
    }

    void singleReadsAsItsShortestDecimal()
    {
        QCOMPARE(jet::singleValue(0.2f), 0.2);
        QCOMPARE(jet::singleValue(123.79f), 123.79);
        QCOMPARE(jet::singleValue(16777216.0f), 16777216.0);
    }

    void decimalTextNeedsAWholeNumber()
    {
        double value = 0;
        QVERIFY(jet::decimalTextValue("-12.3400", &value));
        QCOMPARE(value, -12.34);
        QVERIFY(!jet::decimalTextValue("12,5", &value));
        QVERIFY(!jet::decimalTextValue("", &value));
        QVERIFY(!jet::decimalTextValue(nullptr, &value));
    }

    void replicationIdReadsAsAccessShowsIt()
    {
        const unsigned char bytes[16] = {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE,
                                         0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
        QCOMPARE(jet::guidText(bytes), std::string("{12345678-9ABC-DEF0-0123-456789ABCDEF}"));
    }

    void dateSerialsBeforeDayZeroCountTheTimeFromMidnight_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<QString>("text");
        QTest::newRow("day zero") << 0.0 << "1899-12-30 00:00:00";
        QTest::newRow("after") << 44532.75 << "2021-12-02 18:00:00";
        QTest::newRow("before, with time") << -1.25 << "1899-12-29 06:00:00";
        QTest::newRow("before, rounding up to a day") << -1.9999999999 << "1899-12-28 00:00:00";
        QTest::newRow("first day of the range") << -657434.5 << "0100-01-01 12:00:00";
    }

    void dateSerialsBeforeDayZeroCountTheTimeFromMidnight()
    {
        QFETCH(double, serial);
        QFETCH(QString, text);
        DateTime value;
        QVERIFY(dateTimeFromSerial(serial, &value));
        QCOMPARE(QString::fromStdString(formatDateTime(value)), text);
    }

    void dateSerialsOutsideAccessRangeAreRefused()
    {
        DateTime value;
        QVERIFY(!dateTimeFromSerial(-657435.0, &value));
        QVERIFY(!dateTimeFromSerial(2958466.0, &value));
    }
};

QTEST_GUILESS_MAIN(TestJetFormat)
#include "tst_odbc_jet_format.moc"
