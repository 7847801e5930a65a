// Real Jet files through QODBC, connected exactly as the application connects: every
// table of the two sample databases, Access SQL over them, their passwords, and damaged
// or foreign files, none of which is ever written to.

#include "jet_header.h"
#include "odbcfixture.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

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

    // A copy in the test's own directory, so that any file appearing beside it is seen.
    QString copyOfSample(const QString &name)
    {
        const QString copy = dir->filePath(name);
        QFile::copy(sample(name), copy);
        return copy;
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

    QList<QVariantList> rows(QSqlDatabase db, const QString &sql)
    {
        QList<QVariantList> result;
        QSqlQuery query(db);
        if (!query.exec(sql)) {
            qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
            return result;
        }
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row << query.value(i);
            result << row;
        }
        return result;
    }

    QVariant scalar(QSqlDatabase db, const QString &sql)
    {
        const QList<QVariantList> result = rows(db, sql);
        return result.isEmpty() || result.first().isEmpty() ? QVariant() : result.first().first();
    }

private slots:
    void init()
    {
        if (!QFile::exists(sample(QStringLiteral("nwind.mdb"))) || !QFile::exists(sample(QStringLiteral("DateTestDatabase.mdb"))))
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

    void everyTableHoldsAsManyRowsAsMdbExportFinds_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("count");
        // Counted with mdb-export (records, not lines: some memos hold line breaks).
        const QString nwind = QStringLiteral("nwind.mdb");
        QTest::newRow("Order Details") << nwind << "[Order Details]" << 2155;
        QTest::newRow("Orders") << nwind << "Orders" << 830;
        QTest::newRow("Products") << nwind << "Products" << 77;
        QTest::newRow("Shippers") << nwind << "Shippers" << 3;
        QTest::newRow("Categories") << nwind << "Categories" << 8;
        QTest::newRow("Customers") << nwind << "Customers" << 91;
        QTest::newRow("Employees") << nwind << "Employees" << 9;
        QTest::newRow("Suppliers") << nwind << "Suppliers" << 29;
        QTest::newRow("Umsätze") << nwind << QStringLiteral("[Umsätze]") << 830;
        QTest::newRow("DateTest") << "DateTestDatabase.mdb" << "DateTest" << 6;
    }

    void everyTableHoldsAsManyRowsAsMdbExportFinds()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(int, count);
        QSqlDatabase db = open(sample(file));
        QVERIFY2(db.isOpen(), qPrintable(db.lastError().text()));
        QCOMPARE(scalar(db, "select count(*) from " + table).toInt(), count);
    }

    void catalogListsExactlyTheUserTables()
    {
        QSqlDatabase db = open(sample(QStringLiteral("nwind.mdb")));
        QStringList tables = db.tables();
        tables.sort();
        QCOMPARE(tables, QStringList({"Categories", "Customers", "Employees", "Order Details", "Orders", "Products",
                                      "Shippers", "Suppliers", QStringLiteral("Umsätze")}));
    }

    void valuesReadAsAccessHoldsThem()
    {
        QSqlDatabase db = open(sample(QStringLiteral("nwind.mdb")));
        const QList<QVariantList> order = rows(db, QStringLiteral(
            "select OrderID, CustomerID, OrderDate, Freight, ShipName, ShipCity, ShipRegion "
            "from [Umsätze] where OrderID = 10332"));
        QCOMPARE(order.size(), 1);
        QCOMPARE(order[0][0].toInt(), 10332);
        QCOMPARE(order[0][1].toString(), QStringLiteral("MEREP"));
        QCOMPARE(order[0][2].toDateTime(), QDateTime(QDate(1994, 11, 17), QTime(0, 0)));
        QCOMPARE(order[0][3].toDouble(), 52.84);
        QCOMPARE(order[0][4].toString(), QStringLiteral("Mère Paillarde"));
        QCOMPARE(order[0][5].toString(), QStringLiteral("Montréal"));
        QCOMPARE(order[0][6].toString(), QStringLiteral("Québec"));
        const QVariant noRegion = scalar(db, QStringLiteral("select ShipRegion from Orders where OrderID = 10331"));
        QVERIFY(noRegion.isNull());
    }

    void currencyAndSingleKeepTheirDecimalsInText()
    {
        QSqlDatabase db = open(sample(QStringLiteral("nwind.mdb")));
        QCOMPARE(rows(db, QStringLiteral("select CStr(UnitPrice), CStr(Discount) from [Order Details] "
                                         "where OrderID = 10332 and ProductID = 42")),
                 QList<QVariantList>({{"11.2", "0.2"}}));
        QCOMPARE(scalar(db, QStringLiteral("select CStr(sum(Freight)) from Orders where OrderID in (10331, 10332)")),
                 QVariant("63.03"));
    }

    void yesNoMemoAndPictureColumnsKeepTheirValues()
    {
        QSqlDatabase db = open(sample(QStringLiteral("nwind.mdb")));
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from Products where Discontinued")).toInt(), 8);
        QCOMPARE(scalar(db, QStringLiteral("select Discontinued from Products where ProductID = 5")).toInt(), 1);
        const QString notes = scalar(db, QStringLiteral("select Notes from Employees where EmployeeID = 1")).toString();
        QVERIFY(notes.startsWith(QStringLiteral("Education includes a BA in psychology")));
        QCOMPARE(notes.size(), 175);
        const QByteArray photo = scalar(db, QStringLiteral("select Photo from Employees where EmployeeID = 3")).toByteArray();
        QCOMPARE(photo.size(), 21722);
        QCOMPARE(photo.left(4), QByteArray::fromHex("151C2F00"));
    }

    void jet4DatesAcrossTheWholeRange()
    {
        QSqlDatabase db = open(sample(QStringLiteral("DateTestDatabase.mdb")));
        QCOMPARE(rows(db, QStringLiteral("select IDCol, CStr(DateTimeCol), CStr(DateCol), CStr(TimeCol) from DateTest "
                                         "where IDCol in (1, 2, 3, 4) order by IDCol")),
                 QList<QVariantList>({{1, "2021-12-02 00:00:00", "2021-12-02 00:00:00", "2021-12-02 00:00:00"},
                                      {2, "9999-01-01 00:00:00", "9999-01-01 00:00:00", "9999-01-01 00:00:00"},
                                      {3, "1898-01-01 00:00:00", "1899-01-01 00:00:00", "1900-01-01 00:00:00"},
                                      {4, "0632-01-01 00:00:00", "0633-01-01 00:00:00", "0634-01-01 00:00:00"}}));
        QCOMPARE(scalar(db, QStringLiteral("select DateTimeCol from DateTest where IDCol = 3")).toDateTime(),
                 QDateTime(QDate(1898, 1, 1), QTime(0, 0)));
    }

    void jet4TextAndMemoKeepLineBreaks()
    {
        QSqlDatabase db = open(sample(QStringLiteral("DateTestDatabase.mdb")));
        QCOMPARE(rows(db, QStringLiteral("select LongTextCol, ShortTextCol from DateTest where IDCol = 6")),
                 QList<QVariantList>({{"New line\r\nin field", "No new line"}}));
    }

    void accessSqlRunsAsTheApplicationWritesIt()
    {
        QSqlDatabase db = open(sample(QStringLiteral("nwind.mdb")));
        const QList<QVariantList> orders = rows(db, QStringLiteral(
            "SELECT CStr(o.OrderID) AS oID, (select CompanyName from Customers where CustomerID = o.CustomerID) "
            "AS Company, CStr(o.Freight) AS oFreight FROM Orders AS o;"));
        QCOMPARE(orders.size(), 830);
        QCOMPARE(orders[0], QVariantList({"10330", "LILA-Supermercado", "12.75"}));
        QCOMPARE(orders[1], QVariantList({"10331", "Bon app'", "10.19"}));
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("SELECT CStr(o.OrderID) AS oID FROM Orders AS o;")));
        QCOMPARE(query.record().fieldName(0), QStringLiteral("oID"));
    }

    void databasePasswordIsChecked_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("Jet 3") << "nwind.mdb";
        QTest::newRow("Jet 4") << "DateTestDatabase.mdb";
    }

    void databasePasswordIsChecked()
    {
        QFETCH(QString, file);
        const QString path = dir->filePath(file);
        QVERIFY(writeAll(path, withPassword(readAll(sample(file)), "Geheim1")));
        QCOMPARE(openError(path, QStringLiteral("geheim1")).contains(QStringLiteral("Not a valid password.")), true);
        QCOMPARE(openError(path).contains(QStringLiteral("Not a valid password.")), true);
        QCOMPARE(openError(path, QStringLiteral("Geheim1")), QString());
    }

    void databaseWithoutPasswordTakesAnyPassword()
    {
        QCOMPARE(openError(sample(QStringLiteral("DateTestDatabase.mdb")), QStringLiteral("whatever")), QString());
    }

    void damagedFilesFailTheConnectAndStayUntouched_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray nwind = readAll(sample(QStringLiteral("nwind.mdb")));
        const QByteArray jet4 = readAll(sample(QStringLiteral("DateTestDatabase.mdb")));
        QTest::newRow("cut mid-page") << nwind.left(nwind.size() / 2 + 100) << "truncated";
        QTest::newRow("cut at a page boundary") << nwind.left(100 * 2048) << "can be read";
        QTest::newRow("cut to its header") << jet4.left(4096) << "too short";
        QByteArray random(100000, '\0');
        for (char &byte : random)
            byte = char(QRandomGenerator::global()->generate());
        QTest::newRow("random bytes") << random << "Unrecognized database format";
        QByteArray ace = jet4;
        ace.replace(4, 15, "Standard ACE DB");
        QTest::newRow("accdb") << ace << ".accdb";
        QTest::newRow("empty") << QByteArray() << "Unrecognized database format";
    }

    void damagedFilesFailTheConnectAndStayUntouched()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString path = dir->filePath(QStringLiteral("GuardTour_DB.mdb"));
        QVERIFY(writeAll(path, bytes));
        const QByteArray before = fileChecksum(path);
        const QString error = openError(path);
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(fileChecksum(path), before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({QStringLiteral("GuardTour_DB.mdb")}));
    }

    void readingLeavesTheFileAndItsFolderAsTheyWere()
    {
        const QString path = copyOfSample(QStringLiteral("nwind.mdb"));
        const QByteArray before = fileChecksum(path);
        {
            QSqlDatabase db = open(path);
            QVERIFY(db.isOpen());
            QCOMPARE(rows(db, QStringLiteral("select count(*) from Orders")).size(), 1);
            QSqlQuery query(db);
            QVERIFY(!query.exec(QStringLiteral("delete from Orders")));
            QVERIFY(query.lastError().text().contains(QStringLiteral("read-only")));
            QCOMPARE(scalar(db, QStringLiteral("select count(*) from Orders")).toInt(), 830);
        }
        QCOMPARE(fileChecksum(path), before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({QStringLiteral("nwind.mdb")}));
    }
};

QTEST_GUILESS_MAIN(TestJetDatabases)
#include "tst_odbc_jet_databases.moc"
