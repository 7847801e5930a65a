#pragma once

// Access SQL in, SQLite SQL out. A query is parsed with Access's grammar and operator
// precedence and written out again so that SQLite gives Access's answer; what the
// translator does not know fails with Access's own message instead of running with a
// different meaning.

#include "sql/access_errors.h"
#include <string>
#include <vector>

struct sqlite3;

namespace accessodbc {
namespace sql {

// What a value is, as far as Access's conversions care: CStr, & and comparisons treat a
// Date/Time column differently from a Text column that holds the same characters, and
// Currency computes exactly where other numbers are doubles.
enum class ValueKind { Unknown, Number, Text, Date, Boolean, Currency };

ValueKind kindOfDeclaredType(const char *declaredType);

// Why a saved query the database lists cannot run: Access's message and its SQLSTATE.
struct Refusal {
    std::string message;
    std::string state;
    int nativeError;
};

// The saved queries that are listed but refused, by name.
using Refusals = std::vector<std::pair<std::string, Refusal>>;

// The tables a query may name; the translator asks for the kind of each column it meets.
class Schema {
public:
    virtual ~Schema() = default;
    virtual bool hasTable(const std::string &table) const = 0;
    // A stored table or a saved query (a view) of that name, which a FROM clause may name.
    virtual bool canRead(const std::string &name) const = 0;
    // False when the table has no such column.
    virtual bool column(const std::string &table, const std::string &column, ValueKind *kind) const = 0;
    // Whether the column holds whole numbers (Byte, Integer, Long): Currency times such a
    // column stays Currency.
    virtual bool integerColumn(const std::string &, const std::string &) const { return false; }
    // Whether the column is a Single, whose text CStr writes in a Single's 7 digits.
    virtual bool singleColumn(const std::string &, const std::string &) const { return false; }
    // A saved query read as a view: its rows have no rowids.
    virtual bool isView(const std::string &) const { return false; }
    // Why the saved query of that name cannot run; nullptr when it can, or is none.
    virtual const Refusal *refusal(const std::string &) const { return nullptr; }
    // Runs SQLite SQL of the translator's own that reads the database, for the texts of
    // its first column (a crosstab's column headings); "<>" stands for Null.
    virtual bool firstColumnTexts(const std::string &, std::vector<std::string> *) const { return false; }
};

// The table column a ? marker is compared with (in =, <, IN, BETWEEN, LIKE), by which
// SQLDescribeParam describes the marker; an empty table where there is none.
struct ParameterColumn {
    std::string table;
    std::string column;
};

struct Translation {
    std::string sql;     // SQLite SQL; ? markers come out numbered in the order they were written
    std::vector<ParameterColumn> parameterColumns; // one per marker, in that order
    std::string error;   // Access's message when the statement cannot run; empty on success
    std::string state;   // the SQLSTATE that goes with the error
    int nativeError = accessError(AccessError::QueryRefused).nativeError; // and Access's native number
    bool write = false;  // the statement would change the database
    // The kind of each result column, for describing it; empty when the select list has
    // a * whose columns the translator does not count.
    std::vector<ValueKind> columnKinds;
    // Per result column: its kind describes it even where SQLite reports a declared type (a
    // union's column whose branches differ, where that type is only the first branch's).
    std::vector<bool> kindOverridesDeclared;
    // The result columns' names as Access gives them, where two would share one: with
    // their table's name before them (Customers.CompanyName); empty with a *.
    std::vector<std::string> columnNames;
};

// The statement may hold ODBC's escape sequences (odbc_escapes.h). parameterKinds: what
// the values bound to the ? markers are, in their order, where the application has said
// (a date bound to SELECT ? is a date); markers beyond it are Unknown.
Translation translate(const std::string &accessSql, const Schema &schema,
                      const std::vector<ValueKind> &parameterKinds = {});

// Against the tables and views of db, typed by their declared column types; refused names
// saved queries that are listed but cannot run.
Translation translate(const std::string &accessSql, sqlite3 *db, const std::vector<ValueKind> &parameterKinds = {},
                      const Refusals &refused = {});

} // namespace sql
} // namespace accessodbc
