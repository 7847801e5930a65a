// Access's date, text and conversion functions over the Northwind sample, through QODBC as
// an application asks: every answer is computed here from mdb-export's CSV of the tables,
// independently of the driver. Skipped when the sample or mdb-export is absent.

#include "mdbexport.h"
#include "odbcfixture.h"

#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTextCodec>

#include <cmath>

#include <functional>

namespace {

const QString kSamples = QStringLiteral(FERNWICK_MDB_SAMPLES);

QString nwindPath() { return QDir(kSamples).filePath(QStringLiteral("nwind.mdb")); }

ExportedTable exportTable(const QString &name) { return mdbExport(nwindPath(), name); }

struct Tables {
    ExportedTable orders, customers, products, details;
};

QDate dateOf(const QString &exported) { return QDate::fromString(exported.left(10), QStringLiteral("yyyy-MM-dd")); }

QString dateText(const QDate &date) { return date.toString(QStringLiteral("yyyy-MM-dd")); }

// Access numbers the days of the week from Sunday = 1; Qt from Monday = 1.
int sundayFirst(const QDate &date) { return date.dayOfWeek() % 7 + 1; }
int quarterOf(const QDate &date) { return (date.month() - 1) / 3 + 1; }

// The Sundays after from, up to and including to; negative when to comes first.
int sundaysBetween(const QDate &from, const QDate &to)
{
    const QDate first = qMin(from, to), last = qMax(from, to);
    int count = 0;
    for (QDate day = first.addDays(1); day <= last; day = day.addDays(1))
        count += day.dayOfWeek() == Qt::Sunday;
    return from <= to ? count : -count;
}

// Rows of one value per row of table, keyed by the first column named.
QStringList perRow(const ExportedTable &table, const char *key, const std::function<QString(const QStringList &)> &value)
{
    QStringList rows;
    const int keyColumn = table.column(key);
    for (const QStringList &row : table.rows)
        rows << row[keyColumn] + '|' + value(row);
    return rows;
}

QStringList single(const QString &value) { return {value}; }

int countOf(const ExportedTable &table, const std::function<bool(const QStringList &)> &holds)
{
    return int(std::count_if(table.rows.begin(), table.rows.end(), holds));
}

QString nullOr(bool isNull, const QString &value) { return isNull ? QStringLiteral("NULL") : value; }

// The number Val reads, found here with a regular expression over the text without blanks.
QString valueOfLeadingNumber(const QString &text)
{
    QString compact = text;
    compact.remove(QRegularExpression(QStringLiteral("[ \\t\\n]")));
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][+-]?\\d+)?")).match(compact);
    const QString number = match.hasMatch() ? match.captured(0).replace(QRegularExpression("[dD]"), "E") : "0";
    return QString::number(number.toDouble(), 'g', 15);
}

// An exported Currency ("19.0000") as a count of ten-thousandths.
qint64 tenThousandths(const QString &exported)
{
    const QStringList parts = exported.split('.');
    return parts[0].toLongLong() * 10000 + (parts.size() > 1 ? parts[1].leftJustified(4, '0').toLongLong() : 0);
}

// Ten-thousandths as Access writes a Currency value in CStr: no trailing zeros.
QString currencyText(qint64 units)
{
    QString text = QString::number(units / 10000);
    const QString fraction = QString::number(qAbs(units % 10000)).rightJustified(4, '0').remove(QRegularExpression("0+$"));
    return fraction.isEmpty() ? text : text + '.' + fraction;
}

// Divides half to even: what CCur does to the exact quotient.
qint64 dividedHalfEven(qint64 numerator, qint64 denominator)
{
    const qint64 quotient = numerator / denominator, remainder = numerator % denominator;
    if (2 * remainder > denominator || (2 * remainder == denominator && quotient % 2 != 0))
        return quotient + 1;
    return quotient;
}

// Ten-thousandths rounded half away from zero to hundredths, as Format rounds, with a
// point and, when asked, commas between thousands.
QString fixedText(qint64 units, bool grouped)
{
    const qint64 cents = (qAbs(units) + 50) / 100;
    QString whole = QString::number(cents / 100);
    for (int i = whole.size() - 3; grouped && i > 0; i -= 3)
        whole.insert(i, ',');
    return whole + '.' + QString::number(cents % 100).rightJustified(2, '0');
}

// Format's Currency under the fixed English rules: $, and parentheses for a negative amount.
QString currencyFormat(qint64 units)
{
    const QString amount = '$' + fixedText(units, true);
    return units < 0 ? '(' + amount + ')' : amount;
}

// Per value of key, in the table's order: the first row's firstColumn and the last row's lastColumn.
QStringList firstAndLastByGroup(const ExportedTable &table, const char *key, const char *firstColumn,
                                const char *lastColumn)
{
    QMap<QString, QStringList> groups;
    for (const QStringList &row : table.rows) {
        QStringList &group = groups[row[table.column(key)]];
        if (group.isEmpty())
            group << row[table.column(firstColumn)] << QString();
        group[1] = row[table.column(lastColumn)];
    }
    QStringList rows;
    for (auto it = groups.begin(); it != groups.end(); ++it)
        rows << it.key() + '|' + it.value().join('|');
    return rows;
}

struct Case {
    const char *name;
    const char *sql;
    std::function<QStringList(const Tables &)> expected;
};

const Case kCases[] = {
    {"Weekday counts from Sunday",
     "select Weekday(OrderDate), count(*) from Orders group by Weekday(OrderDate)",
     [](const Tables &t) {
         QMap<int, int> counts;
         for (const QStringList &row : t.orders.rows)
             ++counts[sundayFirst(dateOf(row[t.orders.column("OrderDate")]))];
         QStringList rows;
         for (auto it = counts.begin(); it != counts.end(); ++it)
             rows << QStringLiteral("%1|%2").arg(it.key()).arg(it.value());
         return rows;
     }},
    {"Weekday with Monday first",
     "select count(*) from Orders where Weekday(OrderDate, 2) = 1",
     [](const Tables &t) {
         return single(QString::number(countOf(t.orders, [&](const QStringList &row) {
             return dateOf(row[t.orders.column("OrderDate")]).dayOfWeek() == Qt::Monday;
         })));
     }},
    {"DatePart of year, quarter, day of year, weekday",
     "select OrderID, DatePart('yyyy', OrderDate) & '/' & DatePart('q', OrderDate) & '/' & DatePart('y', OrderDate) "
     "& '/' & DatePart('w', OrderDate) & '/' & DatePart('d', RequiredDate) from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             const QDate date = dateOf(row[t.orders.column("OrderDate")]);
             return QStringLiteral("%1/%2/%3/%4/%5")
                 .arg(date.year())
                 .arg(quarterOf(date))
                 .arg(date.dayOfYear())
                 .arg(sundayFirst(date))
                 .arg(dateOf(row[t.orders.column("RequiredDate")]).day());
         });
     }},
    {"DatePart week of year: weeks start on Sunday, week 1 holds January 1",
     "select OrderID, DatePart('ww', OrderDate) from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             const QDate date = dateOf(row[t.orders.column("OrderDate")]);
             return QString::number(1 + sundaysBetween(QDate(date.year(), 1, 1), date));
         });
     }},
    {"DateDiff in days, Null where not shipped",
     "select OrderID, DateDiff('d', OrderDate, ShippedDate) from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             const QString shipped = row[t.orders.column("ShippedDate")];
             if (shipped.isNull())
                 return QStringLiteral("NULL");
             return QString::number(dateOf(row[t.orders.column("OrderDate")]).daysTo(dateOf(shipped)));
         });
     }},
    {"DateDiff in calendar weeks counts Sundays",
     "select OrderID, DateDiff('ww', OrderDate, ShippedDate) from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             const QString shipped = row[t.orders.column("ShippedDate")];
             if (shipped.isNull())
                 return QStringLiteral("NULL");
             return QString::number(sundaysBetween(dateOf(row[t.orders.column("OrderDate")]), dateOf(shipped)));
         });
     }},
    {"DateDiff in months, years and hours",
     "select sum(DateDiff('m', OrderDate, RequiredDate)), sum(DateDiff('yyyy', OrderDate, ShippedDate)), "
     "sum(DateDiff('h', OrderDate, RequiredDate)) from Orders",
     [](const Tables &t) {
         qint64 months = 0, years = 0, hours = 0;
         for (const QStringList &row : t.orders.rows) {
             const QDate ordered = dateOf(row[t.orders.column("OrderDate")]);
             const QDate required = dateOf(row[t.orders.column("RequiredDate")]);
             months += (required.year() - ordered.year()) * 12 + required.month() - ordered.month();
             hours += ordered.daysTo(required) * 24;
             if (!row[t.orders.column("ShippedDate")].isNull())
                 years += dateOf(row[t.orders.column("ShippedDate")]).year() - ordered.year();
         }
         return single(QStringLiteral("%1|%2|%3").arg(months).arg(years).arg(hours));
     }},
    {"DateAdd of a month keeps the month's end",
     "select OrderID, CStr(DateAdd('m', 1, OrderDate)), CStr(DateAdd('yyyy', -1, DateAdd('d', 15, OrderDate))) "
     "from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             const QDate date = dateOf(row[t.orders.column("OrderDate")]);
             return dateText(date.addMonths(1)) + '|' + dateText(date.addDays(15).addYears(-1));
         });
     }},
    {"DateAdd of weeks and days in a criterion",
     "select count(*) from Orders where ShippedDate > DateAdd('ww', 1, OrderDate) "
     "and RequiredDate >= DateAdd('d', -3, DateAdd('q', 1, OrderDate))",
     [](const Tables &t) {
         return single(QString::number(countOf(t.orders, [&](const QStringList &row) {
             const QString shipped = row[t.orders.column("ShippedDate")];
             const QDate ordered = dateOf(row[t.orders.column("OrderDate")]);
             return !shipped.isNull() && dateOf(shipped) > ordered.addDays(7)
                    && dateOf(row[t.orders.column("RequiredDate")]) >= ordered.addMonths(3).addDays(-3);
         })));
     }},
    // A truth value as a result column is a Yes/No, which ODBC hands out as 1 or 0.
    {"IsNull",
     "select OrderID, IsNull(ShipRegion), IsNull(ShippedDate) from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             return QStringLiteral("%1|%2")
                 .arg(row[t.orders.column("ShipRegion")].isNull() ? 1 : 0)
                 .arg(row[t.orders.column("ShippedDate")].isNull() ? 1 : 0);
         });
     }},
    {"Switch",
     "select OrderID, Switch(Freight < 10, 'low', Freight < 100, 'middle', True, 'high') from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             const qint64 freight = tenThousandths(row[t.orders.column("Freight")]);
             return QString(freight < 100000 ? "low" : freight < 1000000 ? "middle" : "high");
         });
     }},
    {"Replace",
     "select CustomerID, Replace(CompanyName, ' ', '_'), Replace(ContactTitle, 'SALES', 'Sales', 1, 1, 0) "
     "from Customers",
     [](const Tables &t) {
         return perRow(t.customers, "CustomerID", [&](const QStringList &row) {
             return QString(row[t.customers.column("CompanyName")]).replace(' ', '_') + '|'
                    + row[t.customers.column("ContactTitle")];
         });
     }},
    {"Replace and StrComp ignore case unless told to compare bytes",
     "select count(*), sum(StrComp(Country, 'GERMANY', 0)), sum(Replace(Country, 'germany', 'x') = 'x') from Customers "
     "where StrComp(Country, 'germany') = 0",
     [](const Tables &t) {
         const int germans
             = countOf(t.customers, [&](const QStringList &row) { return row[t.customers.column("Country")] == "Germany"; });
         return single(QStringLiteral("%1|%1|%2").arg(germans).arg(-germans));
     }},
    {"Val reads the number a text starts with",
     "select CustomerID, Val(PostalCode) from Customers where PostalCode is not null",
     [](const Tables &t) {
         QStringList rows;
         for (const QStringList &row : t.customers.rows) {
             if (!row[t.customers.column("PostalCode")].isNull())
                 rows << row[t.customers.column("CustomerID")] + '|'
                             + valueOfLeadingNumber(row[t.customers.column("PostalCode")]);
         }
         return rows;
     }},
    {"Str puts a blank for the sign",
     "select ProductID, Str(ProductID) & '|' & Str(-UnitsInStock) from Products",
     [](const Tables &t) {
         return perRow(t.products, "ProductID", [&](const QStringList &row) {
             const int stock = row[t.products.column("UnitsInStock")].toInt();
             return ' ' + row[t.products.column("ProductID")] + '|' + (stock > 0 ? "-" : " ") + QString::number(stock);
         });
     }},
    {"CCur rounds to ten-thousandths",
     "select ProductID, CStr(CCur(UnitPrice / 3)), CStr(CCur(UnitPrice / 16)) from Products",
     [](const Tables &t) {
         return perRow(t.products, "ProductID", [&](const QStringList &row) {
             const qint64 price = tenThousandths(row[t.products.column("UnitPrice")]);
             return currencyText(dividedHalfEven(price, 3)) + '|' + currencyText(dividedHalfEven(price, 16));
         });
     }},
    {"CDate of text",
     "select OrderID, CStr(CDate(Format(OrderDate, 'yyyy-mm-dd'))), "
     "CDate(CStr({fn IFNULL(ShippedDate, RequiredDate)})) = {fn IFNULL(ShippedDate, RequiredDate)} from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             return dateText(dateOf(row[t.orders.column("OrderDate")])) + QStringLiteral("|1");
         });
     }},
    {"First and Last in the table's order",
     "select First(OrderID), Last(OrderID), First(ShipRegion), Last(ShipRegion), CStr(Last(OrderDate)) from Orders",
     [](const Tables &t) {
         const QStringList &first = t.orders.rows.first(), &last = t.orders.rows.last();
         const int region = t.orders.column("ShipRegion");
         return single(QStringList{first[0], last[0], nullOr(first[region].isNull(), first[region]),
                                   nullOr(last[region].isNull(), last[region]),
                                   dateText(dateOf(last[t.orders.column("OrderDate")]))}
                           .join('|'));
     }},
    {"First and Last of each group",
     "select CustomerID, First(OrderID), Last(ShipName) from Orders group by CustomerID",
     [](const Tables &t) { return firstAndLastByGroup(t.orders, "CustomerID", "OrderID", "ShipName"); }},
    // SQLite reads these rows through the index of the column in WHERE, in its order.
    {"First and Last in the table's order, where an index picks the rows",
     "select First(OrderID), Last(OrderID), First(ShipName), Last(ShipName) from Orders where EmployeeID in (3, 1)",
     [](const Tables &t) {
         QVector<QStringList> picked;
         for (const QStringList &row : t.orders.rows) {
             if (row[t.orders.column("EmployeeID")] == "1" || row[t.orders.column("EmployeeID")] == "3")
                 picked << row;
         }
         const int id = t.orders.column("OrderID"), name = t.orders.column("ShipName");
         return single(QStringList{picked.first()[id], picked.last()[id], picked.first()[name], picked.last()[name]}
                           .join('|'));
     }},
    {"First and Last of products by an indexed range",
     "select First(ProductName), Last(ProductName) from Products where SupplierID > 3",
     [](const Tables &t) {
         QStringList names;
         for (const QStringList &row : t.products.rows) {
             if (row[t.products.column("SupplierID")].toInt() > 3)
                 names << row[t.products.column("ProductName")];
         }
         return single(names.first() + '|' + names.last());
     }},
    {"First and Last of groups over a join, in the order of the first table",
     "select Products.CategoryID, First(ProductName), Last(ProductName) from Products inner join Categories "
     "on Products.CategoryID = Categories.CategoryID group by Products.CategoryID",
     [](const Tables &t) { return firstAndLastByGroup(t.products, "CategoryID", "ProductName", "ProductName"); }},
    {"DISTINCTROW keeps one row per row of the table selected from",
     "select distinctrow Orders.ShipCountry from Orders inner join [Order Details] "
     "on Orders.OrderID = [Order Details].OrderID",
     [](const Tables &t) {
         QSet<QString> withDetails;
         for (const QStringList &row : t.details.rows)
             withDetails << row[t.details.column("OrderID")];
         QStringList rows;
         for (const QStringList &row : t.orders.rows) {
             if (withDetails.contains(row[t.orders.column("OrderID")]))
                 rows << row[t.orders.column("ShipCountry")];
         }
         return rows;
     }},
    {"DISTINCTROW of both tables changes nothing",
     "select distinctrow Orders.OrderID, ProductID from Orders inner join [Order Details] "
     "on Orders.OrderID = [Order Details].OrderID",
     [](const Tables &t) {
         QStringList rows;
         for (const QStringList &row : t.details.rows)
             rows << row[t.details.column("OrderID")] + '|' + row[t.details.column("ProductID")];
         return rows;
     }},
    {"a Single is the double of its float, and its text has a Single's digits",
     "select OrderID, ProductID, Discount, CStr(Discount), Discount * 2, Format(Discount, 'General Number') "
     "from [Order Details]",
     [](const Tables &t) {
         QStringList rows;
         for (const QStringList &row : t.details.rows) {
             const float discount = row[t.details.column("Discount")].toFloat();
             rows << QStringList{row[t.details.column("OrderID")], row[t.details.column("ProductID")],
                                 QString::number(double(discount), 'g', 15), QString::number(discount, 'g', 7),
                                 QString::number(double(discount) * 2, 'g', 15), QString::number(discount, 'g', 7)}
                         .join('|');
         }
         return rows;
     }},
    {"Format with the named number formats",
     "select ProductID, Format(UnitPrice, 'Currency'), Format(-UnitPrice, 'Currency'), Format(UnitPrice, 'Fixed'), "
     "Format(UnitPrice * 1000, 'Standard'), Format(UnitPrice, 'General Number'), Format(Discontinued, 'Yes/No'), "
     "Format(Discontinued, 'True/False'), Format(UnitPrice, '.00') from Products",
     [](const Tables &t) {
         return perRow(t.products, "ProductID", [&](const QStringList &row) {
             const qint64 price = tenThousandths(row[t.products.column("UnitPrice")]);
             const bool discontinued = row[t.products.column("Discontinued")] != QLatin1String("0");
             return QStringList{currencyFormat(price), currencyFormat(-price), fixedText(price, false),
                                fixedText(price * 1000, true), currencyText(price), discontinued ? "Yes" : "No",
                                discontinued ? "True" : "False", fixedText(price, false)}
                 .join('|');
         });
     }},
    {"Format of a Single as Percent and with pictures",
     "select OrderID, ProductID, Format(Discount, 'Percent'), Format(Discount, '0.0%'), "
     "Format(Quantity, '#,##0;(#,##0);\"none\"'), Format(-Quantity, '0;(0)') from [Order Details]",
     [](const Tables &t) {
         QStringList rows;
         for (const QStringList &row : t.details.rows) {
             const double discount = double(row[t.details.column("Discount")].toFloat()) * 100;
             const QString quantity = row[t.details.column("Quantity")];
             rows << QStringList{row[t.details.column("OrderID")], row[t.details.column("ProductID")],
                                 QString::number(discount, 'f', 2) + '%', QString::number(discount, 'f', 1) + '%',
                                 quantity == QLatin1String("0") ? QStringLiteral("none") : quantity,
                                 '(' + quantity + ')'}
                         .join('|');
         }
         return rows;
     }},
    {"Format of dates with the weekday, week and short-date pictures",
     "select OrderID, Format(OrderDate, 'w/ww'), Format(OrderDate, 'ddddd'), Format(OrderDate, 'yyyy\\Qq'), "
     "Format(OrderDate, 'Fixed') from Orders",
     [](const Tables &t) {
         return perRow(t.orders, "OrderID", [&](const QStringList &row) {
             const QDate date = dateOf(row[t.orders.column("OrderDate")]);
             return QStringLiteral("%1/%2|%3|%4Q%5|%6.00")
                 .arg(sundayFirst(date))
                 .arg(1 + sundaysBetween(QDate(date.year(), 1, 1), date))
                 .arg(dateText(date))
                 .arg(date.year())
                 .arg(quarterOf(date))
                 .arg(QDate(1899, 12, 30).daysTo(date));
         });
     }},
    {"Int, Fix, Sgn and Round of prices",
     "select ProductID, Int(UnitPrice / 7), Fix(-UnitPrice / 7), Sgn(UnitsInStock - ReorderLevel), "
     "Round(UnitPrice / 7, 2), Round(UnitPrice / 4) from Products",
     [](const Tables &t) {
         return perRow(t.products, "ProductID", [&](const QStringList &row) {
             const double price = row[t.products.column("UnitPrice")].toDouble();
             const int margin = row[t.products.column("UnitsInStock")].toInt() - row[t.products.column("ReorderLevel")].toInt();
             return QStringList{QString::number(std::floor(price / 7), 'g', 15),
                                QString::number(std::trunc(-price / 7), 'g', 15),
                                QString::number(margin > 0 ? 1 : margin < 0 ? -1 : 0),
                                QString::number(std::nearbyint(price / 7 * 100) / 100, 'g', 15),
                                QString::number(std::nearbyint(price / 4), 'g', 15)}
                 .join('|');
         });
     }},
    {"InStrRev, StrReverse, Asc and Space over text",
     "select CustomerID, InStrRev(CompanyName, ' '), StrReverse(CustomerID), Asc(CompanyName), Len(Space(Len(City))), "
     "Hex(Len(Address)) from Customers",
     [](const Tables &t) {
         QTextCodec *windows = QTextCodec::codecForName("windows-1252");
         return perRow(t.customers, "CustomerID", [&](const QStringList &row) {
             const QString id = row[t.customers.column("CustomerID")];
             const QString company = row[t.customers.column("CompanyName")];
             QString reversed;
             for (const QChar c : id)
                 reversed.prepend(c);
             return QStringList{QString::number(company.lastIndexOf(' ') + 1), reversed,
                                QString::number(quint8(windows->fromUnicode(company.left(1)).at(0))),
                                QString::number(row[t.customers.column("City")].size()),
                                QString::number(row[t.customers.column("Address")].size(), 16).toUpper()}
                 .join('|');
         });
     }},
    {"> ALL and = ANY over subqueries",
     "select (select count(*) from Products where UnitPrice > ALL (select UnitPrice from Products where CategoryID = 2)), "
     "(select count(*) from Products where UnitPrice < ANY (select UnitPrice from Products where CategoryID = 2)), "
     "(select count(*) from Orders where ShipCountry = SOME (select Country from Customers where Region is null))",
     [](const Tables &t) {
         double highest = 0, most = 0;
         QSet<QString> countries;
         for (const QStringList &row : t.products.rows) {
             const double price = row[t.products.column("UnitPrice")].toDouble();
             if (row[t.products.column("CategoryID")] == "2")
                 highest = qMax(highest, price);
             most = qMax(most, price);
         }
         for (const QStringList &row : t.customers.rows) {
             if (row[t.customers.column("Region")].isNull())
                 countries << row[t.customers.column("Country")].toCaseFolded();
         }
         return single(QStringLiteral("%1|%2|%3")
                           .arg(countOf(t.products, [&](const QStringList &row) {
                               return row[t.products.column("UnitPrice")].toDouble() > highest;
                           }))
                           .arg(countOf(t.products, [&](const QStringList &row) {
                               return row[t.products.column("UnitPrice")].toDouble() < highest;
                           }))
                           .arg(countOf(t.orders, [&](const QStringList &row) {
                               return countries.contains(row[t.orders.column("ShipCountry")].toCaseFolded());
                           })));
     }},
    {"a date literal whose month cannot be one reads day first",
     "select count(*) from Orders where OrderDate between #13/1/1995# and #31/1/1995#",
     [](const Tables &t) {
         return single(QString::number(countOf(t.orders, [&](const QStringList &row) {
             const QDate date = dateOf(row[t.orders.column("OrderDate")]);
             return date >= QDate(1995, 1, 13) && date <= QDate(1995, 1, 31);
         })));
     }},
};

// A value as the test compares it: numbers in at most 15 significant digits.
QString shown(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    if (value.type() == QVariant::Double)
        return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

} // namespace

class TestAccessFunctionsNwind : public QObject {
    Q_OBJECT

private:
    Tables tables;

private slots:
    void initTestCase()
    {
        const QString problem = odbcfixture::localeNotInEffect();
        if (!problem.isEmpty())
            QFAIL(qPrintable(problem));
        if (!QFile::exists(nwindPath()))
            QSKIP(qPrintable(QStringLiteral("The sample nwind.mdb is not in %1").arg(kSamples)));
        if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty())
            QSKIP("mdb-export is not installed");
        tables = {exportTable(QStringLiteral("Orders")), exportTable(QStringLiteral("Customers")),
                  exportTable(QStringLiteral("Products")), exportTable(QStringLiteral("Order Details"))};
        QCOMPARE(tables.orders.rows.size(), 830);
        QVERIFY(odbcfixture::accessDatabase(QStringLiteral("nwind"), nwindPath()).open());
    }

    void cleanupTestCase() { QSqlDatabase::removeDatabase(QStringLiteral("nwind")); }

    void answers_data()
    {
        QTest::addColumn<int>("index");
        for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i)
            QTest::newRow(kCases[i].name) << int(i);
    }

    // Rows are compared as sets: the cases that depend on order say so in their query.
    void answers()
    {
        QFETCH(int, index);
        const Case &c = kCases[index];
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("nwind")));
        query.setForwardOnly(true);
        QVERIFY2(query.exec(QString::fromUtf8(c.sql)), qPrintable(query.lastError().text()));
        QStringList rows;
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << shown(query.value(i));
            rows << values.join('|');
        }
        QStringList expected = c.expected(tables);
        rows.sort();
        expected.sort();
        QCOMPARE(rows, expected);
    }

    // PARAMETERS' names take the bound values by position, as Access's ODBC driver binds them.
    void parametersAreBoundByPosition()
    {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("nwind")));
        QVERIFY(query.prepare(QStringLiteral("PARAMETERS [Beginning Date] DateTime, [Ending Date] DateTime; "
                                             "select count(*) from Orders where OrderDate between [Beginning Date] "
                                             "and [Ending Date] and EmployeeID <> ?")));
        query.addBindValue(QDate(1995, 1, 1));
        query.addBindValue(QDate(1995, 6, 30));
        query.addBindValue(3);
        QVERIFY2(query.exec() && query.next(), qPrintable(query.lastError().text()));
        QCOMPARE(query.value(0).toInt(), countOf(tables.orders, [&](const QStringList &row) {
                     const QDate date = dateOf(row[tables.orders.column("OrderDate")]);
                     return date >= QDate(1995, 1, 1) && date <= QDate(1995, 6, 30)
                            && row[tables.orders.column("EmployeeID")] != QLatin1String("3");
                 }));
    }

    // A crosstab's columns are its row headings, then one per column heading: in IN's order,
    // or ascending as the rows have them; a heading without rows in a group is Null there.
    void crosstabColumnsAreTheHeadings_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QStringList>("headings"); // empty: those the rows have, ascending
        QTest::newRow("headings from the rows")
            << "TRANSFORM Count(*) SELECT ShipCountry FROM Orders GROUP BY ShipCountry PIVOT Year(OrderDate)"
            << "ShipCountry" << "year" << QStringList();
        QTest::newRow("headings listed with IN")
            << "TRANSFORM Count(OrderID) AS n SELECT EmployeeID FROM Orders GROUP BY EmployeeID PIVOT ShipVia IN (3, 1, 7)"
            << "EmployeeID" << "ShipVia" << QStringList{"3", "1", "7"};
    }

    void crosstabColumnsAreTheHeadings()
    {
        QFETCH(QString, sql);
        QFETCH(QString, group);
        QFETCH(QString, heading);
        QFETCH(QStringList, headings);
        const ExportedTable &orders = tables.orders;
        const auto headingOf = [&](const QStringList &row) {
            return heading == "year" ? QString::number(dateOf(row[orders.column("OrderDate")]).year())
                                     : row[orders.column(heading)];
        };
        QMap<QString, QMap<QString, int>> counts;
        QSet<QString> seen;
        for (const QStringList &row : orders.rows) {
            ++counts[row[orders.column(group)]][headingOf(row)];
            seen << headingOf(row);
        }
        if (headings.isEmpty()) {
            headings = seen.values();
            std::sort(headings.begin(), headings.end());
        }
        QStringList expected;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            QStringList values{it.key()};
            for (const QString &h : headings)
                values << (it.value().contains(h) ? QString::number(it.value()[h]) : QStringLiteral("NULL"));
            expected << values.join('|');
        }

        QSqlQuery query(QSqlDatabase::database(QStringLiteral("nwind")));
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
        QStringList names;
        for (int i = 0; i < query.record().count(); ++i)
            names << query.record().fieldName(i);
        QCOMPARE(names, QStringList{group} + headings);
        QStringList rows;
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << shown(query.value(i));
            rows << values.join('|');
        }
        rows.sort();
        expected.sort();
        QCOMPARE(rows, expected);
    }

    // The saved crosstab of the sample: its row headings, then the quarters IN lists.
    void savedCrosstabIsAView()
    {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("nwind")));
        QVERIFY2(query.exec(QStringLiteral("select * from [Quarterly Orders by Product]")),
                 qPrintable(query.lastError().text()));
        QStringList names;
        for (int i = 0; i < query.record().count(); ++i)
            names << query.record().fieldName(i);
        QCOMPARE(names, QStringList({"ProductName", "CustomerID", "OrderYear", "Qtr 1", "Qtr 2", "Qtr 3", "Qtr 4"}));
        QMap<QString, QString> productNames;
        for (const QStringList &row : tables.products.rows)
            productNames[row[tables.products.column("ProductID")]] = row[tables.products.column("ProductName")];
        QMap<QString, QString> customerOf;
        for (const QStringList &row : tables.orders.rows) {
            if (dateOf(row[tables.orders.column("OrderDate")]).year() == 1995)
                customerOf[row[tables.orders.column("OrderID")]] = row[tables.orders.column("CustomerID")];
        }
        QSet<QString> groups;
        for (const QStringList &row : tables.details.rows) {
            const QString order = row[tables.details.column("OrderID")];
            if (customerOf.contains(order))
                groups << productNames[row[tables.details.column("ProductID")]] + '|' + customerOf[order];
        }
        int rows = 0;
        while (query.next())
            ++rows;
        QCOMPARE(rows, groups.size());
    }

    void unknownTableIsNamedAsAccessNamesIt()
    {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("nwind")));
        QVERIFY(!query.exec(QStringLiteral("select * from Ordrs")));
        QVERIFY2(query.lastError().databaseText().contains(
                     QStringLiteral("The Microsoft Access database engine cannot find the input table or query "
                                    "'Ordrs'. Make sure it exists and that its name is spelled correctly.")),
                 qPrintable(query.lastError().databaseText()));
    }
};

QTEST_GUILESS_MAIN(TestAccessFunctionsNwind)
#include "tst_access_functions_nwind.moc"
