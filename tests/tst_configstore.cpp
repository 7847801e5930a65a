#include "store/dbthread.h"
#include "support/localfile.h"
#include "support/site.h"

#include <QProcess>
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

// What Debian's sqlite3 prints for `command` on fernwick.db: an outside reading of the file.
QString sqliteShell(const QString &command)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("fernwick.db"), command});
    if (!shell.waitForFinished(60000) || shell.exitCode() != 0)
        return QStringLiteral("sqlite3 failed: ") + QString::fromUtf8(shell.readAllStandardError());
    return QString::fromUtf8(shell.readAllStandardOutput()).trimmed();
}

// A site's file as an earlier version left it: the configuration row and a snapshot table
// of several hundred pages, with text beyond ASCII.
QString fileWithPagesOf(int bytes)
{
    return sqliteShell(QStringLiteral(
        "pragma page_size = %1; create table orva_fernwick_config (PATH text,PASSWD text);"
        "insert into orva_fernwick_config values ('C:/GuardTour/GuardTour_DB.mdb', 'pw');"
        "create table orva_fernwick_point (pId text, ptName text);"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000)"
        " insert into orva_fernwick_point select i, 'Müller 东门岗亭 ' || hex(randomblob(40)) from n;"
        "pragma page_size;").arg(bytes));
}
}

class ConfigStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QSqlDatabase::removeDatabase(QStringLiteral("fernwick_db")); }
    void rowsGiveTheParameters_data();
    void rowsGiveTheParameters();
    void unreadableFileGivesDefaultsWritesNothingAndSaysWhy_data();
    void unreadableFileGivesDefaultsWritesNothingAndSaysWhy();
    void lockedFileKeepsItsRowForTheNextStart();
    void smallPagesAreRewrittenOnce_data();
    void smallPagesAreRewrittenOnce();
};

void ConfigStoreTest::rowsGiveTheParameters_data()
{
    QTest::addColumn<bool>("tableMade");
    QTest::addColumn<QList<QStringList>>("rowsBefore");
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<QList<QStringList>>("rowsAfter");
    QTest::newRow("first start seeds one default row") << false << QList<QStringList>()
                                                       << QStringList{defaultPath, "XQ"}
                                                       << QList<QStringList>{{defaultPath, "XQ"}};
    QTest::newRow("empty table gives defaults and stays empty") << true << QList<QStringList>()
                                                                << QStringList{defaultPath, "XQ"} << QList<QStringList>();
    QTest::newRow("last of several rows wins")
        << true << QList<QStringList>{{"/a.mdb", "one"}, {"/b.mdb", "two"}} << QStringList{"/b.mdb", "two"}
        << QList<QStringList>{{"/a.mdb", "one"}, {"/b.mdb", "two"}};
    QTest::newRow("null password becomes empty")
        << true << QList<QStringList>{{"/site.mdb", QString()}} << QStringList{"/site.mdb", ""}
        << QList<QStringList>{{"/site.mdb", "<null>"}};
}

// Each row is read twice, as by two starts: the second start neither adds nor changes a row.
void ConfigStoreTest::rowsGiveTheParameters()
{
    QFETCH(bool, tableMade);
    QFETCH(QList<QStringList>, rowsBefore);
    QFETCH(QStringList, params);
    QFETCH(QList<QStringList>, rowsAfter);
    WorkingDir wd;
    if (tableMade)
        QVERIFY(writeConfigurationTable(rowsBefore));
    QCOMPARE(loadConfigOnce(), params);
    QCOMPARE(loadConfigOnce(), params);
    QCOMPARE(LocalFile().rows(configRows), rowsAfter);
}

void ConfigStoreTest::unreadableFileGivesDefaultsWritesNothingAndSaysWhy_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder") << "folder" << "unable to open database file";
    QTest::newRow("junk") << "junk" << "file is not a database";
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
        bytes = QByteArray("PK\x03\x04 not a database at all ").repeated(200);
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
    QVERIFY(writeConfigurationTable({{"/srv/site.mdb", "pw"}}));
    LocalFile other;
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

void ConfigStoreTest::smallPagesAreRewrittenOnce_data()
{
    QTest::addColumn<int>("pagesBefore"); // 0: no file yet
    QTest::addColumn<bool>("writtenMeanwhile");
    QTest::addColumn<QString>("pagesAfter");
    QTest::newRow("a new file") << 0 << false << "65536";
    QTest::newRow("4 KiB pages") << 4096 << false << "65536";
    QTest::newRow("1 KiB pages") << 1024 << false << "65536";
    QTest::newRow("64 KiB pages already") << 65536 << false << "65536";
    QTest::newRow("another program writing") << 4096 << true << "4096";
}

// The rows are what they were, as sqlite3 dumps them; a file another program is writing is
// left as it is, without waiting, and rewritten at the next start.
void ConfigStoreTest::smallPagesAreRewrittenOnce()
{
    QFETCH(int, pagesBefore);
    QFETCH(bool, writtenMeanwhile);
    QFETCH(QString, pagesAfter);
    WorkingDir wd;
    QStringList params{defaultPath, "XQ"};
    if (pagesBefore > 0) {
        QCOMPARE(fileWithPagesOf(pagesBefore), QString::number(pagesBefore));
        params = QStringList{"C:/GuardTour/GuardTour_DB.mdb", "pw"};
    }
    const QString dump = sqliteShell(QStringLiteral(".dump"));
    LocalFile other;
    if (writtenMeanwhile)
        QVERIFY(other.exec(QStringLiteral("begin immediate")));
    QCOMPARE(loadConfigOnce(), params);
    QCOMPARE(sqliteShell(QStringLiteral("pragma page_size")), pagesAfter);
    if (writtenMeanwhile) {
        QVERIFY(other.exec(QStringLiteral("commit")));
        QCOMPARE(loadConfigOnce(), params);
        QCOMPARE(sqliteShell(QStringLiteral("pragma page_size")), QStringLiteral("65536"));
    }
    if (pagesBefore > 0)
        QCOMPARE(sqliteShell(QStringLiteral(".dump")), dump);
    QCOMPARE(QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"fernwick.db"});
}

QTEST_GUILESS_MAIN(ConfigStoreTest)
#include "tst_configstore.moc"
