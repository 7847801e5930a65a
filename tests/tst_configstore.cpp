#include "store/dbthread.h"
#include "support/localfile.h"
#include "support/testsupport.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QtTest>

namespace {
const QString defaultPath = QStringLiteral("D:/Program Files (x86)/Quellard B1.0/GuardTour_DB.mdb");

const QString configRows = QStringLiteral("select PATH, PASSWD from orva_fernwick_config");

// The values that one loadConfig hands on with getParam.
QStringList loadConfigOnce()
{
    DBThread store(nullptr);
    QSignalSpy spy(&store, &DBThread::getParam);
    store.loadConfig();
    if (spy.count() != 1)
        return {QStringLiteral("getParam emitted %1 times").arg(spy.count())};
    return {spy.at(0).at(0).toString(), spy.at(0).at(1).toString()};
}
}

class ConfigStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QSqlDatabase::removeDatabase(QStringLiteral("fernwick_db")); }
    void firstStartSeedsOneDefaultRow();
    void secondStartReadsWithoutAddingARow();
    void lastOfSeveralRowsWins();
    void emptyTableGivesDefaultsAndStaysEmpty();
    void nullPasswordBecomesEmpty();
    void unreadableFileGivesDefaultsWritesNothingAndSaysWhy_data();
    void unreadableFileGivesDefaultsWritesNothingAndSaysWhy();
    void lockedFileKeepsItsRowForTheNextStart();
};

void ConfigStoreTest::firstStartSeedsOneDefaultRow()
{
    WorkingDir wd;
    QCOMPARE(loadConfigOnce(), (QStringList{defaultPath, "XQ"}));
    LocalFile file;
    QCOMPARE(file.rows(configRows), (QList<QStringList>{{defaultPath, "XQ"}}));
}

void ConfigStoreTest::secondStartReadsWithoutAddingARow()
{
    WorkingDir wd;
    loadConfigOnce();
    {
        LocalFile file;
        file.exec(QStringLiteral("update orva_fernwick_config set PATH='/srv/site.mdb', PASSWD='pw'"));
    }
    QCOMPARE(loadConfigOnce(), (QStringList{"/srv/site.mdb", "pw"}));
    LocalFile file;
    QCOMPARE(file.rows(configRows).size(), 1);
}

void ConfigStoreTest::lastOfSeveralRowsWins()
{
    WorkingDir wd;
    {
        LocalFile file;
        file.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text)"));
        file.exec(QStringLiteral("insert into orva_fernwick_config values ('/a.mdb','one'),('/b.mdb','two')"));
    }
    QCOMPARE(loadConfigOnce(), (QStringList{"/b.mdb", "two"}));
}

void ConfigStoreTest::emptyTableGivesDefaultsAndStaysEmpty()
{
    WorkingDir wd;
    {
        LocalFile file;
        file.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text)"));
    }
    QCOMPARE(loadConfigOnce(), (QStringList{defaultPath, "XQ"}));
    QCOMPARE(loadConfigOnce(), (QStringList{defaultPath, "XQ"}));
    LocalFile file;
    QVERIFY(file.rows(configRows).isEmpty());
}

void ConfigStoreTest::nullPasswordBecomesEmpty()
{
    WorkingDir wd;
    {
        LocalFile file;
        file.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text)"));
        file.exec(QStringLiteral("insert into orva_fernwick_config values ('/site.mdb', NULL)"));
    }
    QCOMPARE(loadConfigOnce(), (QStringList{"/site.mdb", ""}));
}

void ConfigStoreTest::unreadableFileGivesDefaultsWritesNothingAndSaysWhy_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder") << "folder" << "unable to open database file";
    QTest::newRow("junk") << "junk" << "file is not a database";
    QTest::newRow("empty page") << "zeros" << "file is not a database";
}

// Whatever the file is, it is left as it was: no seeding, no journal beside it.
void ConfigStoreTest::unreadableFileGivesDefaultsWritesNothingAndSaysWhy()
{
    QFETCH(QString, shape);
    QFETCH(QString, reason);
    WorkingDir wd;
    QByteArray bytes;
    if (shape == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(QStringLiteral("fernwick.db")));
    } else {
        bytes = shape == QLatin1String("junk") ? QByteArray("PK\x03\x04 not a database at all ").repeated(200)
                                                : QByteArray(4096, '\0');
        QFile file(QStringLiteral("fernwick.db"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    DBThread store(nullptr);
    QSignalSpy params(&store, &DBThread::getParam);
    QSignalSpy logs(&store, &DBThread::SqlLog);
    store.loadConfig();
    QCOMPARE(params.count(), 1);
    QCOMPARE(params.at(0).at(0).toString(), defaultPath);
    QCOMPARE(params.at(0).at(1).toString(), QStringLiteral("XQ"));
    QCOMPARE(store.readFailure(),
             QStringLiteral("fernwick.db could not be read: %1; using the built-in defaults").arg(reason));
    QCOMPARE(logs.count(), 0);
    QCOMPARE(QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"fernwick.db"});
    if (shape == QLatin1String("folder"))
        QVERIFY(QDir(QStringLiteral("fernwick.db")).isEmpty());
    else
        QCOMPARE(readAll(QStringLiteral("fernwick.db")), bytes);
}

// Another process holding the file for longer than the store waits must not cost the
// site its configuration: this start runs on the defaults, the next one reads the row.
void ConfigStoreTest::lockedFileKeepsItsRowForTheNextStart()
{
    WorkingDir wd;
    LocalFile other;
    other.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text)"));
    other.exec(QStringLiteral("insert into orva_fernwick_config values ('/srv/site.mdb', 'pw')"));
    QVERIFY(other.exec(QStringLiteral("begin exclusive")));
    {
        DBThread store(nullptr);
        QSqlDatabase::database(QStringLiteral("fernwick_db"), false)
            .setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=50"));
        QSignalSpy params(&store, &DBThread::getParam);
        store.loadConfig();
        QCOMPARE(params.count(), 1);
        QCOMPARE(params.at(0).at(0).toString(), defaultPath);
        QCOMPARE(store.readFailure(),
                 QStringLiteral("fernwick.db could not be read: database is locked; using the built-in defaults"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fernwick_db"));
    QVERIFY(other.exec(QStringLiteral("commit")));
    QCOMPARE(loadConfigOnce(), (QStringList{"/srv/site.mdb", "pw"}));
    QCOMPARE(other.rows(configRows), (QList<QStringList>{{"/srv/site.mdb", "pw"}}));
}

QTEST_GUILESS_MAIN(ConfigStoreTest)
#include "tst_configstore.moc"
