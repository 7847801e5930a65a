// nwind.mdb as generic ODBC clients query it, through unixODBC: text compared, grouped and
// sorted beyond ASCII, ODBC's escape sequences, long values handed over at execution and
// parameters described. Every expected answer is computed here from mdb-export's CSV of
// the same file, never from the driver.

#include "mdbexport.h"
#include "odbcfixture.h"
#include "odbcrows.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <functional>

using namespace odbcfixture;

namespace {

const QString kSamples = QStringLiteral(FERNWICK_MDB_SAMPLES);

ExportedTable exportTable(const QString &table)
{
    return mdbExport(QDir(kSamples).filePath(QStringLiteral("nwind.mdb")), table);
}

// Access's text order, computed without ICU: letters compared without their accents and
// case first; where those are equal, the accents decide. A stroke counts as an accent,
// although Unicode does not split ø or ł into a letter and a mark.
QString baseLetters(const QString &text)
{
    static const QString stroked = QString::fromUtf8("øØłŁđĐ"), plain = QStringLiteral("oOlLdD");
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.category() != QChar::Mark_NonSpacing)
            out += stroked.contains(c) ? plain[stroked.indexOf(c)] : c;
    }
    return out.toCaseFolded();
}

bool accessOrder(const QString &a, const QString &b)
{
    const QString baseA = baseLetters(a), baseB = baseLetters(b);
    if (baseA != baseB)
        return baseA < baseB;
    return a.normalized(QString::NormalizationForm_D).toCaseFolded()
         < b.normalized(QString::NormalizationForm_D).toCaseFolded();
}

QStringList inAccessOrder(QStringList values)
{
    std::stable_sort(values.begin(), values.end(), accessOrder);
    return values;
}

bool sameText(const QString &a, const QString &b) { return a.toCaseFolded() == b.toCaseFolded(); }

// Upper case character by character, as Access's UCase keeps the length.
QString upperByCharacter(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        c = c.toUpper();
    return out;
}

QString lowerByCharacter(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        c = c.toLower();
    return out;
}

QString count(int n) { return QString::number(n); }

template <typename Predicate>
int countWhere(const QStringList &values, Predicate predicate)
{
    return int(std::count_if(values.begin(), values.end(), predicate));
}

int distinctCaseless(const QStringList &values)
{
    QSet<QString> seen;
    for (const QString &value : values)
        seen.insert(value.toCaseFolded());
    return seen.size();
}

// One connection and statement through the driver manager, freed in the right order.
struct Session {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool connected = false;

    Session()
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        QByteArray text = connectionString(QDir(kSamples).filePath(QStringLiteral("nwind.mdb"))).toUtf8();
        connected = SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS,
                                                   nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
        if (connected)
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    }

    ~Session()
    {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (connected)
            SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    QString error(SQLSMALLINT type, SQLHANDLE handle) const { return diagnosticText(type, handle); }

    bool prepare(const QString &sql)
    {
        QByteArray text = sql.toUtf8();
        return SQL_SUCCEEDED(SQLPrepare(stmt, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS));
    }

    // The rows of the open result, values joined by '|', NULL as "NULL"; or the error.
    QStringList rows(SQLRETURN executed)
    {
        if (!SQL_SUCCEEDED(executed))
            return {error(SQL_HANDLE_STMT, stmt)};
        return remainingRows(stmt);
    }

    // SQLTables of one table type: each row's TABLE_NAME|TABLE_TYPE.
    QStringList objectsOfType(const char *type)
    {
        QByteArray text(type);
        QStringList listed;
        for (const QString &row : rows(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0,
                                                 reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS)))
            listed << row.section('|', 2, 3);
        return listed;
    }

    QStringList query(const QString &sql)
    {
        QByteArray text = sql.toUtf8();
        return rows(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS));
    }

    // Runs the prepared statement with each marker's value handed over at execution, in
    // parts of at most partBytes through SQLPutData.
    QStringList queryWithValuesAtExecution(const QList<QByteArray> &values, SQLSMALLINT cType, int partBytes)
    {
        QVector<SQLLEN> indicators(values.size());
        for (int i = 0; i < values.size(); ++i) {
            indicators[i] = SQL_LEN_DATA_AT_EXEC(SQLLEN(values[i].size()));
            SQLBindParameter(stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, cType,
                             cType == SQL_C_BINARY ? SQL_LONGVARBINARY : SQL_WLONGVARCHAR, SQLULEN(values[i].size()),
                             0, reinterpret_cast<SQLPOINTER>(intptr_t(i + 1)), 0, &indicators[i]);
        }
        SQLRETURN rc = SQLExecute(stmt);
        SQLPOINTER token = nullptr;
        while (rc == SQL_NEED_DATA) {
            rc = SQLParamData(stmt, &token);
            if (rc != SQL_NEED_DATA)
                break;
            const QByteArray &value = values.at(int(intptr_t(token)) - 1);
            for (int offset = 0; offset < value.size(); offset += partBytes) {
                const QByteArray part = value.mid(offset, partBytes);
                SQLPutData(stmt, const_cast<char *>(part.constData()), SQLLEN(part.size()));
            }
        }
        const QStringList result = rows(rc);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        return result;
    }
};

} // namespace

class TestJetClients : public QObject {
    Q_OBJECT

private:
    QHash<QString, ExportedTable> tables;

    const ExportedTable &table(const QString &name)
    {
        if (!tables.contains(name))
            tables.insert(name, exportTable(name));
        return tables[name];
    }

private slots:
    void initTestCase()
    {
        const QString problem = localeNotInEffect();
        if (!problem.isEmpty())
            QFAIL(qPrintable(problem));
        if (!QFile::exists(QDir(kSamples).filePath(QStringLiteral("nwind.mdb"))))
            QSKIP(qPrintable(QStringLiteral("The sample nwind.mdb is not in %1").arg(kSamples)));
        QVERIFY2(!table(QStringLiteral("Orders")).rows.isEmpty(), "mdb-export could not read nwind.mdb");
    }

    // Access SQL as clients send it, each answer computed from mdb-export's CSV.
    void answersAsAccessGivesThem_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("expected");
        const QStringList cities = table(QStringLiteral("Orders")).values(QStringLiteral("ShipCity"));
        const QStringList products = table(QStringLiteral("Products")).values(QStringLiteral("ProductName"));
        const ExportedTable &orders = table(QStringLiteral("Orders"));
        const ExportedTable &customers = table(QStringLiteral("Customers"));
        const ExportedTable &employees = table(QStringLiteral("Employees"));

        // Text compared without regard to case, beyond ASCII.
        for (const QString &city : {QStringLiteral("MONTRÉAL"), QStringLiteral("århus"), QStringLiteral("MÜNSTER")}) {
            QTest::addRow("= %s", qPrintable(city))
                << "select count(*) from Orders where ShipCity = '" + city + "'"
                << QStringList{count(countWhere(cities, [&](const QString &c) { return sameText(c, city); }))};
        }
        QTest::newRow("IN beyond ASCII")
            << "select count(*) from Orders where ShipCity in ('MÜNCHEN', 'LULEÅ')"
            << QStringList{count(countWhere(cities, [](const QString &c) {
                   return sameText(c, QStringLiteral("München")) || sameText(c, QStringLiteral("Luleå"));
               }))};
        QTest::newRow("BETWEEN beyond ASCII")
            << "select count(*) from Orders where ShipCity between 'KÖLN' and 'KÖLN'"
            << QStringList{count(countWhere(cities, [](const QString &c) { return sameText(c, QStringLiteral("Köln")); }))};
        QTest::newRow("< by accents after base letters")
            << "select count(*) from Products where ProductName < 'Pavlova'"
            << QStringList{count(countWhere(products, [](const QString &p) {
                   return accessOrder(p, QStringLiteral("Pavlova"));
               }))};
        QTest::newRow("LIKE folds case beyond ASCII")
            << "select count(*) from Orders where ShipCity like 'MÜN*'"
            << QStringList{count(countWhere(cities, [](const QString &c) {
                   return c.toCaseFolded().startsWith(QStringLiteral("mün"));
               }))};

        // Sorted, grouped and told apart as Access does.
        QTest::newRow("ORDER BY text") << "select ProductName from Products order by ProductName"
                                       << inAccessOrder(products);
        QStringList distinctCities = cities;
        distinctCities.removeDuplicates();
        QTest::newRow("DISTINCT and ORDER BY DESC") << "select distinct ShipCity from Orders order by ShipCity desc"
                                                    << [&] {
                                                           QStringList sorted = inAccessOrder(distinctCities);
                                                           std::reverse(sorted.begin(), sorted.end());
                                                           return sorted;
                                                       }();
        const QString bothCases = QStringLiteral("(select ShipCity as c from Orders union all "
                                                 "select UCase(ShipCity) as c from Orders)");
        const QStringList groups{count(distinctCaseless(cities))};
        QTest::newRow("GROUP BY ignores case") << "select count(*) from (select c from " + bothCases + " group by c)"
                                               << groups;
        QTest::newRow("DISTINCT ignores case") << "select count(*) from (select distinct c from " + bothCases + ")"
                                               << groups;
        QTest::newRow("UNION ignores case")
            << "select count(*) from (select ShipCity from Orders union select UCase(ShipCity) from Orders)" << groups;
        QStringList mAndP;
        for (const QString &name : cities + products) {
            const QString folded = name.toCaseFolded();
            if ((folded.startsWith('m') && cities.contains(name)) || (folded.startsWith('p') && products.contains(name)))
                mAndP << name;
        }
        mAndP.removeDuplicates();
        QTest::newRow("UNION ordered by its output column")
            << "select ShipCity from Orders where ShipCity like 'm*' union select ProductName from Products "
               "where ProductName like 'p*' order by ShipCity"
            << inAccessOrder(mAndP);
        QStringList pNames;
        for (const QString &p : products) {
            if (p.toCaseFolded().startsWith('p'))
                pNames << p;
        }
        pNames = inAccessOrder(pNames);
        QTest::newRow("Min and Max of text")
            << "select Min(ProductName), Max(ProductName) from Products where ProductName like 'p*'"
            << QStringList{pNames.first() + '|' + pNames.last()};

        // ODBC's escape sequences.
        const QStringList orderDates = orders.values(QStringLiteral("OrderDate"));
        QTest::newRow("{d}") << "select count(*) from Orders where OrderDate < {d '1995-01-01'}"
                             << QStringList{count(countWhere(orderDates, [](const QString &d) {
                                    return !d.isNull() && d < QLatin1String("1995-01-01");
                                }))};
        QTest::newRow("{ts} with a fraction")
            << "select count(*) from Orders where OrderDate >= {ts '1995-06-01 00:00:00.000'}"
            << QStringList{count(countWhere(orderDates, [](const QString &d) {
                   return !d.isNull() && d >= QLatin1String("1995-06-01 00:00:00");
               }))};
        QTest::newRow("{fn YEAR}, {fn MONTH}")
            << "select count(*) from Orders where {fn YEAR(OrderDate)} = 1995 and {fn MONTH(OrderDate)} = 3"
            << QStringList{count(countWhere(orderDates, [](const QString &d) { return d.startsWith("1995-03-"); }))};
        QStringList upperNames;
        QVector<QStringList> byId = customers.rows;
        const int idColumn = customers.column(QStringLiteral("CustomerID"));
        const int nameColumn = customers.column(QStringLiteral("CompanyName"));
        std::sort(byId.begin(), byId.end(),
                  [&](const QStringList &a, const QStringList &b) { return a[idColumn] < b[idColumn]; });
        for (const QStringList &row : byId)
            upperNames << upperByCharacter(row[nameColumn]);
        QTest::newRow("{fn UCASE}") << "select {fn UCASE(CompanyName)} from Customers order by CustomerID"
                                    << upperNames;
        QStringList employeeTexts;
        QVector<QStringList> employeesById = employees.rows;
        const int employeeId = employees.column(QStringLiteral("EmployeeID"));
        std::sort(employeesById.begin(), employeesById.end(), [&](const QStringList &a, const QStringList &b) {
            return a[employeeId].toInt() < b[employeeId].toInt();
        });
        for (const QStringList &row : employeesById) {
            const QString first = row[employees.column(QStringLiteral("FirstName"))];
            const QString last = row[employees.column(QStringLiteral("LastName"))];
            const QString title = row[employees.column(QStringLiteral("Title"))];
            employeeTexts << first + last + '|' + QString::number(last.size()) + '|' + title.left(5);
        }
        QTest::newRow("{fn CONCAT}, {fn LENGTH}, {fn SUBSTRING}")
            << "select {fn CONCAT(FirstName, LastName)}, {fn LENGTH(LastName)}, {fn SUBSTRING(Title, 1, 5)} "
               "from Employees order by EmployeeID"
            << employeeTexts;
        const QStringList orderCustomers = orders.values(QStringLiteral("CustomerID"));
        int joined = 0;
        QStringList withoutOrders;
        for (const QStringList &row : byId) {
            const int n = int(orderCustomers.count(row[idColumn]));
            joined += std::max(n, 1);
            if (n == 0)
                withoutOrders << lowerByCharacter(row[nameColumn]);
        }
        QTest::newRow("{oj}") << "select count(*) from {oj Customers LEFT OUTER JOIN Orders ON "
                                 "Customers.CustomerID = Orders.CustomerID}"
                              << QStringList{count(joined)};
        QTest::newRow("{fn} over {oj}")
            << "select {fn LCASE(c.CompanyName)} from {oj Customers c LEFT OUTER JOIN Orders o ON "
               "c.CustomerID = o.CustomerID} where o.OrderID is null order by c.CustomerID"
            << withoutOrders;
        const QStringList companies = customers.values(QStringLiteral("CompanyName"));
        QTest::newRow("LIKE {escape}")
            << "select count(*) from Customers where CompanyName like '*!-*' {escape '!'}"
            << QStringList{count(countWhere(companies, [](const QString &c) { return c.contains('-'); }))};
        // ODBC's % and _ are Access's * and ? ("LIKE Predicate Escape Character", ODBC Programmer's Reference).
        QTest::newRow("LIKE with % and _")
            << "select count(*) from Customers where CompanyName like 'A%' or CompanyName like '_lfreds%'"
            << QStringList{count(countWhere(companies, [](const QString &c) {
                   return c.startsWith('A', Qt::CaseInsensitive) || c.mid(1).startsWith("lfreds", Qt::CaseInsensitive);
               }))};
        QTest::newRow("{fn IFNULL}")
            << "select count(*) from Orders where {fn IFNULL(ShipRegion, 'none')} = 'none'"
            << QStringList{count(countWhere(orders.values(QStringLiteral("ShipRegion")),
                                            [](const QString &r) { return r.isNull(); }))};
        const int firstOrder = orders.rows.first()[orders.column(QStringLiteral("OrderID"))].toInt();
        QTest::newRow("{fn CONVERT}, {fn MOD}")
            << QStringLiteral("select {fn CONVERT(OrderID, SQL_VARCHAR)} & '/' & {fn MOD(OrderID, 7)} from Orders "
                              "where OrderID = %1").arg(firstOrder)
            << QStringList{QStringLiteral("%1/%2").arg(firstOrder).arg(firstOrder % 7)};
    }

    void answersAsAccessGivesThem()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, expected);
        Session session;
        QVERIFY(session.connected);
        QCOMPARE(session.query(sql), expected);
    }

    // A union's column holds the values of every branch: a number beside text is text,
    // described so, and handed out as text by the default C type, whichever comes first.
    void unionColumnIsTypedByEveryBranch_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("expected");
        const ExportedTable &shippers = table(QStringLiteral("Shippers"));
        const QStringList ids = shippers.values(QStringLiteral("ShipperID"));
        const QStringList names = shippers.values(QStringLiteral("CompanyName"));
        QTest::newRow("number, then text") << "select ShipperID from Shippers union all select CompanyName from Shippers"
                                           << ids + names;
        QTest::newRow("text, then number") << "select CompanyName from Shippers union all select ShipperID from Shippers"
                                           << names + ids;
    }

    void unionColumnIsTypedByEveryBranch()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, expected);
        Session session;
        QVERIFY(session.prepare(sql));
        QVERIFY(SQL_SUCCEEDED(SQLExecute(session.stmt)));
        SQLSMALLINT type = 0;
        QVERIFY(SQL_SUCCEEDED(SQLDescribeCol(session.stmt, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr)));
        QCOMPARE(int(type), int(SQL_WVARCHAR));
        QStringList rows;
        while (SQLFetch(session.stmt) == SQL_SUCCESS) {
            SQLWCHAR value[256] = {};
            SQLLEN indicator = 0;
            if (!SQL_SUCCEEDED(SQLGetData(session.stmt, 1, SQL_C_DEFAULT, value, sizeof value, &indicator)))
                rows << session.error(SQL_HANDLE_STMT, session.stmt);
            else
                rows << QString::fromUtf16(reinterpret_cast<const char16_t *>(value), int(indicator / 2));
        }
        QCOMPARE(rows, expected);
    }

    // The saved queries, listed from MSysObjects as mdb-export reads it: every query but the
    // hidden ones (a name starting with ~) is a view.
    void savedQueriesAreViews()
    {
        const ExportedTable &objects = table(QStringLiteral("MSysObjects"));
        QStringList expected;
        for (const QStringList &row : objects.rows) {
            const QString name = row[objects.column("Name")];
            if (row[objects.column("Type")] == QLatin1String("5") && !name.startsWith('~'))
                expected << name + QStringLiteral("|VIEW");
        }
        QCOMPARE(expected.size(), 22);
        Session session;
        QStringList listed = session.objectsOfType("VIEW");
        listed.sort();
        expected.sort();
        QCOMPARE(listed, expected);
        QByteArray view("Ten Most Expensive Products");
        QStringList columns;
        for (const QString &row : session.rows(SQLColumns(session.stmt, nullptr, 0, nullptr, 0,
                                                          reinterpret_cast<SQLCHAR *>(view.data()), SQL_NTS, nullptr, 0)))
            columns << row.section('|', 3, 4);
        QCOMPARE(columns, QStringList({QStringLiteral("TenMostExpensiveProducts|%1").arg(SQL_WVARCHAR),
                                       QStringLiteral("UnitPrice|%1").arg(SQL_DECIMAL)}));
    }

    // AutoNumber columns are typed COUNTER, as Access names them, and are auto-unique: the
    // columns mdb-schema's PostgreSQL form makes SERIAL, where libmdb marks them so.
    void autoNumberColumnsAreCounters()
    {
        QProcess schema;
        schema.start(QStringLiteral("mdb-schema"), {QDir(kSamples).filePath(QStringLiteral("nwind.mdb")),
                                                     QStringLiteral("postgres")});
        QVERIFY(schema.waitForFinished());
        QStringList expected;
        QString table;
        for (const QString &line : QString::fromUtf8(schema.readAllStandardOutput()).split('\n')) {
            const QRegularExpressionMatch created = QRegularExpression(QStringLiteral("^CREATE TABLE (?:IF NOT EXISTS )?\"([^\"]+)\"")).match(line);
            if (created.hasMatch())
                table = created.captured(1);
            const QRegularExpressionMatch serial = QRegularExpression(QStringLiteral("^\\s*\"([^\"]+)\"\\s+SERIAL")).match(line);
            if (serial.hasMatch())
                expected << table + '.' + serial.captured(1);
        }
        QVERIFY(!expected.isEmpty());
        Session session;
        QStringList tables;
        for (const QString &object : session.objectsOfType("TABLE"))
            tables << object.section('|', 0, 0);
        QStringList counters;
        for (const QString &row : session.rows(SQLColumns(session.stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0))) {
            if (row.section('|', 5, 5) == QLatin1String("COUNTER") && tables.contains(row.section('|', 2, 2)))
                counters << (row.section('|', 2, 2) + '.' + row.section('|', 3, 3)).toLower();
        }
        expected.sort();
        counters.sort();
        QCOMPARE(counters, expected);
        QByteArray sql("select OrderID, EmployeeID from Orders");
        QVERIFY(SQL_SUCCEEDED(SQLExecDirect(session.stmt, reinterpret_cast<SQLCHAR *>(sql.data()), SQL_NTS)));
        SQLLEN autoUnique = -1, plain = -1;
        SQLColAttribute(session.stmt, 1, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &autoUnique);
        SQLColAttribute(session.stmt, 2, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &plain);
        QCOMPARE(autoUnique, SQLLEN(SQL_TRUE));
        QCOMPARE(plain, SQLLEN(SQL_FALSE));
    }

    // Each saved query's answer computed from the tables it reads, as mdb-export gives them.
    void savedQueriesAnswerFromTheirTables_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("expected");
        const ExportedTable &products = table(QStringLiteral("Products"));
        const ExportedTable &orders = table(QStringLiteral("Orders"));
        const ExportedTable &customers = table(QStringLiteral("Customers"));
        const ExportedTable &suppliers = table(QStringLiteral("Suppliers"));
        const ExportedTable &details = table(QStringLiteral("Order Details"));
        const auto price = [&](const QStringList &row) { return row[products.column("UnitPrice")].toDouble(); };
        const auto name = [&](const QStringList &row) { return row[products.column("ProductName")]; };
        const auto money = [](const QString &exported) { return QString::number(exported.toDouble(), 'g', 15); };

        QVector<QStringList> byPrice = products.rows;
        std::stable_sort(byPrice.begin(), byPrice.end(),
                         [&](const QStringList &a, const QStringList &b) { return price(a) > price(b); });
        QStringList topTen;
        for (int i = 0; i < 10; ++i)
            topTen << name(byPrice[i]) + '|' + money(byPrice[i][products.column("UnitPrice")]);
        QTest::newRow("TOP 10 of a saved query, in its order") << "select * from [Ten Most Expensive Products]" << topTen;

        double total = 0;
        for (const QStringList &row : products.rows)
            total += price(row);
        QStringList aboveAverage, current;
        for (const QStringList &row : byPrice) {
            if (price(row) > total / products.rows.size())
                aboveAverage << name(row);
        }
        for (const QStringList &row : products.rows) {
            if (row[products.column("Discontinued")] == QLatin1String("0"))
                current << row[products.column("ProductID")] + '|' + name(row);
        }
        QTest::newRow("a subquery in the criteria") << "select ProductName from [Products Above Average Price]"
                                                    << aboveAverage;
        QTest::newRow("an alias for the table") << "select ProductID, ProductName from [Current Product List] "
                                                   "order by ProductID"
                                                << current;
        QTest::newRow("a join inside, a table's columns by *")
            << "select count(*), count(CategoryName) from [Alphabetical List of Products]"
            << QStringList{QStringLiteral("%1|%1").arg(current.size())};

        QSet<QString> cityRows;
        for (const QStringList &row : customers.rows)
            cityRows << QStringList{row[customers.column("City")], row[customers.column("CompanyName")], "Customers"}.join('|');
        for (const QStringList &row : suppliers.rows)
            cityRows << QStringList{row[suppliers.column("City")], row[suppliers.column("CompanyName")], "Suppliers"}.join('|');
        QStringList unionRows = cityRows.values();
        unionRows.sort();
        QTest::newRow("a union") << "select City & '|' & CompanyName & '|' & Relationship from "
                                    "[Customers and Suppliers by City] order by 1"
                                 << unionRows;

        QSet<QString> ordersWithDetails;
        for (const QStringList &row : details.rows)
            ordersWithDetails << row[details.column("OrderID")];
        QTest::newRow("a grouped query, joined with a table")
            << "select count(*), count(s.Subtotal) from Orders inner join [Order Subtotals] as s "
               "on Orders.OrderID = s.OrderID"
            << QStringList{QStringLiteral("%1|%1").arg(ordersWithDetails.size())};
        QMap<QString, int> perCountry;
        for (const QStringList &row : orders.rows)
            ++perCountry[row[orders.column("ShipCountry")]];
        QStringList countries;
        for (auto it = perCountry.cbegin(); it != perCountry.cend(); ++it)
            countries << it.key() + '|' + QString::number(it.value());
        QTest::newRow("a query of a join, grouped")
            << "select ShipCountry, count(*) from [Orders Qry] group by ShipCountry order by ShipCountry" << countries;
        QTest::newRow("a query over a query over a query")
            << "select count(*) from [Summary of Sales by Year] where Subtotal > 0"
            << QStringList{QString::number(std::count_if(orders.rows.begin(), orders.rows.end(), [&](const QStringList &row) {
                   return !row[orders.column("ShippedDate")].isNull()
                          && ordersWithDetails.contains(row[orders.column("OrderID")]);
               }))};

        QTest::newRow("a parameter query without values") << "select * from [Employee Sales by Country]"
                                                           << QStringList{"error 07002: Too few parameters. Expected 2."};
        QTest::newRow("a query that reads a form's control") << "select * from [Invoices Filter]"
                                                             << QStringList{"error 07002: Too few parameters. Expected 1."};
    }

    void savedQueriesAnswerFromTheirTables()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, expected);
        Session session;
        QVERIFY(session.connected);
        QStringList rows = session.query(sql);
        // A refusal is compared without the driver's name before the message.
        for (QString &row : rows)
            row.replace(QRegularExpression(QStringLiteral("^(error \\w+: )(\\[[^\\]]*\\])*\\s*")), QStringLiteral("\\1"));
        QCOMPARE(rows, expected);
    }

    // Values of any length come in parts at execution, as pyodbc sends long text and bytes.
    void valuesHandedOverAtExecution_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QList<QByteArray>>("values");
        QTest::addColumn<int>("cType");
        QTest::addColumn<QStringList>("expected");
        const ExportedTable &employees = table(QStringLiteral("Employees"));
        const QString notes = employees.rows.at(1)[employees.column(QStringLiteral("Notes"))];
        const QString id = employees.rows.at(1)[employees.column(QStringLiteral("EmployeeID"))];
        QVERIFY(notes.size() >= 128);
        QTest::newRow("memo, UTF-8") << "select EmployeeID from Employees where Notes = ?"
                                     << QList<QByteArray>{notes.toUtf8()} << int(SQL_C_CHAR) << QStringList{id};
        const QString prefix = notes.left(150) + '*';
        QTest::newRow("LIKE pattern, UTF-16")
            << "select EmployeeID from Employees where Notes like ?"
            << QList<QByteArray>{QByteArray(reinterpret_cast<const char *>(prefix.utf16()), prefix.size() * 2)}
            << int(SQL_C_WCHAR) << QStringList{id};
        const QStringList companies = table(QStringLiteral("Customers")).values(QStringLiteral("CompanyName"));
        QTest::newRow("LIKE pattern with ODBC's %")
            << "select count(*) from Customers where CompanyName like ?" << QList<QByteArray>{"B%"} << int(SQL_C_CHAR)
            << QStringList{count(countWhere(companies, [](const QString &c) { return c.startsWith('B', Qt::CaseInsensitive); }))};
        const QString wide = QString::fromUtf8("Ж😀").repeated(5000);
        QTest::newRow("two markers, 10,000 characters")
            << "select Len(?), Len(?)"
            << QList<QByteArray>{wide.toUtf8(), QByteArray(10000, 'x')} << int(SQL_C_CHAR)
            << QStringList{QStringLiteral("%1|10000").arg(wide.toUcs4().size())};
        // A comparison as a result column is a Yes/No, handed out as 1 or 0.
        const QByteArray bytes(300, '\1');
        QTest::newRow("bytes") << "select ? = ?, ? = ?"
                               << QList<QByteArray>{bytes, bytes, bytes, bytes + '\2'} << int(SQL_C_BINARY)
                               << QStringList{QStringLiteral("1|0")};
    }

    void valuesHandedOverAtExecution()
    {
        QFETCH(QString, sql);
        QFETCH(QList<QByteArray>, values);
        QFETCH(int, cType);
        QFETCH(QStringList, expected);
        Session session;
        QVERIFY(session.prepare(sql));
        // Parts of 7 bytes cut UTF-8 sequences and UTF-16 surrogate pairs in two.
        QCOMPARE(session.queryWithValuesAtExecution(values, SQLSMALLINT(cType), 7), expected);
    }

    // A marker compared with a column takes that column's description (as mdb-schema lists
    // the columns: ShipCity Text (15), OrderDate DateTime, Freight Currency); any other is
    // text of 255 characters.
    void parametersDescribedByTheirColumns()
    {
        Session session;
        QVERIFY(session.prepare(QStringLiteral("select count(*) from Orders where ShipCity = ? and ? < OrderDate "
                                               "and Freight between 0 and ? and ? like 'x*'")));
        const struct {
            SQLSMALLINT type;
            SQLULEN size;
            SQLSMALLINT digits;
        } expected[] = {{SQL_WVARCHAR, 15, 0}, {SQL_TYPE_TIMESTAMP, 19, 0}, {SQL_DECIMAL, 19, 4}, {SQL_VARCHAR, 255, 0}};
        for (SQLUSMALLINT i = 1; i <= 4; ++i) {
            SQLSMALLINT type = 0, digits = -1, nullable = -1;
            SQLULEN size = 0;
            QVERIFY(SQL_SUCCEEDED(SQLDescribeParam(session.stmt, i, &type, &size, &digits, &nullable)));
            QCOMPARE(type, expected[i - 1].type);
            QCOMPARE(size, expected[i - 1].size);
            QCOMPARE(digits, expected[i - 1].digits);
            QCOMPARE(nullable, SQLSMALLINT(SQL_NULLABLE));
        }
        SQLSMALLINT type = 0;
        QCOMPARE(SQLDescribeParam(session.stmt, 5, &type, nullptr, nullptr, nullptr), SQLRETURN(SQL_ERROR));
    }

    // Access widens a Single to the double of the same binary value, so 0.15 stored in a
    // Single is 0.150000005960464 to a client and to a comparison with a Double; as text it
    // has a Single's seven digits. mdb-export prints enough digits to name the float.
    void singleIsRealAndTheDoubleOfItsFloat()
    {
        const ExportedTable &details = table(QStringLiteral("Order Details"));
        const QStringList discounts = details.values(QStringLiteral("Discount"));
        Session session;
        QByteArray sql("select Discount from [Order Details]");
        QVERIFY(SQL_SUCCEEDED(SQLExecDirect(session.stmt, reinterpret_cast<SQLCHAR *>(sql.data()), SQL_NTS)));
        SQLSMALLINT type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        QVERIFY(SQL_SUCCEEDED(SQLDescribeCol(session.stmt, 1, nullptr, 0, nullptr, &type, &size, &digits, &nullable)));
        QCOMPARE(type, SQLSMALLINT(SQL_REAL));
        QCOMPARE(size, SQLULEN(7));
        // "Display Size" (ODBC Programmer's Reference, appendix D): 14 for SQL_REAL, a sign,
        // seven digits, a point, E, a sign and two digits.
        SQLLEN displaySize = 0;
        QVERIFY(SQL_SUCCEEDED(SQLColAttribute(session.stmt, 1, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &displaySize)));
        QCOMPARE(displaySize, SQLLEN(14));
        for (const QString &exported : discounts) {
            QCOMPARE(SQLFetch(session.stmt), SQLRETURN(SQL_SUCCESS));
            double asDouble = 0;
            char text[32] = {};
            SQLLEN indicator = 0;
            QVERIFY(SQL_SUCCEEDED(SQLGetData(session.stmt, 1, SQL_C_DOUBLE, &asDouble, 0, &indicator)));
            QCOMPARE(asDouble, double(exported.toFloat()));
            QVERIFY(SQL_SUCCEEDED(SQLGetData(session.stmt, 1, SQL_C_CHAR, text, sizeof text, &indicator)));
            QCOMPARE(QString::fromLatin1(text), QString::number(exported.toFloat(), 'g', 7));
        }
        QCOMPARE(SQLFetch(session.stmt), SQLRETURN(SQL_NO_DATA));
        SQLCloseCursor(session.stmt);

        const auto countOf = [&](const std::function<bool(float)> &holds) {
            return count(countWhere(discounts, [&](const QString &d) { return holds(d.toFloat()); }));
        };
        QCOMPARE(session.query(QStringLiteral("select count(*) from [Order Details] where Discount = 0.15")),
                 QStringList{countOf([](float d) { return double(d) == 0.15; })});
        QCOMPARE(session.query(QStringLiteral("select count(*) from [Order Details] where Discount = CSng(0.15)")),
                 QStringList{countOf([](float d) { return d == 0.15f; })});
        QCOMPARE(session.query(QStringLiteral("select count(*) from [Order Details] where CStr(Discount) = '0.15'")),
                 QStringList{countOf([](float d) { return QString::number(d, 'g', 7) == QLatin1String("0.15"); })});
    }

    // The columns of SQLGetTypeInfo as the ODBC reference ("SQLGetTypeInfo Function") lists
    // them, the types and their ODBC types as the Access driver's "Data Type Support" appendix
    // pairs them: GUID (a Replication ID, 36 characters as appendix D sizes SQL_GUID), BINARY
    // (at most 255 bytes), NUMERIC (Jet 4's decimal: 28 digits, a scale of 0 to 28).
    void typeInfoListsTheJetTypes_data()
    {
        QTest::addColumn<int>("sqlType");
        // TYPE_NAME|DATA_TYPE|COLUMN_SIZE|CREATE_PARAMS|UNSIGNED_ATTRIBUTE|MINIMUM_SCALE|MAXIMUM_SCALE|NUM_PREC_RADIX
        QTest::addColumn<QString>("expected");
        QTest::newRow("Single") << int(SQL_REAL) << "REAL|7|7|NULL|0|NULL|NULL|10";
        QTest::newRow("Byte") << int(SQL_TINYINT) << "BYTE|-6|3|NULL|1|NULL|NULL|10";
        QTest::newRow("Replication ID") << int(SQL_GUID) << "GUID|-11|36|NULL|NULL|NULL|NULL|NULL";
        QTest::newRow("Binary") << int(SQL_BINARY) << "BINARY|-2|255|max length|NULL|NULL|NULL|NULL";
        QTest::newRow("Decimal") << int(SQL_NUMERIC) << "NUMERIC|2|28|precision,scale|0|0|28|10";
    }

    void typeInfoListsTheJetTypes()
    {
        QFETCH(int, sqlType);
        QFETCH(QString, expected);
        Session session;
        const QStringList rows = session.rows(SQLGetTypeInfo(session.stmt, SQLSMALLINT(sqlType)));
        QCOMPARE(rows.size(), 1);
        const QStringList fields = rows[0].split('|');
        QStringList picked;
        for (int i : {0, 1, 2, 5, 9, 13, 14, 17})
            picked << fields.value(i);
        QCOMPARE(picked.join('|'), expected);
    }

    void nativeSqlIsTheStatementWithoutEscapes()
    {
        Session session;
        const QByteArray in = "select {fn UCASE(ShipCity)} from {oj Orders o left outer join Customers c on "
                              "o.CustomerID = c.CustomerID} where OrderDate < {d '1995-01-01'} and ShipName like "
                              "'a!*' {escape '!'} and '{d ''x''}' <> ?";
        char out[512] = {};
        SQLINTEGER length = 0;
        QVERIFY(SQL_SUCCEEDED(SQLNativeSql(session.dbc, reinterpret_cast<SQLCHAR *>(const_cast<char *>(in.constData())),
                                           SQL_NTS, reinterpret_cast<SQLCHAR *>(out), sizeof out, &length)));
        QCOMPARE(QByteArray(out, length),
                 QByteArray("select UCase(ShipCity) from Orders o left outer join Customers c on o.CustomerID = "
                            "c.CustomerID where OrderDate < #1995-01-01# and ShipName like 'a!*' ESCAPE '!' and "
                            "'{d ''x''}' <> ?"));
    }

    // What SQLGetInfo lists as scalar functions is exactly what runs: one use of each.
    void everyScalarFunctionClaimedRuns()
    {
        const struct {
            SQLUSMALLINT infoType;
            SQLUINTEGER bit;
            const char *expression;
        } uses[] = {
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_CONCAT, "{fn CONCAT('a', 'b')}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_LCASE, "{fn LCASE('A')}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_UCASE, "{fn UCASE('a')}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_LEFT, "{fn LEFT('ab', 1)}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_RIGHT, "{fn RIGHT('ab', 1)}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_LTRIM, "{fn LTRIM(' a')}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_RTRIM, "{fn RTRIM('a ')}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_SUBSTRING, "{fn SUBSTRING('abc', 2, 1)}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_LENGTH, "{fn LENGTH('a ')}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR_LENGTH, "{fn CHAR_LENGTH('a')}"},
            {SQL_STRING_FUNCTIONS, SQL_FN_STR_CHARACTER_LENGTH, "{fn CHARACTER_LENGTH('a')}"},
            {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ABS, "{fn ABS(-1)}"},
            {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_MOD, "{fn MOD(7, 2)}"},
            {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_POWER, "{fn POWER(2, 3)}"},
            {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_PI, "{fn PI()}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURDATE, "{fn CURDATE()}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURTIME, "{fn CURTIME()}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_NOW, "{fn NOW()}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_YEAR, "{fn YEAR({d '1995-01-02'})}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MONTH, "{fn MONTH({d '1995-01-02'})}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFMONTH, "{fn DAYOFMONTH({d '1995-01-02'})}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_HOUR, "{fn HOUR({t '10:11:12'})}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MINUTE, "{fn MINUTE({t '10:11:12'})}"},
            {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_SECOND, "{fn SECOND({ts '1995-01-02 10:11:12'})}"},
            {SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_IFNULL, "{fn IFNULL(NULL, 1)}"},
            {SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_USERNAME, "{fn USER()}"},
            {SQL_CONVERT_FUNCTIONS, SQL_FN_CVT_CONVERT, "{fn CONVERT('12', SQL_INTEGER)}"},
        };
        Session session;
        QMap<SQLUSMALLINT, SQLUINTEGER> used;
        for (const auto &use : uses) {
            used[use.infoType] |= use.bit;
            const QStringList rows = session.query(QStringLiteral("select %1").arg(QLatin1String(use.expression)));
            QVERIFY2(rows.size() == 1 && !rows[0].startsWith(QLatin1String("error")),
                     qPrintable(QLatin1String(use.expression) + QStringLiteral(": ") + rows.join(';')));
        }
        for (auto it = used.cbegin(); it != used.cend(); ++it) {
            SQLUINTEGER claimed = 0;
            QVERIFY(SQL_SUCCEEDED(SQLGetInfo(session.dbc, it.key(), &claimed, sizeof claimed, nullptr)));
            QCOMPARE(claimed, it.value());
        }
    }
};

QTEST_GUILESS_MAIN(TestJetClients)
#include "tst_odbc_jet_clients.moc"
