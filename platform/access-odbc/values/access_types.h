#pragma once

// The column types the driver knows, in one table: how a declared type ("TEXT(50)",
// "LONGTEXT", "DATETIME") is recognised, the name and ODBC description it is advertised
// with (SQLGetTypeInfo, SQLColAttribute), and the class of value Access's conversions and
// comparisons treat it as (the translator's CStr, & and date comparisons).

#include <sql.h>
#include <sqlext.h>

#include <cstddef>

namespace accessodbc {

// What a value is to Access's conversions: a Date/Time column converts and compares
// unlike a Text column holding the same characters, and a Long Binary is none of these.
enum class TypeClass { Text, Number, Date, Boolean, Binary };

struct AccessType {
    const char *name;              // TYPE_NAME, as Access names it
    SQLSMALLINT sqlType;           // the ODBC 3 concise type
    SQLULEN columnSize;            // for VARCHAR the longest; a column has its declared length
    SQLLEN displaySize;
    SQLLEN octetLength;
    SQLSMALLINT decimalDigits;     // a fixed scale; 0 where there is none
    SQLSMALLINT maximumScale;      // the largest scale a column may declare; 0: no scale at all
    const char *literalQuote;      // the literal's prefix and suffix; nullptr: no literal form
    const char *createParams;      // nullptr: none
    SQLSMALLINT searchable;        // SQL_PRED_*
    SQLSMALLINT radix;             // NUM_PREC_RADIX; 0: not a number
    TypeClass typeClass;
    // Words that mark a declared type as this one, tried in the table's order.
    const char *const *words;
};

// Ordered by DATA_TYPE, as SQLGetTypeInfo lists them.
const AccessType *accessTypesBegin();
const AccessType *accessTypesEnd();

// The entry a declared type names, or nullptr for none (an expression, an unknown name).
const AccessType *accessTypeForDeclared(const char *declaredType);

// Whether a declared type is an AutoNumber's (COUNTER, AUTOINCREMENT).
bool isAutoNumberType(const char *declaredType);

// The entry of that TYPE_NAME ("VARCHAR", "LONGBINARY", ...).
const AccessType &accessTypeNamed(const char *name);

inline bool isNumberClass(const AccessType &type) { return type.typeClass == TypeClass::Number; }

// Byte is Access's one unsigned number.
inline bool isSignedNumber(const AccessType &type) { return isNumberClass(type) && type.sqlType != SQL_TINYINT; }

} // namespace accessodbc
