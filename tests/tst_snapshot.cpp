#include "store/dbthread.h"
#include "support/diskfaults.h"
#include "support/localfile.h"
#include "support/testsupport.h"
#include "upload/evalthread.h"
#include "upload/pointthread.h"

#include <QSqlDatabase>
#include <QtTest>

namespace {
using Rows = QList<QStringList>;

QStringList point(const QString &id, const QString &name)
{
    return {id, QStringLiteral("C") + id, name, id, QStringLiteral("1")};
}

void extractPoints(PointThread &channel, const Rows &rows)
{
    channel.clearSnapshot();
    for (const QStringList &row : rows)
        channel.insertSnapshot(row);
    channel.finishSnapshot();
}

Rows withoutTimeStamps(Rows rows)
{
    for (QStringList &row : rows)
        row.removeLast();
    return rows;
}
}

class SnapshotTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void rowsKeepOrderAndEachGetsAStamp();
    void noRowsNeverCreateTheTableButEmptyIt();
    void abandonedExtractionKeepsThePreviousSnapshot();
    void outsideReaderSeesOldOrNewNeverHalf();
    void evalChannelEmptiesItsTableWhenMade();
    void rowsAfterAFailedClearAreNotWritten();
    void diskFillingMidwayKeepsThePreviousRows();

private:
    WorkingDir *wd = nullptr;
    DBThread *store = nullptr;
};

void SnapshotTest::init()
{
    wd = new WorkingDir;
    store = new DBThread(nullptr);
}

void SnapshotTest::cleanup()
{
    delete store;
    delete wd;
    QSqlDatabase::removeDatabase(QStringLiteral("fernwick_db"));
}

void SnapshotTest::rowsKeepOrderAndEachGetsAStamp()
{
    PointThread channel(nullptr);
    extractPoints(channel, {point("3", "C"), point("1", "A"), point("2", "B")});
    LocalFile reader;
    const Rows rows = reader.table(QStringLiteral("orva_point_data"));
    QCOMPARE(withoutTimeStamps(rows), (Rows{point("3", "C"), point("1", "A"), point("2", "B")}));
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    for (const QStringList &row : rows)
        QVERIFY2(stamp.match(row.last()).hasMatch(), qPrintable(row.last()));
}

void SnapshotTest::noRowsNeverCreateTheTableButEmptyIt()
{
    PointThread channel(nullptr);
    channel.insertSnapshot(point("1", "without a clear"));
    extractPoints(channel, {});
    {
        LocalFile reader;
        QVERIFY(!reader.hasTable(QStringLiteral("orva_point_data")));
    }
    extractPoints(channel, {point("1", "A")});
    extractPoints(channel, {});
    LocalFile reader;
    QVERIFY(reader.hasTable(QStringLiteral("orva_point_data")));
    QVERIFY(reader.table(QStringLiteral("orva_point_data")).isEmpty());
}

void SnapshotTest::abandonedExtractionKeepsThePreviousSnapshot()
{
    PointThread channel(nullptr);
    extractPoints(channel, {point("1", "A"), point("2", "B")});
    channel.clearSnapshot();
    channel.insertSnapshot(point("9", "half-read"));
    channel.abandonSnapshot();
    LocalFile reader;
    QCOMPARE(withoutTimeStamps(reader.table(QStringLiteral("orva_point_data"))),
             (Rows{point("1", "A"), point("2", "B")}));
}

void SnapshotTest::outsideReaderSeesOldOrNewNeverHalf()
{
    PointThread channel(nullptr);
    extractPoints(channel, {point("1", "A"), point("2", "B"), point("3", "C")});
    LocalFile reader;
    channel.clearSnapshot();
    channel.insertSnapshot(point("7", "X"));
    QCOMPARE(reader.table(QStringLiteral("orva_point_data")).size(), 3);
    channel.insertSnapshot(point("8", "Y"));
    channel.finishSnapshot();
    QCOMPARE(withoutTimeStamps(reader.table(QStringLiteral("orva_point_data"))),
             (Rows{point("7", "X"), point("8", "Y")}));
}

void SnapshotTest::evalChannelEmptiesItsTableWhenMade()
{
    {
        LocalFile reader;
        reader.exec(QStringLiteral("create table orva_eval_data (eId text)"));
        reader.exec(QStringLiteral("insert into orva_eval_data values ('old')"));
    }
    EvalThread channel(nullptr);
    LocalFile reader;
    QVERIFY(reader.table(QStringLiteral("orva_eval_data")).isEmpty());
}

// The lock is gone by the time the rows come, but the snapshot they belong to was already
// given up: writing them would leave the old rows beside the new.
void SnapshotTest::rowsAfterAFailedClearAreNotWritten()
{
    PointThread channel(nullptr);
    extractPoints(channel, {point("1", "A"), point("2", "B")});
    QSqlDatabase::database(QStringLiteral("fernwick_db"), false)
        .setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=50"));
    LocalFile other;
    QVERIFY(other.exec(QStringLiteral("begin immediate")));
    channel.clearSnapshot();
    QVERIFY(other.exec(QStringLiteral("commit")));
    channel.insertSnapshot(point("7", "X"));
    channel.insertSnapshot(point("8", "Y"));
    channel.finishSnapshot();
    QCOMPARE(channel.snapshotFailure(), QStringLiteral("orva_point_data snapshot not saved: database is locked"));
    QCOMPARE(withoutTimeStamps(other.table(QStringLiteral("orva_point_data"))),
             (Rows{point("1", "A"), point("2", "B")}));
}

// A full disk still lets pages be rewritten in place; it is the growth of the file that
// fails, here at the commit. Afterwards, with room again, the next snapshot is kept.
void SnapshotTest::diskFillingMidwayKeepsThePreviousRows()
{
    if (!FullDisk::reachesTheToolkitDriver())
        QSKIP("the toolkit's SQLite driver carries a SQLite of its own; a full disk cannot be simulated");
    PointThread channel(nullptr);
    extractPoints(channel, {point("1", "A"), point("2", "B")});
    const Rows before = LocalFile().table(QStringLiteral("orva_point_data"));
    channel.clearSnapshot();
    channel.insertSnapshot(point("3", "C"));
    {
        FullDisk full;
        for (int i = 0; i < 2000; ++i)
            channel.insertSnapshot(point(QString::number(i), QStringLiteral("a name long enough to fill pages")));
        channel.finishSnapshot();
    }
    QCOMPARE(channel.snapshotFailure(), QStringLiteral("orva_point_data snapshot not saved: database or disk is full"));
    QCOMPARE(LocalFile().table(QStringLiteral("orva_point_data")), before);
    extractPoints(channel, {point("9", "Z")});
    QCOMPARE(channel.snapshotFailure(), QString());
    QCOMPARE(withoutTimeStamps(LocalFile().table(QStringLiteral("orva_point_data"))), Rows{point("9", "Z")});
}

QTEST_GUILESS_MAIN(SnapshotTest)
#include "tst_snapshot.moc"
