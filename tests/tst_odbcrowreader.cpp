// The direct row reader against QSqlQuery::value, through QODBC and the project's Access
// driver, over generated values of every type the driver delivers. The reader relies on how
// Qt 5's QODBC fetches and converts values, so this proves it for the Qt it runs with, and
// says which that is.
#include "store/recordkind.h"
#include "app/odbcrowreader.h"
#include "app/valuetext.h"
#include "gtdb.h"
#include "odbc/odbcfixture.h"
#include "support/testsupport.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

const char *valuesTable = R"sql(
create table VALUE_KINDS (
  n INTEGER, s SMALLINT, b BIGINT, d DOUBLE, f BIT, t DATETIME,
  short_text TEXT(8), name TEXT(255), memo MEMO
);
)sql";

const QString allColumns = QStringLiteral(
    "select n, s, b, d, f, t, short_text, name, memo, CStr(n) as cn, CStr(d) as cd, CStr(t) as ct from VALUE_KINDS;");

QString randomText(QRandomGenerator &random, int maxLength)
{
    static const uint awkward[] = {0, '"', '\\', '%', '&', '\t', '\n', '\r', 0x1, 0xe9, 0x4e1c, 0x95e8, 0xff0c,
                                   0x1f600, 0x20000, 0xfffd, 0x7ff, 0x800};
    const int length = random.bounded(maxLength + 1);
    QString text;
    while (text.size() < length) {
        const uint code = random.bounded(3) == 0 ? awkward[random.bounded(int(sizeof awkward / sizeof *awkward))]
                                                 : uint(random.bounded(0x20, 0x7f));
        text.append(QString::fromUcs4(&code, 1));
    }
    return text;
}

double randomDouble(QRandomGenerator &random)
{
    static const double special[] = {0.0, -0.0, 0.1, -1.5, 1e300, -1e-300, 5e-324, 123456789012345.0,
                                     std::numeric_limits<double>::infinity(), 2.5, 1.0 / 3.0};
    if (random.bounded(4) == 0)
        return special[random.bounded(int(sizeof special / sizeof *special))];
    double value = 0;
    do {
        const quint64 bits = random.generate64();
        std::memcpy(&value, &bits, sizeof value);
    } while (std::isnan(value));
    return value;
}

QVariant maybeNull(QRandomGenerator &random, const QVariant &value)
{
    return random.bounded(8) == 0 ? QVariant() : value;
}

// Date and time, with or without fractions of a second, date alone or time alone, as the
// site's file holds them.
QString randomDateTime(QRandomGenerator &random)
{
    static const char *formats[] = {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd", "HH:mm:ss"};
    const QDateTime moment(QDate(1899, 12, 30).addDays(random.bounded(80000)),
                           QTime(0, 0).addMSecs(random.bounded(86400 * 1000)));
    return moment.toString(QLatin1String(formats[random.bounded(4)]));
}

QVariantList randomRow(QRandomGenerator &random)
{
    const int n = int(random.generate());
    return {
        maybeNull(random, random.bounded(10) == 0 ? std::numeric_limits<int>::min() : n),
        maybeNull(random, random.bounded(-32768, 32768)),
        maybeNull(random, qint64(random.generate64())),
        maybeNull(random, randomDouble(random)),
        maybeNull(random, random.bounded(2)),
        maybeNull(random, randomDateTime(random)),
        maybeNull(random, randomText(random, 30)),
        maybeNull(random, randomText(random, 300)),
        maybeNull(random, randomText(random, 2000)),
    };
}

// Fills the table with bound values, straight into the site's file.
void insertRows(const QString &path, const QList<QVariantList> &rows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QVERIFY(db.transaction());
        QSqlQuery insert(db);
        QVERIFY(insert.prepare(QStringLiteral("insert into VALUE_KINDS values (?, ?, ?, ?, ?, ?, ?, ?, ?)")));
        for (const QVariantList &row : rows) {
            for (int i = 0; i < row.size(); ++i)
                insert.bindValue(i, row.at(i));
            QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
        }
        QVERIFY(db.commit());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

// Every row of the statement, read through QSqlQuery::value or, given counts to fill, through
// the row reader (the columns it leaves to the query, and those the fetch fills bound).
QList<QVector<QVariant>> readRows(QSqlDatabase &db, const QString &statement, int *readByQuery = nullptr,
                                  int *bound = nullptr)
{
    QList<QVector<QVariant>> rows;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(statement))
        qWarning("%s", qPrintable(query.lastError().text()));
    std::unique_ptr<OdbcRowReader> reader(readByQuery ? new OdbcRowReader(&query) : nullptr);
    if (reader) {
        *readByQuery = reader->columnsReadByQuery();
        *bound = reader->columnsBound();
    }
    while (query.next()) {
        if (reader) {
            rows << reader->readRow();
            continue;
        }
        QVector<QVariant> row;
        for (int i = 0; i < query.record().count(); ++i)
            row << query.value(i);
        rows << row;
    }
    return rows;
}

QString described(const QVariant &value)
{
    return QStringLiteral("%1 %2 \"%3\"")
        .arg(QString::fromLatin1(value.typeName()))
        .arg(value.isNull() ? QStringLiteral("null") : QStringLiteral("value"))
        .arg(valueText(value));
}

// QODBC makes a local date-time of the fields, which a summer-time gap of the test's zone
// leaves invalid; the reader keeps those fields. Everywhere else the two give the same.
QString describedAsQueryWouldGiveIt(const QVariant &readerValue, const QVariant &queryValue)
{
    if (readerValue.userType() == QMetaType::QDateTime && queryValue.userType() == QMetaType::QDateTime
        && !queryValue.isNull() && !queryValue.toDateTime().isValid()) {
        const QDateTime kept = readerValue.toDateTime();
        if (!QDateTime(kept.date(), kept.time()).isValid())
            return described(queryValue);
    }
    return described(readerValue);
}

} // namespace

class TestOdbcRowReader : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sameValuesAsQuery_data();
    void sameValuesAsQuery();

private:
    QString makeSite(const QString &extraSql, const QList<QVariantList> &rows);
    WorkingDir wd;
    QTemporaryDir dir;
};

// Qt 6 changed QODBC's reading; under another series the comparison would be of behaviour
// the reader was never written for.
void TestOdbcRowReader::initTestCase()
{
    qInfo("comparing the row reader with QODBC of Qt %s", qVersion());
    QVERIFY2(QByteArray(qVersion()).startsWith("5."),
             qPrintable(QStringLiteral("the row reader was proved on Qt 5's QODBC; Qt %1 needs it looked at again, "
                                       "and this test with it")
                            .arg(QLatin1String(qVersion()))));
}

QString TestOdbcRowReader::makeSite(const QString &extraSql, const QList<QVariantList> &rows)
{
    static int sites = 0;
    const QString path = odbcfixture::makeDatabase(dir, QString::fromUtf8(valuesTable) + extraSql, QString(),
                                                   QStringLiteral("site%1.mdb").arg(++sites));
    insertRows(path, rows);
    return path;
}

void TestOdbcRowReader::sameValuesAsQuery_data()
{
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("readByQuery");
    QTest::addColumn<int>("bound");

    QRandomGenerator random(20210606);
    QList<QVariantList> rows;
    for (int i = 0; i < 3000; ++i)
        rows << randomRow(random);
    // Long texts go in pieces of 64 K units; the reader must join them as QODBC does. Texts
    // longer than their column says (the site's file holds what it is given) are read again.
    rows << QVariantList{1, 1, 1, 1.0, 1, QVariant(), randomText(random, 30), QString(70000, QChar(0x4e1c)),
                         randomText(random, 1) + QString(140001, QLatin1Char('x')) + QChar(0x95e8)};
    rows << QVariantList{QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QString(),
                         QString(), QString()};
    const QString generated = makeSite(QString(), rows);
    QTest::newRow("every type, generated") << generated << allColumns << 0 << 6;
    QTest::newRow("a binary column goes through QODBC, and all before it")
        << makeSite(QStringLiteral("create table WITH_BLOB (a TEXT(20), blob_value BLOB, c TEXT(20));"
                                   "insert into WITH_BLOB values ('one', x'00ff10', 'two'), (NULL, NULL, 'x');"),
                    {})
        << QStringLiteral("select a, blob_value, c from WITH_BLOB;") << 2 << 1;

    const QString guardTour = dir.filePath(QStringLiteral("GuardTour_DB.mdb"));
    QVERIFY(gtdb::generateGuardTourDb(guardTour, 500));
    // The text columns each kind's query has, as an ODBC client lists them (pyodbc's
    // cursor.description): the fetch fills those, the numbers and dates are read one by one.
    const QList<QPair<const RecordKind *, int>> kinds = {
        {&RecordKind::checkpoints(), 3}, {&RecordKind::routeStops(), 6}, {&RecordKind::plans(), 7}};
    for (const auto &kind : kinds)
        QTest::newRow(qPrintable(kind.first->operation)) << guardTour << kind.first->query << 0 << kind.second;
}

void TestOdbcRowReader::sameValuesAsQuery()
{
    QFETCH(QString, site);
    QFETCH(QString, statement);
    QFETCH(int, readByQuery);
    QFETCH(int, bound);
    const QString connection = QStringLiteral("reader");
    const auto removeConnection = qScopeGuard([&] { QSqlDatabase::removeDatabase(connection); });
    {
        QSqlDatabase db = odbcfixture::accessDatabase(connection, site);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        const QList<QVector<QVariant>> expected = readRows(db, statement);
        int byQuery = -1;
        int boundColumns = -1;
        const QList<QVector<QVariant>> actual = readRows(db, statement, &byQuery, &boundColumns);
        QCOMPARE(byQuery, readByQuery);
        QCOMPARE(boundColumns, bound);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(actual.size(), expected.size());
        for (int row = 0; row < expected.size(); ++row) {
            QCOMPARE(actual.at(row).size(), expected.at(row).size());
            for (int column = 0; column < expected.at(row).size(); ++column)
                QCOMPARE(describedAsQueryWouldGiveIt(actual.at(row).at(column), expected.at(row).at(column)),
                         described(expected.at(row).at(column)));
        }
        db.close();
    }
}

QTEST_GUILESS_MAIN(TestOdbcRowReader)
#include "tst_odbcrowreader.moc"
