// The driver under its two names, as the application connects: under the name of the
// Access 2007 and later driver it reads .accdb files too (not encrypted ones); under the
// older name an .accdb stays refused.

#include "app/mainwindow.h"
#include "odbcfixture.h"

#include <QDir>
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
};

QTEST_GUILESS_MAIN(TestAccdb)
#include "tst_odbc_accdb.moc"
