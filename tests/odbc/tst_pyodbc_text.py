"""nwind.mdb through Debian's python3-pyodbc: text beyond ASCII bound as parameters, text
of 128 characters and more (which pyodbc hands over at execution) and ODBC's escape
sequences. Expected answers come from mdb-export's CSV of the same file.

Run by CTest as: /usr/bin/python3 tst_pyodbc_text.py <folder of the sample databases>
with ODBCSYSINI naming the build's driver list."""

import csv
import io
import os
import subprocess
import sys
import unittest

import pyodbc

SAMPLES = sys.argv.pop(1) if len(sys.argv) > 1 else "../shared/data/mdb"
NWIND = os.path.join(SAMPLES, "nwind.mdb")


def export(table):
    text = subprocess.run(["mdb-export", "-b", "strip", "-T", "%Y-%m-%d %H:%M:%S", NWIND, table],
                          check=True, capture_output=True).stdout.decode("utf-8")
    return list(csv.DictReader(io.StringIO(text, newline="")))


def upper_by_character(text):
    """Access's UCase keeps the length: a letter without a one-letter capital stays."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in text)


@unittest.skipUnless(os.path.exists(NWIND), "the sample nwind.mdb is absent")
class PyodbcText(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.orders = export("Orders")
        cls.customers = export("Customers")
        cls.employees = export("Employees")

    def setUp(self):
        self.connection = pyodbc.connect(
            "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + NWIND, autocommit=True)
        self.cursor = self.connection.cursor()

    def tearDown(self):
        self.connection.close()

    def scalar(self, sql, *parameters):
        return self.cursor.execute(sql, *parameters).fetchone()[0]

    def test_long_text_parameters(self):
        text = "Ж😀x" * 3334
        self.assertEqual(self.scalar("select Len(?)", text[:10000]), 10000)
        self.assertEqual(self.scalar("select ?", text), text)
        notes = max((row["Notes"] for row in self.employees), key=len)
        self.assertGreaterEqual(len(notes), 128)
        expected = sum(1 for row in self.employees if row["Notes"] == notes)
        self.assertEqual(self.scalar("select count(*) from Employees where Notes = ?", notes), expected)

    def test_text_beyond_ascii_bound(self):
        for city in ("MONTRÉAL", "århus"):
            expected = sum(1 for row in self.orders if row["ShipCity"].casefold() == city.casefold())
            self.assertEqual(self.scalar("select count(*) from Orders where ShipCity = ?", city), expected)

    def test_escapes(self):
        expected = sum(1 for row in self.orders if row["OrderDate"] and row["OrderDate"] < "1995-01-01")
        self.assertEqual(self.scalar("select count(*) from Orders where OrderDate < {d '1995-01-01'}"), expected)
        first = self.orders[0]
        self.assertEqual(self.scalar("select {fn UCASE(ShipCity)} from Orders where OrderID = ?",
                                     int(first["OrderID"])), upper_by_character(first["ShipCity"]))
        expected = sum(1 for row in self.customers if "-" in row["CompanyName"])
        self.assertEqual(self.scalar("select count(*) from Customers where CompanyName like ? {escape '\\'}",
                                     "*\\-*"), expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
