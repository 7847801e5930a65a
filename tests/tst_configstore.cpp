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
    void unopenableDatabaseGivesDefaultsSilently();
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

void ConfigStoreTest::unopenableDatabaseGivesDefaultsSilently()
{
    WorkingDir wd;
    QVERIFY(QDir().mkdir(QStringLiteral("fernwick.db")));
    DBThread store(nullptr);
    QSignalSpy params(&store, &DBThread::getParam);
    QSignalSpy logs(&store, &DBThread::SqlLog);
    store.loadConfig();
    QCOMPARE(params.count(), 1);
    QCOMPARE(params.at(0).at(0).toString(), defaultPath);
    QCOMPARE(params.at(0).at(1).toString(), QStringLiteral("XQ"));
    QCOMPARE(logs.count(), 0);
    QVERIFY(QDir(QStringLiteral("fernwick.db")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    QCOMPARE(QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"fernwick.db"});
}

QTEST_GUILESS_MAIN(ConfigStoreTest)
#include "tst_configstore.moc"
