// Access SQL through QODBC, connected as the application connects: Access's answers over
// the Northwind sample (values checked against mdb-export) and over generated guard-tour
// sites, and Access's messages for what the driver does not take.

#include "odbcfixture.h"
#include "support/testsupport.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace odbcfixture;

namespace {

const QString kSamples = QStringLiteral(FERNWICK_MDB_SAMPLES);

// A Text and a Memo-like column holding what looks like a time and a date.
const char kLookAlikes[] = R"(
INSERT INTO GT_CHECKPOINT VALUES (1, '12:30', '2021-05-30', 1, 0);
INSERT INTO GT_PLAN VALUES (1, 1, '1899-12-30 08:00:00', '1899-12-30 09:30:00', 0, 0, '1111100',
                            '2021-06-01 00:00:00', 1, 0, 1, '2021-05-28 10:12:45');
)";

// Rows joined by ';', values by '|', "NULL" for NULL; long answers as their first two
// rows and their count.
QString answer(QSqlQuery &query)
{
    QStringList rows;
    while (query.next()) {
        QStringList values;
        for (int i = 0; i < query.record().count(); ++i)
            values << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
        rows << values.join(QLatin1Char('|'));
    }
    if (rows.size() > 6)
        rows = rows.mid(0, 2) << QStringLiteral("%1 rows").arg(rows.size());
    return rows.join(QLatin1Char(';'));
}

} // namespace

class TestOdbcAccessDialect : public QObject {
    Q_OBJECT

private:
    QString run(const QString &path, const QString &sql)
    {
        const QString name = QStringLiteral("dialect");
        QString result;
        {
            QSqlDatabase db = accessDatabase(name, path);
            if (!db.open())
                return QStringLiteral("not opened: ") + db.lastError().text();
            QSqlQuery query(db);
            query.setForwardOnly(true);
            result = query.exec(sql) ? answer(query) : QStringLiteral("error: ") + query.lastError().databaseText();
        }
        QSqlDatabase::removeDatabase(name);
        return result;
    }

private slots:
    void northwindAnswers_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::newRow("& joins text") << "select FirstName & ' ' & LastName from Employees where EmployeeID = 1"
                                      << "Nancy Davolio";
        QTest::newRow("& with Null") << "select CompanyName & ', ' & Region from Customers where CustomerID = 'ALFKI'"
                                     << "Alfreds Futterkiste, ";
        QTest::newRow("LIKE with *") << "select count(*) from Customers where CompanyName like 'A*'" << "4";
        QTest::newRow("LIKE ignores case") << "select count(*) from Products where ProductName like '*sauce*'" << "2";
        QTest::newRow("date literals") << "select count(*) from Orders where OrderDate between #1/1/1995# and #3/31/1995#"
                                       << "93";
        QTest::newRow("CStr of a date") << "select CStr(OrderDate) from Orders where OrderID = 10332" << "1994-11-17";
        QTest::newRow("Format of a date") << "select Format(HireDate, 'yyyy-mm-dd hh:nn:ss') from Employees "
                                             "where EmployeeID = 1"
                                          << "1992-05-01 00:00:00";
        QTest::newRow("TOP n") << "select top 3 ProductName from Products order by UnitPrice desc"
                               << QString::fromUtf8("Côte de Blaye;Thüringer Rostbratwurst;Mishi Kobe Niku");
        QTest::newRow("TOP keeps ties") << "select count(*) from (select top 1 CategoryID from Products "
                                           "order by CategoryID)"
                                        << "12";
        QTest::newRow("TOP PERCENT") << "select count(*) from (select top 5 percent OrderID from Orders)" << "42";
        QTest::newRow("Year and GROUP BY") << "select Year(OrderDate), count(*) from Orders group by Year(OrderDate) "
                                              "order by Year(OrderDate)"
                                           << "1994|121;1995|391;1996|318";
        QTest::newRow("text compared without case") << "select count(*), CStr(Sum(Freight)) from Orders "
                                                       "where ShipCity = 'london'"
                                                    << "33|2118.67";
        QTest::newRow("IN") << "select count(*) from Orders where CustomerID in ('alfki', 'ANATR')" << "10";
        QTest::newRow("Yes/No against True") << "select count(*) from Products where Discontinued = True" << "8";
        QTest::newRow("Not of a Yes/No") << "select count(*) from Products where Not Discontinued" << "69";
        QTest::newRow("string functions") << "select Left(CompanyName, 4) & '|' & UCase(City) & '|' & Len(City) "
                                             "from Customers where CustomerID = 'ALFKI'"
                                          << "Alfr|BERLIN|6";
        QTest::newRow("Access's join syntax")
            << "select top 1 o.OrderID, c.CompanyName from (Orders as o inner join Customers as c on o.CustomerID = "
               "c.CustomerID) inner join Employees as e on e.EmployeeID = o.EmployeeID order by o.OrderID"
            << "10248|Vins et alcools Chevalier";
    }

    void northwindAnswers()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        const QString path = QDir(kSamples).filePath(QStringLiteral("nwind.mdb"));
        if (!QFile::exists(path))
            QSKIP(qPrintable(QStringLiteral("The sample Jet databases are not in %1").arg(kSamples)));
        QCOMPARE(run(path, sql), expected);
    }

    void generatedSiteAnswers_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        // Plan i starts on 2021-(i%12+1)-(i%28+1) at midnight, runs from hour i%24 and was
        // created on 2021-06-06 at i%24:i%60:15.
        QTest::newRow("CStr of each Date/Time form")
            << "select CStr(Start_Date), CStr(Plan_StartTime), CStr(Create_Time) from GT_PLAN where ID = 1"
            << "2021-02-02|01:00:00|2021-06-06 01:01:15";
        QTest::newRow("dates compared as dates")
            << "select count(*) from GT_PLAN where Start_Date >= #6/1/2021# and Start_Date < #2021-07-01#" << "5";
        QTest::newRow("times of day") << "select count(*) from GT_PLAN where Plan_StartTime between #08:00# and #12:00#"
                                      << "15";
        QTest::newRow("& with numbers") << "select CheckPoint_Name & ' #' & CheckPoint_Number from GT_CHECKPOINT "
                                           "where id = 3"
                                        << QString::fromUtf8("配电房 3 #3");
        QTest::newRow("LIKE beyond ASCII") << QString::fromUtf8("select count(*) from GT_CHECKPOINT "
                                                                "where CheckPoint_Name like '南门*'")
                                           << "8";
        QTest::newRow("TOP with ties on the last key")
            << "select count(*) from (select top 1 id from GT_LINE_EXTD order by Line_Order)" << "12";
        QTest::newRow("TOP n") << "select top 3 id from GT_LINE_EXTD order by Line_Order desc, id" << "5;10;15";
        QTest::newRow("Mod and Nz") << "select count(*) from GT_LINE_EXTD where id Mod 13 = 0 and Nz(Stay_Time, -1) = -1"
                                    << "4";
    }

    void generatedSiteAnswers()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        WorkingDir dir;
        QString error;
        QVERIFY2(gtdb::generateGuardTourDb(dir.file(QStringLiteral("site.mdb")), 60, QString(), &error),
                 qPrintable(error));
        QCOMPARE(run(dir.file(QStringLiteral("site.mdb")), sql), expected);
    }

    // Text that looks like a date or time stays text; Date/Time values take Access's forms.
    void cstrTellsTextFromDates()
    {
        WorkingDir dir;
        QString error;
        const QString path = dir.file(QStringLiteral("GuardTour_DB.mdb"));
        QVERIFY2(gtdb::createGuardTourDb(path, QString::fromUtf8(kLookAlikes), QString(), &error), qPrintable(error));
        QCOMPARE(run(path, QStringLiteral("select CStr(CheckPoint_Card), CStr(CheckPoint_Name), CheckPoint_Card & '' "
                                          "from GT_CHECKPOINT")),
                 QStringLiteral("12:30|2021-05-30|12:30"));
        QCOMPARE(run(path, QStringLiteral("select CStr(Start_Date), CStr(Plan_EndTime), CStr(Create_Time) from GT_PLAN")),
                 QStringLiteral("2021-06-01|09:30:00|2021-05-28 10:12:45"));
    }

    void refusedWithAccessMessages_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown function") << "select Foo(id) from GT_CHECKPOINT" << "Undefined function 'Foo' in expression.";
        QTest::newRow("missing operator") << "select id CheckPoint_Name from GT_CHECKPOINT"
                                          << "Syntax error (missing operator) in query expression 'id CheckPoint_Name'.";
        QTest::newRow("FROM") << "select id from GT_CHECKPOINT, " << "Syntax error in FROM clause.";
    }

    void refusedWithAccessMessages()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        WorkingDir dir;
        QString error;
        QVERIFY2(gtdb::generateGuardTourDb(dir.file(QStringLiteral("site.mdb")), 3, QString(), &error), qPrintable(error));
        const QString result = run(dir.file(QStringLiteral("site.mdb")), sql);
        QVERIFY2(result.startsWith(QStringLiteral("error: ")) && result.endsWith(message), qPrintable(result));
    }
};

QTEST_GUILESS_MAIN(TestOdbcAccessDialect)
#include "tst_odbc_access_dialect.moc"
