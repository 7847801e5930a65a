// Snapshot rows written by SnapshotInsert against the same rows written through QSqlQuery's
// binding, over generated values: the stored bytes and types must be the same.
#include "store/snapshotinsert.h"
#include "support/generatedtext.h"
#include "support/testsupport.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

namespace {
const QString connection = QStringLiteral("snapshotinsert");
constexpr int columns = 4;

QString createStatement(const QString &table)
{
    return QStringLiteral("create table %1 (a text, b text, c text, d text)").arg(table);
}

QString insertStatement(const QString &table)
{
    return QStringLiteral("insert into %1 values (?, ?, ?, ?)").arg(table);
}

QList<QStringList> rowsOf(const QStringList &strings)
{
    QList<QStringList> rows;
    for (int start = 0; start < strings.size(); start += columns - 1) {
        QStringList row = strings.mid(start, columns - 1);
        while (row.size() < columns - 1)
            row << QString();
        rows << row;
    }
    return rows;
}

// The toolkit's way, as the snapshot was written before: a null value is bound as "".
void insertThroughQuery(QSqlDatabase db, const QList<QStringList> &rows, const QString &stamp)
{
    QSqlQuery query(db);
    QVERIFY2(query.prepare(insertStatement(QStringLiteral("viaquery"))), qPrintable(query.lastError().text()));
    for (const QStringList &values : rows) {
        int position = 0;
        for (const QString &value : values)
            query.bindValue(position++, value.isNull() ? QStringLiteral("") : value);
        query.bindValue(position, stamp);
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    }
}

void insertOnHandle(QSqlDatabase db, const QList<QStringList> &rows, const QString &stamp)
{
    SnapshotInsert insert;
    QVERIFY2(insert.prepare(db, insertStatement(QStringLiteral("viahandle"))), qPrintable(insert.errorText()));
    for (const QStringList &values : rows)
        QVERIFY2(insert.insert(values, stamp), qPrintable(insert.errorText()));
}

// Each stored value's type and bytes, row by row.
QStringList storedValues(QSqlDatabase db, const QString &table)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString select =
        QStringLiteral("select typeof(a)||':'||hex(a)||' '||typeof(b)||':'||hex(b)||' '||typeof(c)||':'||hex(c)"
                       "||' '||typeof(d)||':'||hex(d) from %1 order by rowid")
            .arg(table);
    if (!query.exec(select))
        return {query.lastError().text()};
    QStringList stored;
    while (query.next())
        stored << query.value(0).toString();
    return stored;
}
}

class TestSnapshotInsert : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sameStoredBytesAsQuery_data();
    void sameStoredBytesAsQuery();
    void failuresCarrySqliteText();

private:
    WorkingDir *dir = nullptr;
};

void TestSnapshotInsert::init()
{
    dir = new WorkingDir;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(dir->file(QStringLiteral("snapshot.db")));
    QVERIFY(db.open());
    QSqlQuery query(db);
    QVERIFY(query.exec(createStatement(QStringLiteral("viaquery"))));
    QVERIFY(query.exec(createStatement(QStringLiteral("viahandle"))));
}

void TestSnapshotInsert::cleanup()
{
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
    delete dir;
    dir = nullptr;
}

void TestSnapshotInsert::sameStoredBytesAsQuery_data()
{
    QTest::addColumn<QStringList>("strings");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("every unit alone") << everyUnitAlone() << QStringLiteral("2021-06-06 12:00:00");
    QTest::newRow("surrogates, null and empty") << surrogateCases() << QStringLiteral("");
    QTest::newRow("byte-order marks") << QStringList{units({0xfeff, 'x'}), units({'x', 0xfeff}), units({0xfffe, 'x', 'y'}),
                                                     units({0xfeff, 0xfeff}), units({0xfffe, 0xfeff, 0x4e1c}),
                                                     units({0xfeff, 0xd83d, 0xde00}), units({0xfeff})}
                                      << units({0xfffe, 'z'});
    QRandomGenerator random(20210609);
    QStringList randomStrings;
    for (int i = 0; i < 20000; ++i)
        randomStrings << randomString(random);
    QTest::newRow("seeded random") << randomStrings << randomString(random);
    QTest::newRow("long values") << QStringList{QString(100000, QChar(0x4e1c)), QString(70000, QChar('"'))}
                                 << units({0xd83d});
}

void TestSnapshotInsert::sameStoredBytesAsQuery()
{
    QFETCH(QStringList, strings);
    QFETCH(QString, stamp);
    QSqlDatabase db = QSqlDatabase::database(connection);
    const QList<QStringList> rows = rowsOf(strings);
    // One transaction, as a snapshot is written, rather than a file sync per row.
    QVERIFY(db.transaction());
    insertThroughQuery(db, rows, stamp);
    insertOnHandle(db, rows, stamp);
    QVERIFY(db.commit());
    const QStringList expected = storedValues(db, QStringLiteral("viaquery"));
    QCOMPARE(expected.size(), rows.size());
    QCOMPARE(storedValues(db, QStringLiteral("viahandle")), expected);
}

void TestSnapshotInsert::failuresCarrySqliteText()
{
    QSqlDatabase db = QSqlDatabase::database(connection);
    SnapshotInsert insert;
    QVERIFY(!insert.prepare(db, insertStatement(QStringLiteral("absent"))));
    QCOMPARE(insert.errorText(), QStringLiteral("no such table: absent"));
    QSqlQuery(db).exec(QStringLiteral("create table unique_a (a text unique, b text, c text, d text)"));
    QVERIFY(insert.prepare(db, insertStatement(QStringLiteral("unique_a"))));
    QVERIFY(insert.insert({"x", "", ""}, QStringLiteral("t")));
    QVERIFY(!insert.insert({"x", "", ""}, QStringLiteral("t")));
    QCOMPARE(insert.errorText(), QStringLiteral("UNIQUE constraint failed: unique_a.a"));
    QVERIFY(insert.insert({"y", "", ""}, QStringLiteral("t")));
    insert.release();
    db.close();
    QVERIFY(!insert.prepare(db, insertStatement(QStringLiteral("unique_a"))));
    QVERIFY(!insert.errorText().isEmpty());
}

QTEST_GUILESS_MAIN(TestSnapshotInsert)
#include "tst_snapshotinsert.moc"
