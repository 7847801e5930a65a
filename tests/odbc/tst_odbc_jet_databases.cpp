// Real Jet files through QODBC, connected exactly as the application connects: the
// tables of the two sample databases, Access SQL over them, their passwords, and damaged
// or foreign files, none of which is ever written to.

#include "storage/jet/jet_header.h"
#include "mdbexport.h"
#include "odbcfixture.h"

#include <QDir>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlIndex>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QRegularExpression>

#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

#include <sql.h>
#include <sqlext.h>

using namespace accessodbc;
using namespace odbcfixture;

namespace {

const QString kSamples = QStringLiteral(FERNWICK_MDB_SAMPLES);

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray withPassword(QByteArray bytes, const std::string &password)
{
    const jet::Kind kind = jet::recognise(reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()));
    auto *page = reinterpret_cast<unsigned char *>(bytes.data());
    return jet::writePassword(page, size_t(bytes.size()), kind, password) ? bytes : QByteArray();
}

// The rows of SQLStatistics for a table, asked on the ODBC connection under db: each
// index column as NON_UNIQUE|INDEX_NAME|ORDINAL_POSITION|COLUMN_NAME|ASC_OR_DESC.
QStringList indexColumns(QSqlDatabase db, const QString &table)
{
    SQLHANDLE connection = *static_cast<const SQLHANDLE *>(db.driver()->handle().data());
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &stmt)))
        return {QStringLiteral("<no statement>")};
    QByteArray name = table.toUtf8();
    QStringList rows;
    if (!SQL_SUCCEEDED(SQLStatistics(stmt, nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR *>(name.data()), SQL_NTS,
                                     SQL_INDEX_ALL, SQL_QUICK)))
        rows << QStringLiteral("<failed>");
    while (SQLFetch(stmt) == SQL_SUCCESS) {
        QStringList values;
        for (SQLUSMALLINT column : {4, 6, 8, 9, 10}) {
            char value[128] = {};
            SQLLEN indicator = 0;
            SQLGetData(stmt, column, SQL_C_CHAR, value, sizeof value, &indicator);
            values << (indicator == SQL_NULL_DATA ? QStringLiteral("NULL") : QString::fromUtf8(value));
        }
        if (values[1] != QLatin1String("NULL")) // the table's own row
            rows << values.join(QLatin1Char('|'));
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rows;
}

// The records mdb-export finds in a table whose values hold no line breaks.
int exportedRows(const QString &path, const QString &table)
{
    QProcess exporter;
    exporter.start(QStringLiteral("mdb-export"), {path, table});
    if (!exporter.waitForFinished(30000) || exporter.exitCode() != 0)
        return -1;
    return exporter.readAllStandardOutput().count('\n') - 1;
}

// Jet 3 marks a row as deleted in the high byte of its entry in the page's row offset table.
QByteArray withFirstRowDeleted(QByteArray bytes, int dataPage)
{
    const int rowOffsetTable = 10;
    bytes[dataPage * 2048 + rowOffsetTable + 1] = char(bytes.at(dataPage * 2048 + rowOffsetTable + 1) | 0x40);
    return bytes;
}

// DateTestDatabase.mdb with its DateTimeCol declared a Replication ID: in a Jet 4 table
// definition the column entries (25 bytes: the type first, the size at 23) follow 63 bytes of
// head and 12 bytes per real index; DateTest's definition is page 18, with no index, and
// DateTimeCol its second entry. The 16 bytes of the field are then DateTimeCol's and DateCol's.
QByteArray withReplicationIdColumn(QByteArray bytes)
{
    const int entry = 18 * 4096 + 63 + 25;
    if (bytes.size() < entry + 25 || bytes.at(entry) != 8 /* Date/Time */ || bytes.at(entry + 23) != 8)
        return QByteArray();
    bytes[entry] = 15; // Replication ID
    bytes[entry + 23] = 16;
    return bytes;
}

// mdb-export prints the last two groups of a GUID as one; Access's form has a hyphen between
// them: {8-4-4-4-12 digits}.
QString accessGuidText(const QString &exported) { return QString(exported).insert(24, QLatin1Char('-')); }

// The SQLGUID a GUID's text stands for (the GUID structure's fields in the order the groups
// name them: Data1, Data2, Data3, then Data4's eight bytes).
QByteArray guidStruct(const QString &exported)
{
    const QString digits = QString(exported).remove(QRegularExpression(QStringLiteral("[{}-]")));
    SQLGUID guid = {};
    guid.Data1 = digits.mid(0, 8).toUInt(nullptr, 16);
    guid.Data2 = digits.mid(8, 4).toUShort(nullptr, 16);
    guid.Data3 = digits.mid(12, 4).toUShort(nullptr, 16);
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<unsigned char>(digits.mid(16 + 2 * i, 2).toUShort(nullptr, 16));
    return QByteArray(reinterpret_cast<const char *>(&guid), sizeof guid);
}

QStringList columnValues(QSqlDatabase db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return {query.lastError().text()};
    QStringList values;
    while (query.next())
        values << query.value(0).toString();
    return values;
}

// Puts the file's modification time where it was (or a second after), as a copy with the
// same time would have it; the clock is never read.
bool setModified(const QString &path, const struct stat &before, int secondsLater)
{
    struct timespec times[2] = {before.st_atim, before.st_mtim};
    times[1].tv_sec += secondsLater;
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

SQLHDBC odbcHandle(QSqlDatabase db) { return *static_cast<const SQLHANDLE *>(db.driver()->handle().data()); }

QString textColumn(SQLHSTMT stmt, SQLUSMALLINT column)
{
    char value[128] = {};
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(SQLGetData(stmt, column, SQL_C_CHAR, value, sizeof value, &indicator)))
        return QStringLiteral("<failed>");
    return indicator == SQL_NULL_DATA ? QString() : QString::fromUtf8(value);
}

} // namespace

class TestJetDatabases : public QObject {
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QStringList connectionNames;

    QString sample(const QString &name)
    {
        return QDir(kSamples).filePath(name);
    }

    bool samplesPresent()
    {
        return QFile::exists(sample(QStringLiteral("nwind.mdb"))) && QFile::exists(sample(QStringLiteral("DateTestDatabase.mdb")));
    }

    QSqlDatabase open(const QString &path, const QString &password = QString())
    {
        const QString name = QStringLiteral("jet%1").arg(connectionNames.size());
        connectionNames << name;
        QSqlDatabase db = accessDatabase(name, path, password);
        db.open();
        return db;
    }

    QString openError(const QString &path, const QString &password = QString())
    {
        QSqlDatabase db = open(path, password);
        return db.isOpen() ? QString() : db.lastError().text();
    }

    QVariant scalar(QSqlDatabase db, const QString &sql)
    {
        QSqlQuery query(db);
        if (query.exec(sql) && query.next())
            return query.value(0);
        qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return QVariant();
    }

private slots:
    void initTestCase()
    {
        const QString problem = odbcfixture::localeNotInEffect();
        if (!problem.isEmpty())
            QFAIL(qPrintable(problem));
    }

    void init()
    {
        if (!samplesPresent())
            QSKIP(qPrintable(QStringLiteral("The sample Jet databases are not in %1").arg(kSamples)));
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
    }

    void cleanup()
    {
        for (const QString &name : connectionNames)
            QSqlDatabase::removeDatabase(name);
        connectionNames.clear();
        delete dir;
        dir = nullptr;
    }

    void catalogListsExactlyTheUserTables()
    {
        QStringList tables = open(sample(QStringLiteral("nwind.mdb"))).tables();
        tables.sort();
        QCOMPARE(tables, QStringList({"Categories", "Customers", "Employees", "Order Details", "Orders", "Products",
                                      "Shippers", "Suppliers", QStringLiteral("Umsätze")}));
    }

    // Each row's values as text joined by '|', "NULL" for NULL; Qt renders a
    // date-time as ISO with a 'T', a Yes/No as true or false.
    void valuesReadAsAccessHoldsThem_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("expected");
        const QString nwind = QStringLiteral("nwind.mdb");
        const QString dates = QStringLiteral("DateTestDatabase.mdb");
        // Every table holds as many rows as mdb-export finds (records, not lines: some
        // memos hold line breaks).
        const auto rows = [](const QString &file, const QString &table, int count) {
            QTest::addRow("rows in %s", qPrintable(table))
                << file << "select count(*) from " + table << QStringList{QString::number(count)};
        };
        rows(nwind, "[Order Details]", 2155);
        rows(nwind, "Orders", 830);
        rows(nwind, QStringLiteral("[Umsätze]"), 830);
        rows(dates, "DateTest", 6);
        QTest::newRow("Jet 3 text, date, currency")
            << nwind << "select OrderID, CustomerID, OrderDate, Freight, ShipName, ShipCity, ShipRegion "
                        "from [Umsätze] where OrderID = 10332"
            << QStringList{"10332|MEREP|1994-11-17T00:00:00.000|52.84|Mère Paillarde|Montréal|Québec"};
        QTest::newRow("NULL") << nwind << "select ShipRegion from Orders where OrderID = 10331" << QStringList{"NULL"};
        QTest::newRow("currency and single as text")
            << nwind << "select CStr(UnitPrice), CStr(Discount) from [Order Details] "
                        "where OrderID = 10332 and ProductID = 42" << QStringList{"11.2|0.2"};
        QTest::newRow("Yes/No value") << nwind << "select Discontinued from Products where ProductID = 5"
                                      << QStringList{"1"};
        QTest::newRow("Jet 4 dates across the range")
            << dates << "select IDCol, CStr(DateTimeCol), CStr(DateCol), CStr(TimeCol) from DateTest "
                        "where IDCol in (1, 2, 3, 4) order by IDCol"
            << QStringList{"1|2021-12-02|2021-12-02|2021-12-02", "2|9999-01-01|9999-01-01|9999-01-01",
                           "3|1898-01-01|1899-01-01|1900-01-01", "4|0632-01-01|0633-01-01|0634-01-01"};
        QTest::newRow("Jet 4 date before day zero") << dates << "select DateTimeCol from DateTest where IDCol = 3"
                                                    << QStringList{"1898-01-01T00:00:00.000"};
        QTest::newRow("Jet 4 text and memo keep line breaks")
            << dates << "select LongTextCol, ShortTextCol from DateTest where IDCol = 6"
            << QStringList{"New line\r\nin field|No new line"};
        // Access SQL over Jet's own dates, currency and Yes/No (answers checked against mdb-export).
        QTest::newRow("date literals") << nwind << "select count(*) from Orders where OrderDate between #1/1/1995# "
                                                  "and #3/31/1995#" << QStringList{"93"};
        QTest::newRow("TOP n by currency") << nwind << "select top 3 ProductName from Products order by UnitPrice desc"
                               << QStringList{QString::fromUtf8("Côte de Blaye"), QString::fromUtf8("Thüringer Rostbratwurst"),
                                              "Mishi Kobe Niku"};
        QTest::newRow("Year and GROUP BY") << nwind << "select Year(OrderDate), count(*) from Orders "
                                                       "group by Year(OrderDate) order by Year(OrderDate)"
                                           << QStringList{"1994|121", "1995|391", "1996|318"};
        QTest::newRow("text compared without case, currency summed")
            << nwind << "select count(*), CStr(Sum(Freight)) from Orders where ShipCity = 'london'"
            << QStringList{"33|2118.67"};
        QTest::newRow("Yes/No against True") << nwind << "select count(*) from Products where Discontinued = True"
                                             << QStringList{"8"};
        QTest::newRow("Access SQL as the application writes it")
            << nwind << "SELECT CStr(o.OrderID) AS oID, (select CompanyName from Customers where CustomerID = "
                        "o.CustomerID) AS Company, CStr(o.Freight) AS oFreight FROM Orders AS o;"
            << QStringList{"10330|LILA-Supermercado|12.75", "10331|Bon app'|10.19", "830 rows"};
    }

    void valuesReadAsAccessHoldsThem()
    {
        QFETCH(QString, file);
        QFETCH(QString, sql);
        QFETCH(QStringList, expected);
        QSqlQuery query(open(sample(file)));
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
        QStringList lines;
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
            lines << values.join(QLatin1Char('|'));
        }
        if (lines.size() > 10) // long results: the first two rows and the count
            lines = lines.mid(0, 2) << QStringLiteral("%1 rows").arg(lines.size());
        QCOMPARE(lines, expected);
    }

    void memoAndPictureArriveWhole()
    {
        QSqlDatabase db = open(sample(QStringLiteral("nwind.mdb")));
        const QString notes = scalar(db, QStringLiteral("select Notes from Employees where EmployeeID = 1")).toString();
        QVERIFY(notes.startsWith(QStringLiteral("Education includes a BA in psychology")));
        QCOMPARE(notes.size(), 175);
        const QByteArray photo = scalar(db, QStringLiteral("select Photo from Employees where EmployeeID = 3")).toByteArray();
        QCOMPARE(photo.size(), 21722);
        QCOMPARE(photo.left(4), QByteArray::fromHex("151C2F00"));
    }

    // The password is kept masked in the header and compared with its case.
    void databasePasswordIsChecked_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("password");
        QTest::newRow("Jet 3") << "nwind.mdb" << QStringLiteral("Secret97");
        QTest::newRow("Jet 4") << "DateTestDatabase.mdb" << QStringLiteral("Kennwort");
        QTest::newRow("Jet 4 non-ASCII") << "DateTestDatabase.mdb" << QStringLiteral("Größe€");
        QTest::newRow("Jet 4 longest") << "DateTestDatabase.mdb" << QStringLiteral("abcdefghijklmnopqrst");
    }

    void databasePasswordIsChecked()
    {
        QFETCH(QString, file);
        QFETCH(QString, password);
        const QString path = dir->filePath(file);
        const QByteArray locked = withPassword(readAll(sample(file)), password.toStdString());
        QVERIFY(!locked.isEmpty() && !locked.left(4096).contains(password.toUtf8()));
        QVERIFY(writeAll(path, locked));
        QVERIFY(openError(path, password.toUpper()).contains(QStringLiteral("Not a valid password.")));
        QVERIFY(openError(path).contains(QStringLiteral("Not a valid password.")));
        QCOMPARE(openError(path, password), QString());
        QCOMPARE(openError(sample(file), QStringLiteral("whatever")), QString());
    }

    void damagedFilesFailTheConnectAndStayUntouched_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        // The rows are made from the samples; without them init() skips the test, and these
        // rows, built before it, are not made at all.
        if (!samplesPresent())
            return;
        const QByteArray nwind = readAll(sample(QStringLiteral("nwind.mdb")));
        const QByteArray jet4 = readAll(sample(QStringLiteral("DateTestDatabase.mdb")));
        QTest::newRow("cut mid-page") << nwind.left(nwind.size() / 2 + 100) << "truncated";
        QTest::newRow("cut at a page boundary") << nwind.left(100 * 2048) << "can be read";
        QTest::newRow("cut to its header") << jet4.left(4096) << "too short";
        QByteArray random(100000, '\0');
        QRandomGenerator seeded(20261208);
        for (char &byte : random)
            byte = char(seeded.generate());
        QTest::newRow("random bytes") << random << "Unrecognized database format";
        QByteArray unknownVersion = nwind;
        unknownVersion[0x14] = 7;
        QTest::newRow("unknown Jet version")
            << unknownVersion << "Unrecognized database format '%1'. The Jet version of the database is unknown "
                                 "(version byte 7).";
        QTest::newRow("empty") << QByteArray() << "Unrecognized database format";
        // Page 583 is the one data page of Shippers: libmdb then reads one row fewer than the
        // table's definition counts, and both counts come from mdb-export.
        const QByteArray oneRowGone = withFirstRowDeleted(nwind, 583);
        QTemporaryDir exportDir;
        const QString damagedCopy = exportDir.filePath(QStringLiteral("one-row-gone.mdb"));
        QVERIFY(writeAll(damagedCopy, oneRowGone));
        const int counted = exportedRows(sample(QStringLiteral("nwind.mdb")), QStringLiteral("Shippers"));
        const int readable = exportedRows(damagedCopy, QStringLiteral("Shippers"));
        QCOMPARE(readable, counted - 1);
        QTest::newRow("one row fewer than counted")
            << oneRowGone << QStringLiteral("table Shippers holds %1 rows, of which only %2 can be read")
                                 .arg(counted)
                                 .arg(readable);
    }

    void damagedFilesFailTheConnectAndStayUntouched()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString path = dir->filePath(QStringLiteral("GuardTour_DB.mdb"));
        QVERIFY(writeAll(path, bytes));
        const QByteArray before = fileChecksum(path);
        const QString error = openError(path);
        QVERIFY2(error.contains(QString(message).replace(QStringLiteral("%1"), path)), qPrintable(error));
        QCOMPARE(fileChecksum(path), before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({QStringLiteral("GuardTour_DB.mdb")}));
    }

    void readingLeavesTheFileAndItsFolderAsTheyWere()
    {
        // A copy in the test's own directory, so that any file appearing beside it is seen.
        const QString path = dir->filePath(QStringLiteral("nwind.mdb"));
        QVERIFY(QFile::copy(sample(QStringLiteral("nwind.mdb")), path));
        const QByteArray before = fileChecksum(path);
        {
            QSqlDatabase db = open(path);
            QSqlQuery query(db);
            QVERIFY(!query.exec(QStringLiteral("delete from Orders")));
            QVERIFY(query.lastError().text().contains(QStringLiteral("read-only")));
            QCOMPARE(scalar(db, QStringLiteral("select count(*) from Orders")).toInt(), 830);
        }
        QCOMPARE(fileChecksum(path), before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({QStringLiteral("nwind.mdb")}));
    }

    // Primary key and indexes as libmdb reads them from the Jet index definitions (as
    // mdb-schema lists them), NOT NULL from a field's Required property or its key.
    void schemaFollowsTheJetDefinitions_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("primaryKey");
        QTest::addColumn<QStringList>("required");
        QTest::addColumn<QStringList>("indexes"); // NON_UNIQUE|INDEX_NAME|ORDINAL_POSITION|COLUMN_NAME|ASC_OR_DESC
        QTest::newRow("two-column key") << "Order Details" << QStringList{"OrderID", "ProductID"}
                                        << QStringList{"OrderID", "ProductID", "UnitPrice", "Quantity", "Discount"}
                                        << QStringList{"0|PrimaryKey|1|OrderID|A", "0|PrimaryKey|2|ProductID|A",
                                                       "1|OrderID|1|OrderID|A", "1|ProductID|1|ProductID|A"};
        QTest::newRow("unique index") << "Categories" << QStringList{"CategoryID"}
                                      << QStringList{"CategoryID", "CategoryName"}
                                      << QStringList{"0|CategoryName|1|CategoryName|A", "0|PrimaryKey|1|CategoryID|A"};
        QTest::newRow("only the key required") << "Shippers" << QStringList{"ShipperID"}
                                               << QStringList{"ShipperID", "CompanyName"}
                                               << QStringList{"0|PrimaryKey|1|ShipperID|A"};
    }

    void schemaFollowsTheJetDefinitions()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, primaryKey);
        QFETCH(QStringList, required);
        QFETCH(QStringList, indexes);
        QSqlDatabase db = open(sample(QStringLiteral("nwind.mdb")));
        const QSqlIndex key = db.primaryIndex(table);
        QStringList keyColumns;
        for (int i = 0; i < key.count(); ++i)
            keyColumns << key.fieldName(i);
        QCOMPARE(keyColumns, primaryKey);
        // The table's record comes from SQLColumns, a query's from SQLDescribeCol.
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("select * from [%1]").arg(table)));
        for (const QSqlRecord &record : {db.record(table), query.record()}) {
            QStringList requiredColumns;
            for (int i = 0; i < record.count(); ++i) {
                if (record.field(i).requiredStatus() == QSqlField::Required)
                    requiredColumns << record.fieldName(i);
            }
            QCOMPARE(requiredColumns, required);
        }
        QCOMPARE(indexColumns(db, table), indexes);
    }

    // A connection to a Jet file that has not changed reads the copy an earlier connection
    // made of it, while any connection to that copy is open; a file that is another file, or
    // has another size or modification time, is read again. Each row overwrites the file
    // while a first connection is open and connects again: zeros of the same size put in
    // place with the time put back are not read (the values are the copy's), any other
    // change is. The first connection goes on reading its copy, and once every connection
    // is closed the copy is gone: a connect then reads the file as it is.
    void connectionsShareTheCopyOfAnUnchangedFile_data()
    {
        QTest::addColumn<QString>("replacement"); // zeros, or the other sample
        QTest::addColumn<bool>("renamedOver");    // a new file put in its place, or written in place
        QTest::addColumn<int>("secondsLater");     // the modification time after the change
        QTest::addColumn<QString>("secondReads");  // what the second connection finds
        QTest::addColumn<QString>("afterClosing"); // what a connect finds once both are closed
        QTest::newRow("same file, size and time") << "zeros" << false << 0 << "nwind" << "refused";
        QTest::newRow("time moved on") << "zeros" << false << 1 << "refused" << "refused";
        QTest::newRow("another size") << "DateTest" << false << 0 << "DateTest" << "DateTest";
        QTest::newRow("another file, same size and time") << "zeros" << true << 0 << "refused" << "refused";
    }

    void connectionsShareTheCopyOfAnUnchangedFile()
    {
        QFETCH(QString, replacement);
        QFETCH(bool, renamedOver);
        QFETCH(int, secondsLater);
        QFETCH(QString, secondReads);
        QFETCH(QString, afterClosing);
        const QString nwind = sample(QStringLiteral("nwind.mdb")), dates = sample(QStringLiteral("DateTestDatabase.mdb"));
        const QStringList orders = mdbExport(nwind, QStringLiteral("Orders")).values(QStringLiteral("OrderID"));
        const QStringList texts = mdbExport(dates, QStringLiteral("DateTest")).values(QStringLiteral("ShortTextCol"));
        QVERIFY(orders.size() > 800 && texts.size() == 6);
        const QString readOrders = QStringLiteral("select * from Orders"); // OrderID first, in the order of the file
        const QString readTexts = QStringLiteral("select ShortTextCol from DateTest");
        const QString path = dir->filePath(QStringLiteral("site.mdb"));
        QVERIFY(QFile::copy(nwind, path));
        struct stat before;
        QCOMPARE(stat(QFile::encodeName(path).constData(), &before), 0);
        QSqlDatabase first = open(path);
        QCOMPARE(columnValues(first, readOrders), orders);

        const QByteArray bytes = replacement == QLatin1String("zeros") ? QByteArray(int(before.st_size), '\0')
                                                                       : readAll(dates);
        const QString written = renamedOver ? dir->filePath(QStringLiteral("new.mdb")) : path;
        QVERIFY(writeAll(written, bytes));
        QVERIFY(setModified(written, before, secondsLater));
        QVERIFY(!renamedOver || ::rename(QFile::encodeName(written).constData(), QFile::encodeName(path).constData()) == 0);

        const auto reading = [&](QSqlDatabase db) -> QStringList {
            if (!db.isOpen())
                return {db.lastError().text().contains(QStringLiteral("Unrecognized database format")) ? "refused"
                                                                                                      : db.lastError().text()};
            if (columnValues(db, readOrders) == orders)
                return {QStringLiteral("nwind")};
            return {columnValues(db, readTexts) == texts ? QStringLiteral("DateTest") : QStringLiteral("other")};
        };
        QSqlDatabase second = open(path);
        QCOMPARE(reading(second), QStringList{secondReads});
        QCOMPARE(columnValues(first, readOrders), orders);
        first.close();
        second.close();
        QCOMPARE(reading(open(path)), QStringList{afterClosing});
    }

    // A Replication ID is SQL_GUID to SQLDescribeCol, SQLColAttribute and SQLColumns (as the
    // ODBC reference's appendix D sizes a GUID, 36 characters); its value reads as Access shows
    // it and as an SQLGUID, each computed from mdb-export's text of the same field.
    void replicationIdIsAGuid()
    {
        const QString path = dir->filePath(QStringLiteral("replication.mdb"));
        const QByteArray bytes = withReplicationIdColumn(readAll(sample(QStringLiteral("DateTestDatabase.mdb"))));
        QVERIFY(!bytes.isEmpty() && writeAll(path, bytes));
        const ExportedTable exported = mdbExport(path, QStringLiteral("DateTest"), QStringLiteral("raw"));
        const QStringList guids = exported.values(QStringLiteral("DateTimeCol"));
        QCOMPARE(guids.size(), 6);
        QSqlDatabase db = open(path);
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        QVERIFY(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, odbcHandle(db), &stmt)));
        QByteArray sql("select DateTimeCol from DateTest");
        QVERIFY(SQL_SUCCEEDED(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(sql.data()), SQL_NTS)));
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        QVERIFY(SQL_SUCCEEDED(SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, &type, &size, nullptr, nullptr)));
        QCOMPARE(type, SQLSMALLINT(SQL_GUID));
        QCOMPARE(size, SQLULEN(36));
        char typeName[32] = {};
        QVERIFY(SQL_SUCCEEDED(SQLColAttribute(stmt, 1, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, nullptr, nullptr)));
        QCOMPARE(QByteArray(typeName), QByteArray("GUID"));
        SQLLEN concise = 0;
        QVERIFY(SQL_SUCCEEDED(SQLColAttribute(stmt, 1, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &concise)));
        QCOMPARE(concise, SQLLEN(SQL_GUID));
        for (const QString &guid : guids) {
            QCOMPARE(SQLFetch(stmt), SQLRETURN(SQL_SUCCESS));
            QCOMPARE(textColumn(stmt, 1), accessGuidText(guid));
            SQLGUID value = {};
            SQLLEN indicator = 0;
            QVERIFY(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_GUID, &value, sizeof value, &indicator)));
            QCOMPARE(indicator, SQLLEN(sizeof value));
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(&value), sizeof value), guidStruct(guid));
        }
        QCOMPARE(SQLFetch(stmt), SQLRETURN(SQL_NO_DATA));
        SQLCloseCursor(stmt);
        QByteArray table("DateTest"), column("DateTimeCol");
        QVERIFY(SQL_SUCCEEDED(SQLColumns(stmt, nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR *>(table.data()), SQL_NTS,
                                         reinterpret_cast<SQLCHAR *>(column.data()), SQL_NTS)));
        QCOMPARE(SQLFetch(stmt), SQLRETURN(SQL_SUCCESS));
        QCOMPARE(textColumn(stmt, 5) + '|' + textColumn(stmt, 6) + '|' + textColumn(stmt, 7),
                 QStringLiteral("%1|GUID|36").arg(SQL_GUID));
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }

    // Currency is a 64-bit count of ten-thousandths; the extremes have more digits than a
    // double keeps. Recorded mutations put them into the UnitPrice field (263.5 in the
    // sample) of two rows of Order Details.
    void currencyKeepsEveryDigit_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::newRow("largest, CStr") << "select CStr(UnitPrice) from [Order Details] where OrderID = 10518 "
                                          "and ProductID = 38" << "922337203685477.5807";
        QTest::newRow("smallest, column text") << "select UnitPrice from [Order Details] where OrderID = 10541 "
                                                  "and ProductID = 38" << "-922337203685477.5808";
        QTest::newRow("compared as a number")
            << "select count(*) from [Order Details] where UnitPrice > 900000000000000 or UnitPrice < -1E+14" << "2";
        QTest::newRow("computed as a number")
            << "select count(*) from [Order Details] where UnitPrice / 2 > 400000000000000" << "1";
        QTest::newRow("column type") << "select UnitPrice from [Order Details] where OrderID = 10332 and ProductID = 42"
                                     << "11.2 DECIMAL(19,4)";
        // The smallest amount plus the 14.0000 mdb-export gives for order 10248's product 11.
        QTest::newRow("summed exactly")
            << "select Sum(UnitPrice) from [Order Details] where (OrderID = 10541 and ProductID = 38) "
               "or (OrderID = 10248 and ProductID = 11)" << "-922337203685463.5808 DECIMAL(19,4)";
    }

    void currencyKeepsEveryDigit()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        const struct {
            int offset;
            qint64 tenThousandths;
        } mutations[] = {{937705, std::numeric_limits<qint64>::max()}, {939897, std::numeric_limits<qint64>::min()}};
        QByteArray bytes = readAll(sample(QStringLiteral("nwind.mdb")));
        for (const auto &mutation : mutations) {
            qint64 original = 0;
            std::memcpy(&original, bytes.constData() + mutation.offset, sizeof original);
            QCOMPARE(original, qint64(2635000));
            bytes.replace(mutation.offset, sizeof mutation.tenThousandths,
                          reinterpret_cast<const char *>(&mutation.tenThousandths), sizeof mutation.tenThousandths);
        }
        const QString path = dir->filePath(QStringLiteral("nwind.mdb"));
        QVERIFY(writeAll(path, bytes));
        QSqlQuery query(open(path));
        query.setNumericalPrecisionPolicy(QSql::HighPrecision);
        QVERIFY2(query.exec(sql) && query.next(), qPrintable(query.lastError().text()));
        QString value = query.value(0).toString();
        const QSqlField field = query.record().field(0);
        if (expected.endsWith(QLatin1Char(')')))
            value += QStringLiteral(" %1(%2,%3)").arg(field.typeID() == SQL_DECIMAL ? "DECIMAL" : "other")
                         .arg(field.length()).arg(field.precision());
        QCOMPARE(value, expected);
    }
};

QTEST_GUILESS_MAIN(TestJetDatabases)
#include "tst_odbc_jet_databases.moc"
