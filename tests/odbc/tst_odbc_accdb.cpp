// The driver under its two names, as the application connects: under the name of the
// Access 2007 and later driver it reads .accdb files too (not encrypted ones); under the
// older name an .accdb stays refused.

#include "app/mainwindow.h"
#include "mdbexport.h"
#include "odbcfixture.h"

#include <QDir>
#include <QMap>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const QString kSamples = QStringLiteral(FERNWICK_MDB_SAMPLES);
const QString kAccdb = QDir(kSamples).filePath(QStringLiteral("ASampleDatabase.accdb"));
const QString kMdb = QDir(kSamples).filePath(QStringLiteral("DateTestDatabase.mdb"));
const int kAceHeaderPage = 4096;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a password does to an Access 2007 or later file: the header page stays as it was,
// every later page is ciphertext.
QByteArray withPagesScrambled(QByteArray bytes)
{
    QRandomGenerator generator(20070101);
    for (int i = kAceHeaderPage; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ char(generator.generate()));
    return bytes;
}

} // namespace

class TestAccdb : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFile::exists(kAccdb) || !QFile::exists(kMdb))
            QSKIP("the sample databases are not at hand");
    }

    void driverNameDecidesWhatOpens_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");
        const QString assets = QStringLiteral("select count(*), min(Make) from [Asset Items]");
        const QString dates = QStringLiteral("select count(*) > 0, 'read' from DateTest");
        QTest::newRow("accdb, ACE name") << aceDriverName << readAll(kAccdb) << assets << "65 Brenda";
        QTest::newRow("mdb, ACE name") << aceDriverName << readAll(kMdb) << dates << "1 read";
        QTest::newRow("accdb, Jet name") << jetDriverName << readAll(kAccdb) << assets
                                         << "An Access 2007 or later database (.accdb) cannot be read";
        QTest::newRow("encrypted accdb, ACE name") << aceDriverName << withPagesScrambled(readAll(kAccdb)) << assets
                                                   << "The database is encrypted with a password";
    }

    void driverNameDecidesWhatOpens()
    {
        QFETCH(QString, driver);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, query);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("GuardTour_DB.accdb"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();

        QString outcome;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("accdb"));
            db.setDatabaseName(accessConnectionString(path, QString(), driver));
            if (db.open()) {
                QSqlQuery rows(db);
                if (rows.exec(query) && rows.next())
                    outcome = rows.value(0).toString() + QLatin1Char(' ') + rows.value(1).toString();
                else
                    outcome = rows.lastError().text();
            } else {
                outcome = QStringLiteral("refused: ") + db.lastError().databaseText();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("accdb"));
        QVERIFY2(outcome.contains(expected), qPrintable(outcome));
        QCOMPARE(odbcfixture::fileChecksum(path), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    }

    // Access 2007 and later keep a select query without its kind; the sample's three are
    // views, their answers computed from mdb-export's CSV of the table they read.
    void savedQueriesAreViews()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty())
            QSKIP("mdb-export is not installed");
        const ExportedTable assets = mdbExport(kAccdb, QStringLiteral("Asset Items"));
        const auto cents = [](const QString &exported) { return qRound64(exported.toDouble() * 100); };
        QMap<QString, qint64> hardware, byOwner;
        for (const QStringList &row : assets.rows) {
            const QString owner = row[assets.column("Owner")], category = row[assets.column("Asset Category")];
            byOwner[owner + '|' + category] += cents(row[assets.column("Cost")]);
            if (category == QLatin1String("Computer Hardware"))
                hardware[row[assets.column("Asset No")]] = cents(row[assets.column("Cost")]);
        }
        const auto money = [](qint64 cents) { return QString::number(double(cents) / 100, 'g', 15); };
        QStringList expectedHardware, expectedSums;
        for (auto it = hardware.cbegin(); it != hardware.cend(); ++it)
            expectedHardware << it.key() + '|' + money(it.value());
        for (auto it = byOwner.cbegin(); it != byOwner.cend(); ++it)
            expectedSums << it.key() + '|' + money(it.value());

        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("views"));
        db.setDatabaseName(accessConnectionString(kAccdb, QString(), aceDriverName));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        const auto rows = [&db](const QString &sql) {
            QSqlQuery query(db);
            QStringList out;
            if (!query.exec(sql))
                return QStringList{query.lastError().text()};
            while (query.next()) {
                QStringList values;
                for (int i = 0; i < query.record().count(); ++i)
                    values << query.value(i).toString();
                out << values.join('|');
            }
            out.sort();
            return out;
        };
        QCOMPARE(rows(QStringLiteral("select [Asset No], Cost from qryComputerHardwareInOwnerOrder")), expectedHardware);
        QCOMPARE(rows(QStringLiteral("select Owner, [Asset Category], SumOfCost from qryCostsSummedByOwner")), expectedSums);
        QCOMPARE(rows(QStringLiteral("select count(*) from qryGSTCalculations where Abs([Ex Tax] + GST - Cost) < 0.0001")),
                 QStringList{QString::number(assets.rows.size())});
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("views"));
    }
};

QTEST_GUILESS_MAIN(TestAccdb)
#include "tst_odbc_accdb.moc"
