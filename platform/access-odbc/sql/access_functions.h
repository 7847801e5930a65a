#pragma once

struct sqlite3;

namespace accessodbc {

// Makes Access's functions callable from SQL on db, under any case of their names: CStr,
// CInt, CLng, CDbl and IIf, and the fw_* functions that translated Access SQL calls
// for operators, string and date functions (access_text_functions.cpp,
// access_date_functions.cpp); and the collation by which translated SQL compares and
// sorts text (access_text_order.cpp).
bool registerAccessFunctions(sqlite3 *db);

// The name of that collation.
extern const char kTextCollation[];

// What the translator knows of the value it has fw_format format, the function's third
// argument: a Date/Time formats as a date, a Single in General Number with its own digits.
enum class FormattedKind { Other = 0, Date = 1, Single = 2 };

} // namespace accessodbc
