#include "values/access_types.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace accessodbc {
namespace {

const SQLULEN kLongLength = 1073741823;

const char *const kLongTextWords[] = {"LONGTEXT", "LONGCHAR", "MEMO", "NOTE", "CLOB", nullptr};
const char *const kTextWords[] = {"CHAR", "TEXT", "STRING", nullptr};
const char *const kBooleanWords[] = {"BIT", "BOOL", "YESNO", "LOGICAL", nullptr};
const char *const kBigIntWords[] = {"BIGINT", nullptr};
const char *const kLongBinaryWords[] = {"BLOB", "LONGBINARY", "OLE", "IMAGE", nullptr};
const char *const kBinaryWords[] = {"BINARY", nullptr}; // VARBINARY too
const char *const kCurrencyWords[] = {"CURRENCY", "MONEY", nullptr};
const char *const kAutoNumberWords[] = {"COUNTER", "AUTOINCREMENT", nullptr};
const char *const kIntegerWords[] = {"INT", "LONG", "COUNTER", "AUTOINCREMENT", nullptr};
const char *const kSmallIntWords[] = {"SMALLINT", "SHORT", nullptr};
const char *const kByteWords[] = {"TINYINT", "BYTE", nullptr};
const char *const kSingleWords[] = {"REAL", "SINGLE", nullptr};
const char *const kDoubleWords[] = {"DOUB", "FLOA", nullptr};
const char *const kDecimalWords[] = {"NUMERIC", "DECIMAL", nullptr};
const char *const kDateTimeWords[] = {"DATE", "TIME", nullptr};
const char *const kGuidWords[] = {"GUID", nullptr};

// Currency is an exact decimal of four places in nineteen digits; the text of its value is
// exact, so a client can read it as a decimal without going through a double. A Replication
// ID is 36 characters as ODBC sizes a GUID, 16 bytes as an SQLGUID; its value is the text
// Access shows, in braces. Jet 4's decimal holds up to 28 digits at any scale up to 28.
const AccessType kTypes[] = {
    {"GUID", SQL_GUID, 36, 36, 16, 0, 0, nullptr, nullptr, SQL_PRED_BASIC, 0, TypeClass::Text, kGuidWords},
    {"LONGCHAR", SQL_WLONGVARCHAR, kLongLength, SQLLEN(kLongLength), SQLLEN(kLongLength), 0, 0, "'", nullptr,
     SQL_PRED_CHAR, 0, TypeClass::Text, kLongTextWords},
    {"VARCHAR", SQL_WVARCHAR, 255, 255, 510, 0, 0, "'", "max length", SQL_SEARCHABLE, 0, TypeClass::Text, kTextWords},
    {"BIT", SQL_BIT, 1, 1, 1, 0, 0, nullptr, nullptr, SQL_PRED_BASIC, 0, TypeClass::Boolean, kBooleanWords},
    {"BYTE", SQL_TINYINT, 3, 3, 1, 0, 0, nullptr, nullptr, SQL_PRED_BASIC, 10, TypeClass::Number, kByteWords},
    {"BIGINT", SQL_BIGINT, 19, 20, 8, 0, 0, nullptr, nullptr, SQL_PRED_BASIC, 10, TypeClass::Number, kBigIntWords},
    {"LONGBINARY", SQL_LONGVARBINARY, kLongLength, SQLLEN(kLongLength), SQLLEN(kLongLength), 0, 0, "'", nullptr,
     SQL_PRED_NONE, 0, TypeClass::Binary, kLongBinaryWords},
    {"BINARY", SQL_BINARY, 255, 510, 255, 0, 0, nullptr, "max length", SQL_PRED_BASIC, 0, TypeClass::Binary, kBinaryWords},
    {"NUMERIC", SQL_NUMERIC, 28, 30, 30, 0, 28, nullptr, "precision,scale", SQL_PRED_BASIC, 10, TypeClass::Number,
     kDecimalWords},
    {"CURRENCY", SQL_DECIMAL, 19, 21, 21, 4, 4, nullptr, nullptr, SQL_PRED_BASIC, 10, TypeClass::Number,
     kCurrencyWords},
    {"INTEGER", SQL_INTEGER, 10, 11, 4, 0, 0, nullptr, nullptr, SQL_PRED_BASIC, 10, TypeClass::Number, kIntegerWords},
    {"SMALLINT", SQL_SMALLINT, 5, 6, 2, 0, 0, nullptr, nullptr, SQL_PRED_BASIC, 10, TypeClass::Number,
     kSmallIntWords},
    {"REAL", SQL_REAL, 7, 14, 4, 0, 0, nullptr, nullptr, SQL_PRED_BASIC, 10, TypeClass::Number, kSingleWords},
    {"DOUBLE", SQL_DOUBLE, 15, 24, 8, 0, 0, nullptr, nullptr, SQL_PRED_BASIC, 2, TypeClass::Number, kDoubleWords},
    {"DATETIME", SQL_TYPE_TIMESTAMP, 19, 19, SQLLEN(sizeof(SQL_TIMESTAMP_STRUCT)), 0, 0, "#", nullptr,
     SQL_PRED_BASIC, 0, TypeClass::Date, kDateTimeWords},
};

// Declared types are matched by the words they contain, so a word that lies inside
// another type's word must be tried after it: LONGTEXT before TEXT, BOOLEAN (which holds
// OLE) before the binary types, LONGBINARY before BINARY, SMALLINT, TINYINT and BIGINT
// before INT.
const char *const kRecognitionOrder[] = {"GUID",   "LONGCHAR", "VARCHAR",  "BIT",     "LONGBINARY", "BINARY",
                                         "DATETIME", "CURRENCY", "NUMERIC", "REAL",    "DOUBLE",     "BIGINT",
                                         "SMALLINT", "BYTE",     "INTEGER"};

bool containsAny(const std::string &upperType, const char *const *words)
{
    for (; *words; ++words) {
        if (upperType.find(*words) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

const AccessType *accessTypesBegin() { return std::begin(kTypes); }
const AccessType *accessTypesEnd() { return std::end(kTypes); }

const AccessType &accessTypeNamed(const char *name)
{
    return *std::find_if(std::begin(kTypes), std::end(kTypes),
                         [name](const AccessType &type) { return std::strcmp(type.name, name) == 0; });
}

namespace {

std::string upperCase(const char *declaredType)
{
    std::string upperType = declaredType ? declaredType : "";
    for (char &c : upperType)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return upperType;
}

} // namespace

bool isAutoNumberType(const char *declaredType) { return containsAny(upperCase(declaredType), kAutoNumberWords); }

const AccessType *accessTypeForDeclared(const char *declaredType)
{
    const std::string upperType = upperCase(declaredType);
    for (const char *name : kRecognitionOrder) {
        const AccessType &type = accessTypeNamed(name);
        if (containsAny(upperType, type.words))
            return &type;
    }
    return nullptr;
}

} // namespace accessodbc
