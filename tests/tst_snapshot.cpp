#include "store/dbthread.h"
#include "support/testsupport.h"
#include "upload/evalthread.h"
#include "upload/planthread.h"
#include "upload/pointthread.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

namespace {
using Rows = QList<QStringList>;

// A second connection onto fernwick.db, as an outside reader would have.
class Reader
{
public:
    Reader()
    {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(QStringLiteral("fernwick.db"));
        db.open();
    }
    ~Reader()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    }
    bool hasTable(const QString &table) { return db.tables().contains(table); }
    void exec(const QString &sql) { QSqlQuery(db).exec(sql); }
    // Every row, each value as stored; NULL shows as "<null>".
    Rows rows(const QString &table)
    {
        Rows rows;
        QSqlQuery q(db);
        q.exec(QStringLiteral("select * from ") + table + QStringLiteral(" order by rowid"));
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            rows << row;
        }
        return rows;
    }
    QSqlDatabase db;
};

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
    void aNewExtractionReplacesTheOldRows();
    void zeroRowsNeverCreateTheTableButEmptyIt();
    void abandonedExtractionKeepsThePreviousSnapshot();
    void outsideReaderSeesOldOrNewNeverHalf();
    void valuesAreStoredVerbatim_data();
    void valuesAreStoredVerbatim();
    void nullValuesAreStoredAsEmptyText();
    void planRowsCarryNoStampOfTheirOwn();
    void insertWithoutAClearWritesNothing();
    void evalChannelEmptiesItsTableWhenMade();

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
    Reader reader;
    const Rows rows = reader.rows(QStringLiteral("orva_point_data"));
    QCOMPARE(withoutTimeStamps(rows), (Rows{point("3", "C"), point("1", "A"), point("2", "B")}));
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    for (const QStringList &row : rows)
        QVERIFY2(stamp.match(row.last()).hasMatch(), qPrintable(row.last()));
}

void SnapshotTest::aNewExtractionReplacesTheOldRows()
{
    PointThread channel(nullptr);
    extractPoints(channel, {point("1", "A"), point("2", "B"), point("3", "C")});
    extractPoints(channel, {point("7", "X"), point("8", "Y")});
    Reader reader;
    QCOMPARE(withoutTimeStamps(reader.rows(QStringLiteral("orva_point_data"))),
             (Rows{point("7", "X"), point("8", "Y")}));
}

void SnapshotTest::zeroRowsNeverCreateTheTableButEmptyIt()
{
    PointThread channel(nullptr);
    extractPoints(channel, {});
    {
        Reader reader;
        QVERIFY(!reader.hasTable(QStringLiteral("orva_point_data")));
    }
    extractPoints(channel, {point("1", "A")});
    extractPoints(channel, {});
    Reader reader;
    QVERIFY(reader.hasTable(QStringLiteral("orva_point_data")));
    QVERIFY(reader.rows(QStringLiteral("orva_point_data")).isEmpty());
}

void SnapshotTest::abandonedExtractionKeepsThePreviousSnapshot()
{
    PointThread channel(nullptr);
    extractPoints(channel, {point("1", "A"), point("2", "B")});
    channel.clearSnapshot();
    channel.insertSnapshot(point("9", "half-read"));
    channel.abandonSnapshot();
    Reader reader;
    QCOMPARE(withoutTimeStamps(reader.rows(QStringLiteral("orva_point_data"))),
             (Rows{point("1", "A"), point("2", "B")}));
}

void SnapshotTest::outsideReaderSeesOldOrNewNeverHalf()
{
    PointThread channel(nullptr);
    extractPoints(channel, {point("1", "A"), point("2", "B"), point("3", "C")});
    Reader reader;
    channel.clearSnapshot();
    channel.insertSnapshot(point("7", "X"));
    QCOMPARE(reader.rows(QStringLiteral("orva_point_data")).size(), 3);
    channel.insertSnapshot(point("8", "Y"));
    channel.finishSnapshot();
    QCOMPARE(withoutTimeStamps(reader.rows(QStringLiteral("orva_point_data"))),
             (Rows{point("7", "X"), point("8", "Y")}));
}

void SnapshotTest::valuesAreStoredVerbatim_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("quote") << QStringLiteral("O'Brien");
    QTest::newRow("injection") << QStringLiteral("x'); drop table orva_point_data; --");
    QTest::newRow("placeholders") << QStringLiteral("%1 %2 %6 %10");
    QTest::newRow("non-ascii") << QStringLiteral("东门岗亭 🚓");
}

void SnapshotTest::valuesAreStoredVerbatim()
{
    QFETCH(QString, name);
    PointThread channel(nullptr);
    extractPoints(channel, {point("1", name), point("2", "next")});
    Reader reader;
    QCOMPARE(withoutTimeStamps(reader.rows(QStringLiteral("orva_point_data"))),
             (Rows{point("1", name), point("2", "next")}));
}

void SnapshotTest::nullValuesAreStoredAsEmptyText()
{
    PointThread channel(nullptr);
    extractPoints(channel, {{QString(), QString(), QStringLiteral("gate"), QString(), QString()}});
    Reader reader;
    QCOMPARE(withoutTimeStamps(reader.rows(QStringLiteral("orva_point_data"))),
             (Rows{{"", "", "gate", "", ""}}));
}

void SnapshotTest::planRowsCarryNoStampOfTheirOwn()
{
    PlanThread channel(nullptr);
    const QStringList plan = {"5", "2", "08:00", "18:00", "1", "0", "1111100", "2021-06-06", "1", "2", "", "2020-01-01"};
    channel.clearSnapshot();
    channel.insertSnapshot(plan);
    channel.finishSnapshot();
    Reader reader;
    QCOMPARE(reader.rows(QStringLiteral("orva_plan_data")), Rows{plan});
}

void SnapshotTest::insertWithoutAClearWritesNothing()
{
    PointThread channel(nullptr);
    channel.insertSnapshot(point("1", "A"));
    Reader reader;
    QVERIFY(!reader.hasTable(QStringLiteral("orva_point_data")));
}

void SnapshotTest::evalChannelEmptiesItsTableWhenMade()
{
    {
        Reader reader;
        reader.exec(QStringLiteral("create table orva_eval_data (eId text)"));
        reader.exec(QStringLiteral("insert into orva_eval_data values ('old')"));
    }
    EvalThread channel(nullptr);
    Reader reader;
    QVERIFY(reader.rows(QStringLiteral("orva_eval_data")).isEmpty());
}

QTEST_GUILESS_MAIN(SnapshotTest)
#include "tst_snapshot.moc"
