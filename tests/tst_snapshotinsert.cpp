// Snapshot rows written on the SQLite handle against the same rows written through
// QSqlQuery, both by SnapshotInsert, over generated values: the stored bytes and types must
// be the same. Where the build has no handle way, or FERNWICK_SNAPSHOT_THROUGH_QUERY is set,
// both go through QSqlQuery, and the other cases hold the QSqlQuery way to the same bytes.
#include "store/snapshotinsert.h"
#include "support/generatedtext.h"
#include "support/testsupport.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

namespace {
const QString connection = QStringLiteral("snapshotinsert");

QString insertStatement(const QString &table)
{
    return QStringLiteral("insert into %1 values (?, ?, ?, ?)").arg(table);
}

using Route = SnapshotInsert::Route;

void insertRows(QSqlDatabase db, const QString &table, Route route, const QList<QStringList> &rows,
                const QString &stamp)
{
    SnapshotInsert insert(route);
    QVERIFY2(insert.prepare(db, insertStatement(table)), qPrintable(insert.errorText()));
    for (const QStringList &values : rows)
        QVERIFY2(insert.insert(values, stamp), qPrintable(insert.errorText()));
}

// The handle is taken wherever the build allows it, since this program links the SQLite
// that Debian's Qt driver runs on, unless the test is told to run the QSqlQuery way.
bool handleExpected()
{
#ifdef FERNWICK_SNAPSHOT_MAY_USE_SQLITE_HANDLE
    return !qEnvironmentVariableIsSet("FERNWICK_SNAPSHOT_THROUGH_QUERY");
#else
    return false;
#endif
}

// Each stored value's type and bytes, row by row.
QStringList storedValues(QSqlDatabase db, const QString &table)
{
    QSqlQuery query(db);
    QStringList typedBytes;
    for (const char *column : {"a", "b", "c", "d"})
        typedBytes << QStringLiteral("typeof(%1)||':'||hex(%1)").arg(QLatin1String(column));
    if (!query.exec(QStringLiteral("select %1 from %2 order by rowid").arg(typedBytes.join("||' '||"), table)))
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
    void takesTheHandleWhereItMay();
    void sameStoredBytesAsQuery_data();
    void sameStoredBytesAsQuery();
    void storesTextExactly_data();
    void storesTextExactly();
    void failuresCarrySqliteText();
    void refusesMoreValuesThanPlaceholders_data();
    void refusesMoreValuesThanPlaceholders();

private:
    std::unique_ptr<WorkingDir> dir;
};

void TestSnapshotInsert::init()
{
    dir.reset(new WorkingDir);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(dir->file(QStringLiteral("snapshot.db")));
    QVERIFY(db.open());
    for (const char *table : {"viaquery", "viahandle"})
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("create table %1 (a text, b text, c text, d text)").arg(QLatin1String(table))));
}

void TestSnapshotInsert::cleanup()
{
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
    dir.reset();
}

void TestSnapshotInsert::takesTheHandleWhereItMay()
{
    QSqlDatabase db = QSqlDatabase::database(connection);
    SnapshotInsert fastest;
    QVERIFY(fastest.prepare(db, insertStatement(QStringLiteral("viahandle"))));
    QCOMPARE(fastest.onSqliteHandle(), handleExpected());
    SnapshotInsert throughQuery(Route::ThroughQuery);
    QVERIFY(throughQuery.prepare(db, insertStatement(QStringLiteral("viaquery"))));
    QVERIFY(!throughQuery.onSqliteHandle());
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
    const QList<QStringList> rows = rowsOf(strings, 3);
    // One transaction, as a snapshot is written, rather than a file sync per row.
    QVERIFY(db.transaction());
    insertRows(db, QStringLiteral("viaquery"), Route::ThroughQuery, rows, stamp);
    insertRows(db, QStringLiteral("viahandle"), Route::Fastest, rows, stamp);
    QVERIFY(db.commit());
    const QStringList expected = storedValues(db, QStringLiteral("viaquery"));
    QCOMPARE(expected.size(), rows.size());
    QCOMPARE(storedValues(db, QStringLiteral("viahandle")), expected);
}

void TestSnapshotInsert::storesTextExactly_data()
{
    QTest::addColumn<QString>("text");
    for (const QString &text : {units({0xfeff, 'x'}), units({0xfffe, 'x', 'y'}), units({0xfeff}), units({0xfffe}),
                                units({0xfeff, 0xfeff}), units({0xfffe, 0xfeff, 0x4e1c}), units({'x', 0xfeff})})
        QTest::newRow(qPrintable(QString::fromLatin1(text.toUtf8().toHex()))) << text;
}

// Text with a UTF-8 form is stored as that form, a leading U+FEFF or U+FFFE too.
void TestSnapshotInsert::storesTextExactly()
{
    QFETCH(QString, text);
    QSqlDatabase db = QSqlDatabase::database(connection);
    insertRows(db, QStringLiteral("viahandle"), Route::Fastest, {{text, text, text}}, text);
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("select hex(a), hex(b), hex(c), hex(d) from viahandle")));
    QVERIFY(query.next());
    for (int column = 0; column < 4; ++column)
        QCOMPARE(query.value(column).toString(), QString::fromLatin1(text.toUtf8().toHex().toUpper()));
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

void TestSnapshotInsert::refusesMoreValuesThanPlaceholders_data()
{
    QTest::addColumn<bool>("throughQuery");
    QTest::newRow("fastest") << false;
    QTest::newRow("through query") << true;
}

// A row with more values than the statement has placeholders is refused, on either way.
void TestSnapshotInsert::refusesMoreValuesThanPlaceholders()
{
    QFETCH(bool, throughQuery);
    QSqlDatabase db = QSqlDatabase::database(connection);
    SnapshotInsert insert(throughQuery ? Route::ThroughQuery : Route::Fastest);
    QVERIFY(insert.prepare(db, insertStatement(QStringLiteral("viaquery"))));
    QVERIFY(!insert.insert({"a", "b", "c", "d"}, QStringLiteral("t")));
    QVERIFY(!insert.errorText().isEmpty());
    QCOMPARE(storedValues(db, QStringLiteral("viaquery")), QStringList());
}

QTEST_GUILESS_MAIN(TestSnapshotInsert)
#include "tst_snapshotinsert.moc"
