"""The driver as Python programs use it, through Debian's pyodbc: every answer arrives as
the Python type of its Access type (dates as datetime, Currency as an exact Decimal, Yes/No
as bool, whole numbers as int), bound values mean what they mean in Access, and the catalog
functions answer with integers where the ODBC reference has integers; text beyond ASCII,
long text parameters and ODBC's escape sequences work as clients send them.

Answers over the Northwind sample are computed here from mdb-export's CSV, never taken
from the driver. Run by CTest with ODBCSYSINI naming the built driver:

    /usr/bin/python3 tst_pyodbc.py <folder of the sample databases>
"""

import csv
import datetime
import decimal
import io
import os
import subprocess
import sys
import unittest

import pyodbc

SAMPLES = sys.argv[1] if len(sys.argv) > 1 else ""
NWIND = os.path.join(SAMPLES, "nwind.mdb")
CONNECTION = "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + NWIND
SKIP = 77  # CTest's SKIP_RETURN_CODE for this test

Decimal = decimal.Decimal
DateTime = datetime.datetime


def exported(table):
    """The table's rows as mdb-export writes them, one dict per row; NULL is None."""
    text = subprocess.run(["mdb-export", "-b", "strip", "-T", "%Y-%m-%d %H:%M:%S", NWIND, table],
                          check=True, capture_output=True, encoding="utf-8").stdout
    rows = []
    for row in csv.DictReader(io.StringIO(text, newline="")):
        rows.append({key: (value if value != "" else None) for key, value in row.items()})
    return rows


def when(text):
    return DateTime.strptime(text, "%Y-%m-%d %H:%M:%S")


class Northwind:
    """The tables the answers are computed from, read once."""

    def __init__(self):
        self.orders = exported("Orders")
        self.details = exported("Order Details")
        self.products = exported("Products")
        self.employees = exported("Employees")
        self.customers = exported("Customers")

    def order(self, order_id):
        return next(row for row in self.orders if row["OrderID"] == str(order_id))

    def freights(self, keep=lambda row: True):
        return [Decimal(row["Freight"]) for row in self.orders if keep(row) and row["Freight"] is not None]


def upper_by_character(text):
    """Access's UCase keeps the length: a letter without a one-letter capital stays."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in text)


def one(*values):
    return [tuple(values)]


# (name, Access SQL, bound values, the expected rows from the exported tables, the Python
# type of each column). Each is an answer a report or an export would use.
def answers(nw):
    dates = [when(row["OrderDate"]) for row in nw.orders]
    order = nw.order(10248)
    order_date = when(order["OrderDate"])
    freight = Decimal(order["Freight"])
    discontinued = [row["Discontinued"] == "1" for row in nw.products]
    by_year = {}
    for row in nw.orders:
        year = when(row["OrderDate"]).year
        by_year[year] = by_year.get(year, Decimal(0)) + Decimal(row["Freight"])
    by_customer = {}
    for row in nw.orders:
        by_customer[row["CustomerID"]] = by_customer.get(row["CustomerID"], Decimal(0)) + Decimal(row["Freight"])
    first_customers = sorted(by_customer)[:3]
    return [
        ("latest order date", "select Max(OrderDate) from Orders", [], one(max(dates)), [DateTime]),
        ("earliest order date", "select Min(OrderDate) from Orders", [], one(min(dates)), [DateTime]),
        ("date plus days", "select OrderDate + 30 from Orders where OrderID = 10248", [],
         one(order_date + datetime.timedelta(days=30)), [DateTime]),
        ("date minus a day", "select OrderDate - 1 from Orders where OrderID = 10248", [],
         one(order_date - datetime.timedelta(days=1)), [DateTime]),
        ("DateSerial past the month's end", "select DateSerial(1995, 2, 30) from Orders where OrderID = 10248", [],
         one(DateTime(1995, 3, 2)), [DateTime]),
        ("date literal with a time", "select #1/2/1995 10:30# from Orders where OrderID = 10248", [],
         one(DateTime(1995, 1, 2, 10, 30)), [DateTime]),
        ("IIf of a date and Null", "select IIf(True, OrderDate, Null) from Orders where OrderID = 10248", [],
         one(order_date), [DateTime]),
        ("latest hire date", "select Max(HireDate) from Employees", [],
         one(max(when(row["HireDate"]) for row in nw.employees)), [DateTime]),
        ("total freight", "select Sum(Freight) from Orders", [], one(sum(nw.freights())), [Decimal]),
        ("cheapest and dearest freight", "select Min(Freight), Max(Freight) from Orders", [],
         one(min(nw.freights()), max(nw.freights())), [Decimal, Decimal]),
        ("freight range", "select Max(Freight) - Min(Freight) from Orders", [],
         one(max(nw.freights()) - min(nw.freights())), [Decimal]),
        ("freight times a whole number", "select Freight * 3 from Orders where OrderID = 10248", [],
         one(freight * 3), [Decimal]),
        ("freight plus and minus", "select Freight + 1, Freight - Freight, -Freight from Orders where OrderID = 10248",
         [], one(freight + 1, Decimal(0), -freight), [Decimal, Decimal, Decimal]),
        ("freight of one country", "select Sum(Freight) from Orders where ShipCountry = 'Germany'", [],
         one(sum(nw.freights(lambda row: row["ShipCountry"] == "Germany"))), [Decimal]),
        ("freight of one country among all", "select Sum(IIf(ShipCountry = 'Germany', Freight, 0)) from Orders", [],
         one(sum(nw.freights(lambda row: row["ShipCountry"] == "Germany"))), [Decimal]),
        ("order lines' discounted value", "select Sum(CCur(UnitPrice * Quantity * (1 - Discount))) "
         "from [Order Details]", [],
         one(sum((Decimal(row["UnitPrice"]) * int(row["Quantity"]) * (1 - Decimal(row["Discount"])))
                 .quantize(Decimal("0.0001"), rounding=decimal.ROUND_HALF_EVEN) for row in nw.details)), [Decimal]),
        ("order lines' value", "select Sum(UnitPrice * Quantity) from [Order Details]", [],
         one(sum(Decimal(row["UnitPrice"]) * int(row["Quantity"]) for row in nw.details)), [Decimal]),
        ("freight by year", "select Year(OrderDate), Sum(Freight) from Orders group by Year(OrderDate) "
         "order by Year(OrderDate)", [], sorted(by_year.items()), [int, Decimal]),
        ("freight by customer", "select top 3 CustomerID, Sum(Freight) from Orders group by CustomerID "
         "order by CustomerID", [], [(c, by_customer[c]) for c in first_customers], [str, Decimal]),
        ("orders over a freight", "select count(*) from Orders where Freight > 100", [],
         one(len(nw.freights(lambda row: Decimal(row["Freight"]) > 100))), [int]),
        ("quantities", "select Sum(Quantity) from [Order Details]", [],
         one(sum(int(row["Quantity"]) for row in nw.details)), [int]),
        ("Yes/No column", "select Discontinued from Products where ProductID = 5", [],
         one(nw.products[4]["Discontinued"] == "1"), [bool]),
        ("Yes/No compared", "select Discontinued = True, UnitsInStock > 0 from Products where ProductID = 5", [],
         one(nw.products[4]["Discontinued"] == "1", int(nw.products[4]["UnitsInStock"]) > 0), [bool, bool]),
        ("bound true", "select count(*) from Products where Discontinued = ?", [True],
         one(discontinued.count(True)), [int]),
        ("bound false", "select count(*) from Products where Discontinued = ?", [False],
         one(discontinued.count(False)), [int]),
        ("bound date selected", "select ? from Orders where OrderID = 10248", [DateTime(1995, 1, 2)],
         one(DateTime(1995, 1, 2)), [DateTime]),
        ("bound date minus a day", "select ? - 1 from Orders where OrderID = 10248", [DateTime(1995, 1, 2)],
         one(DateTime(1995, 1, 1)), [DateTime]),
        ("orders before a bound date", "select count(*) from Orders where OrderDate < ?", [DateTime(1995, 1, 1)],
         one(sum(1 for d in dates if d < DateTime(1995, 1, 1))), [int]),
    ]


class NorthwindCase(unittest.TestCase):
    """One connection and the exported tables, for all the tests of a class."""

    @classmethod
    def setUpClass(cls):
        cls.nw = Northwind()
        cls.db = pyodbc.connect(CONNECTION)

    @classmethod
    def tearDownClass(cls):
        cls.db.close()


class TypedAnswers(NorthwindCase):
    def run_query(self, sql, params):
        cursor = self.db.cursor()
        cursor.execute(sql, *params)
        return [tuple(row) for row in cursor.fetchall()]

    def test_access_sql_answers(self):
        cases = answers(self.nw)
        right = 0
        for name, sql, params, expected, types in cases:
            with self.subTest(name):
                try:
                    rows = self.run_query(sql, params)
                except pyodbc.Error as error:
                    self.fail(f"{sql}: {error}")
                got_types = [[type(value) for value in row] for row in rows]
                self.assertEqual(rows, expected, sql)
                self.assertEqual(got_types, [types] * len(expected), sql)
                right += 1
        print(f"Access SQL answers: {len(cases)} checked, {right} right", file=sys.stderr)

    def test_now_is_a_date(self):
        row = self.run_query("select Now(), Date() from Orders where OrderID = 10248", [])[0]
        self.assertEqual([type(value) for value in row], [DateTime, DateTime])

    def test_description_agrees_with_values(self):
        cursor = self.db.cursor()
        cursor.execute("select Max(OrderDate), Sum(Freight), Discontinued = True, count(*) from Orders, Products "
                       "where OrderID = 10248 and ProductID = 5 group by Discontinued")
        self.assertEqual([column[1] for column in cursor.description], [DateTime, Decimal, bool, int])
        sum_column = cursor.description[1]
        self.assertEqual((sum_column[4], sum_column[5]), (19, 4))  # precision, scale
        # A number whose first value is Null is still a number.
        cursor.execute("select Sum(Quantity) from [Order Details] where OrderID = 0")
        self.assertEqual((cursor.description[0][1], cursor.fetchall()[0][0]), (float, None))


class Catalog(NorthwindCase):
    def test_unique_index_is_found_by_its_integer(self):
        rows = [row for row in self.db.cursor().statistics("Orders") if row.index_name is not None]
        unique = [row.column_name for row in rows if row.non_unique == 0]
        self.assertIn("OrderID", unique)
        ids = [row["OrderID"] for row in self.nw.orders]
        self.assertEqual(len(set(ids)), len(ids))
        self.assertTrue(all(type(row.ordinal_position) is int and type(row.type) is int for row in rows))

    def test_integer_columns_are_described_as_integers(self):
        # The integer columns of each catalog result set, as the ODBC reference lists them;
        # the first row's value may be NULL, and the description must not follow it.
        calls = [
            (lambda c: c.columns(table="Orders"),
             ["data_type", "column_size", "buffer_length", "decimal_digits", "num_prec_radix", "nullable",
              "sql_data_type", "sql_datetime_sub", "char_octet_length", "ordinal_position"]),
            (lambda c: c.statistics("Orders"),
             ["non_unique", "type", "ordinal_position", "cardinality", "pages"]),
            (lambda c: c.primaryKeys("Orders"), ["key_seq"]),
            (lambda c: c.getTypeInfo(),
             ["data_type", "column_size", "nullable", "case_sensitive", "searchable", "unsigned_attribute",
              "fixed_prec_scale", "auto_unique_value", "minimum_scale", "maximum_scale", "sql_data_type",
              "sql_datetime_sub", "num_prec_radix", "interval_precision"]),
            (lambda c: c.rowIdColumns("Orders"),
             ["scope", "data_type", "column_size", "buffer_length", "decimal_digits", "pseudo_column"]),
        ]
        for call, integers in calls:
            cursor = call(self.db.cursor())
            described = {column[0].lower(): column[1] for column in cursor.description}
            self.assertEqual({name: described[name] for name in integers}, {name: int for name in integers})
            self.assertTrue(all(t is str for name, t in described.items() if name not in integers), described)

    def test_best_row_identifier_is_the_primary_key(self):
        rows = list(self.db.cursor().rowIdColumns("Orders"))
        self.assertEqual([(row.column_name, row.data_type, row.scope, row.pseudo_column) for row in rows],
                         [("OrderID", pyodbc.SQL_INTEGER, pyodbc.SQL_SCOPE_SESSION, pyodbc.SQL_PC_NOT_PSEUDO)])
        self.assertEqual(list(self.db.cursor().rowVerColumns("Orders")), [])

    def test_connect_time_information(self):
        # What pyodbc, DBD::ODBC and Node's odbc package ask for when they connect.
        self.assertEqual(self.db.getinfo(pyodbc.SQL_MAX_IDENTIFIER_LEN), 64)
        for info in (pyodbc.SQL_CURSOR_COMMIT_BEHAVIOR, pyodbc.SQL_CURSOR_ROLLBACK_BEHAVIOR,
                     pyodbc.SQL_DESCRIBE_PARAMETER, pyodbc.SQL_DRIVER_ODBC_VER, pyodbc.SQL_NEED_LONG_DATA_LEN,
                     pyodbc.SQL_CATALOG_NAME, pyodbc.SQL_DBMS_NAME, pyodbc.SQL_DBMS_VER, pyodbc.SQL_DRIVER_NAME,
                     pyodbc.SQL_DRIVER_VER, pyodbc.SQL_MAX_COLUMN_NAME_LEN, pyodbc.SQL_SCHEMA_USAGE,
                     pyodbc.SQL_TXN_ISOLATION_OPTION, pyodbc.SQL_GETDATA_EXTENSIONS):
            self.assertIsNotNone(self.db.getinfo(info), info)


class ClientText(NorthwindCase):
    """Text as clients send it: beyond ASCII, long enough for pyodbc to hand it over at
    execution, and inside ODBC's escape sequences."""

    def scalar(self, sql, *parameters):
        return self.db.cursor().execute(sql, *parameters).fetchone()[0]

    def test_long_text_parameters(self):
        text = "Ж😀x" * 3334
        self.assertEqual(self.scalar("select Len(?)", text[:10000]), 10000)
        self.assertEqual(self.scalar("select ?", text), text)
        notes = max((row["Notes"] or "" for row in self.nw.employees), key=len)
        self.assertGreaterEqual(len(notes), 128)
        expected = sum(1 for row in self.nw.employees if row["Notes"] == notes)
        self.assertEqual(self.scalar("select count(*) from Employees where Notes = ?", notes), expected)

    def test_text_beyond_ascii_bound(self):
        for city in ("MONTRÉAL", "århus"):
            expected = sum(1 for row in self.nw.orders if (row["ShipCity"] or "").casefold() == city.casefold())
            self.assertEqual(self.scalar("select count(*) from Orders where ShipCity = ?", city), expected)

    def test_escapes(self):
        expected = sum(1 for row in self.nw.orders if row["OrderDate"] and row["OrderDate"] < "1995-01-01")
        self.assertEqual(self.scalar("select count(*) from Orders where OrderDate < {d '1995-01-01'}"), expected)
        first = self.nw.orders[0]
        self.assertEqual(self.scalar("select {fn UCASE(ShipCity)} from Orders where OrderID = ?",
                                     int(first["OrderID"])), upper_by_character(first["ShipCity"]))
        expected = sum(1 for row in self.nw.customers if "-" in row["CompanyName"])
        self.assertEqual(self.scalar("select count(*) from Customers where CompanyName like ? {escape '\\'}",
                                     "*\\-*"), expected)


if __name__ == "__main__":
    if not os.path.exists(NWIND):
        print(f"The sample Jet databases are not in {SAMPLES}", file=sys.stderr)
        sys.exit(SKIP)
    unittest.main(argv=sys.argv[:1], verbosity=2)
