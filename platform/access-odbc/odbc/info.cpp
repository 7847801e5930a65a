#include "odbc/info.h"

#include <algorithm>
#include <cstring>

namespace accessodbc {
namespace {

InfoValue text(const std::string &value)
{
    InfoValue info;
    info.kind = InfoValue::Text;
    info.text = value;
    return info;
}

InfoValue small(SQLUSMALLINT value)
{
    InfoValue info;
    info.kind = InfoValue::SmallInt;
    info.number = value;
    return info;
}

InfoValue integer(SQLUINTEGER value)
{
    InfoValue info;
    info.kind = InfoValue::Integer;
    info.number = value;
    return info;
}

// The targets of {fn CONVERT(value, type)}: Access's CStr, CLng, CInt and CDbl
// (odbc_escapes.cpp). A date converts to text only.
const SQLUINTEGER kToText = SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_LONGVARCHAR | SQL_CVT_WCHAR | SQL_CVT_WVARCHAR
                          | SQL_CVT_WLONGVARCHAR;
const SQLUINTEGER kConversions = kToText | SQL_CVT_INTEGER | SQL_CVT_SMALLINT | SQL_CVT_DOUBLE | SQL_CVT_FLOAT
                               | SQL_CVT_REAL;

// What the {fn} escapes stand for (odbc_escapes.cpp).
const SQLUINTEGER kStringFunctions = SQL_FN_STR_CONCAT | SQL_FN_STR_LCASE | SQL_FN_STR_UCASE | SQL_FN_STR_LEFT
                                   | SQL_FN_STR_RIGHT | SQL_FN_STR_LTRIM | SQL_FN_STR_RTRIM | SQL_FN_STR_SUBSTRING
                                   | SQL_FN_STR_LENGTH | SQL_FN_STR_CHAR_LENGTH | SQL_FN_STR_CHARACTER_LENGTH;
const SQLUINTEGER kNumericFunctions = SQL_FN_NUM_ABS | SQL_FN_NUM_MOD | SQL_FN_NUM_POWER | SQL_FN_NUM_PI;
const SQLUINTEGER kDateFunctions = SQL_FN_TD_CURDATE | SQL_FN_TD_CURTIME | SQL_FN_TD_NOW | SQL_FN_TD_YEAR
                                 | SQL_FN_TD_MONTH | SQL_FN_TD_DAYOFMONTH | SQL_FN_TD_HOUR | SQL_FN_TD_MINUTE
                                 | SQL_FN_TD_SECOND;

bool textInfo(Connection *connection, SQLUSMALLINT infoType, InfoValue *out)
{
    switch (infoType) {
    case SQL_DRIVER_NAME: *out = text("libfernwick-access-odbc.so"); return true;
    case SQL_DRIVER_VER: *out = text("01.00.0000"); return true;
    case SQL_DRIVER_ODBC_VER: *out = text("03.51"); return true;
    case SQL_DBMS_NAME: *out = text("ACCESS"); return true;
    case SQL_DBMS_VER: *out = text("04.00.0000"); return true;
    case SQL_SERVER_NAME: *out = text("ACCESS"); return true;
    case SQL_DATA_SOURCE_NAME: *out = text(""); return true;
    case SQL_DATABASE_NAME:
        *out = text(connection->connected() ? connection->database->path() : std::string());
        return true;
    case SQL_USER_NAME: *out = text("admin"); return true;
    case SQL_DATA_SOURCE_READ_ONLY: *out = text("Y"); return true;
    case SQL_ACCESSIBLE_TABLES: *out = text("Y"); return true;
    case SQL_ACCESSIBLE_PROCEDURES: *out = text("N"); return true;
    case SQL_PROCEDURES: *out = text("N"); return true;
    case SQL_MULT_RESULT_SETS: *out = text("N"); return true;
    case SQL_MULTIPLE_ACTIVE_TXN: *out = text("N"); return true;
    case SQL_NEED_LONG_DATA_LEN: *out = text("N"); return true;
    case SQL_IDENTIFIER_QUOTE_CHAR: *out = text("`"); return true;
    case SQL_SEARCH_PATTERN_ESCAPE: *out = text("\\"); return true;
    case SQL_CATALOG_NAME_SEPARATOR: *out = text("."); return true;
    case SQL_CATALOG_NAME: *out = text("N"); return true;
    case SQL_CATALOG_TERM: *out = text(""); return true;
    case SQL_SCHEMA_TERM: *out = text(""); return true;
    case SQL_TABLE_TERM: *out = text("TABLE"); return true;
    case SQL_PROCEDURE_TERM: *out = text("QUERY"); return true;
    case SQL_KEYWORDS: *out = text(""); return true;
    case SQL_SPECIAL_CHARACTERS: *out = text("~@#$%^&*_-+=\\}{\"';:?/><,.![]|"); return true;
    case SQL_LIKE_ESCAPE_CLAUSE: *out = text("Y"); return true;
    case SQL_ORDER_BY_COLUMNS_IN_SELECT: *out = text("N"); return true;
    case SQL_EXPRESSIONS_IN_ORDERBY: *out = text("Y"); return true;
    case SQL_COLUMN_ALIAS: *out = text("Y"); return true;
    case SQL_OUTER_JOINS: *out = text("Y"); return true;
    case SQL_ROW_UPDATES: *out = text("N"); return true;
    case SQL_DESCRIBE_PARAMETER: *out = text("Y"); return true;
    case SQL_MAX_ROW_SIZE_INCLUDES_LONG: *out = text("N"); return true;
    case SQL_INTEGRITY: *out = text("N"); return true;
    case SQL_XOPEN_CLI_YEAR: *out = text("1995"); return true;
    case SQL_COLLATION_SEQ: *out = text("UTF-8"); return true;
    default: return false;
    }
}

bool smallInfo(SQLUSMALLINT infoType, InfoValue *out)
{
    switch (infoType) {
    case SQL_MAX_DRIVER_CONNECTIONS:
    case SQL_MAX_CONCURRENT_ACTIVITIES:
    case SQL_MAX_CATALOG_NAME_LEN:
    case SQL_MAX_SCHEMA_NAME_LEN:
    case SQL_MAX_PROCEDURE_NAME_LEN:
    case SQL_MAX_USER_NAME_LEN:
    case SQL_MAX_COLUMNS_IN_GROUP_BY:
    case SQL_MAX_COLUMNS_IN_ORDER_BY:
    case SQL_MAX_COLUMNS_IN_INDEX:
    case SQL_MAX_TABLES_IN_SELECT:
        *out = small(0); return true;
    case SQL_MAX_COLUMN_NAME_LEN:
    case SQL_MAX_TABLE_NAME_LEN:
    case SQL_MAX_IDENTIFIER_LEN:
    case SQL_MAX_CURSOR_NAME_LEN:
        *out = small(64); return true;
    case SQL_MAX_COLUMNS_IN_SELECT:
    case SQL_MAX_COLUMNS_IN_TABLE:
        *out = small(255); return true;
    case SQL_TXN_CAPABLE: *out = small(SQL_TC_NONE); return true;
    case SQL_CURSOR_COMMIT_BEHAVIOR:
    case SQL_CURSOR_ROLLBACK_BEHAVIOR:
        *out = small(SQL_CB_PRESERVE); return true;
    case SQL_IDENTIFIER_CASE: *out = small(SQL_IC_MIXED); return true;
    case SQL_QUOTED_IDENTIFIER_CASE: *out = small(SQL_IC_MIXED); return true;
    // Access's & takes Null for "".
    case SQL_CONCAT_NULL_BEHAVIOR: *out = small(SQL_CB_NON_NULL); return true;
    case SQL_NULL_COLLATION: *out = small(SQL_NC_LOW); return true;
    case SQL_CORRELATION_NAME: *out = small(SQL_CN_ANY); return true;
    case SQL_NON_NULLABLE_COLUMNS: *out = small(SQL_NNC_NON_NULL); return true;
    case SQL_GROUP_BY: *out = small(SQL_GB_GROUP_BY_CONTAINS_SELECT); return true;
    case SQL_FILE_USAGE: *out = small(SQL_FILE_CATALOG); return true;
    case SQL_CATALOG_LOCATION: *out = small(0); return true;
    case SQL_ODBC_API_CONFORMANCE: *out = small(SQL_OAC_LEVEL1); return true;
    case SQL_ODBC_SQL_CONFORMANCE: *out = small(SQL_OSC_MINIMUM); return true;
    case SQL_ACTIVE_ENVIRONMENTS: *out = small(0); return true;
    default: return false;
    }
}

bool integerInfo(SQLUSMALLINT infoType, InfoValue *out)
{
    switch (infoType) {
    case SQL_CONVERT_CHAR: case SQL_CONVERT_VARCHAR: case SQL_CONVERT_LONGVARCHAR:
    case SQL_CONVERT_WCHAR: case SQL_CONVERT_WVARCHAR: case SQL_CONVERT_WLONGVARCHAR:
    case SQL_CONVERT_INTEGER: case SQL_CONVERT_SMALLINT: case SQL_CONVERT_BIGINT: case SQL_CONVERT_TINYINT:
    case SQL_CONVERT_DOUBLE: case SQL_CONVERT_FLOAT: case SQL_CONVERT_REAL: case SQL_CONVERT_DECIMAL:
    case SQL_CONVERT_NUMERIC: case SQL_CONVERT_BIT:
        *out = integer(kConversions); return true;
    case SQL_CONVERT_TIMESTAMP: case SQL_CONVERT_DATE: case SQL_CONVERT_TIME:
        *out = integer(kToText); return true;
    case SQL_CONVERT_BINARY: case SQL_CONVERT_VARBINARY: case SQL_CONVERT_LONGVARBINARY: case SQL_CONVERT_GUID:
    case SQL_CONVERT_INTERVAL_YEAR_MONTH: case SQL_CONVERT_INTERVAL_DAY_TIME:
        *out = integer(0); return true;
    case SQL_CONVERT_FUNCTIONS: *out = integer(SQL_FN_CVT_CONVERT); return true;
    case SQL_GETDATA_EXTENSIONS:
        *out = integer(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND); return true;
    case SQL_SCROLL_OPTIONS: *out = integer(SQL_SO_FORWARD_ONLY); return true;
    case SQL_FETCH_DIRECTION: *out = integer(SQL_FD_FETCH_NEXT); return true;
    case SQL_SCROLL_CONCURRENCY: *out = integer(SQL_SCCO_READ_ONLY); return true;
    case SQL_CURSOR_SENSITIVITY: *out = integer(SQL_INSENSITIVE); return true;
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1: *out = integer(SQL_CA1_NEXT); return true;
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2: *out = integer(SQL_CA2_READ_ONLY_CONCURRENCY); return true;
    case SQL_STATIC_CURSOR_ATTRIBUTES1: case SQL_STATIC_CURSOR_ATTRIBUTES2:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1: case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
    case SQL_KEYSET_CURSOR_ATTRIBUTES1: case SQL_KEYSET_CURSOR_ATTRIBUTES2:
        *out = integer(0); return true;
    case SQL_TXN_ISOLATION_OPTION: *out = integer(SQL_TXN_READ_COMMITTED); return true;
    case SQL_DEFAULT_TXN_ISOLATION: *out = integer(SQL_TXN_READ_COMMITTED); return true;
    case SQL_SCHEMA_USAGE: case SQL_CATALOG_USAGE: *out = integer(0); return true;
    case SQL_BOOKMARK_PERSISTENCE: *out = integer(0); return true;
    case SQL_POS_OPERATIONS: case SQL_POSITIONED_STATEMENTS: case SQL_STATIC_SENSITIVITY: case SQL_LOCK_TYPES:
        *out = integer(0); return true;
    case SQL_ALTER_TABLE: case SQL_CREATE_TABLE: case SQL_DROP_TABLE: case SQL_CREATE_VIEW: case SQL_DROP_VIEW:
    case SQL_INSERT_STATEMENT: case SQL_DDL_INDEX:
        *out = integer(0); return true;
    case SQL_SQL_CONFORMANCE: *out = integer(SQL_SC_SQL92_ENTRY); return true;
    case SQL_ODBC_INTERFACE_CONFORMANCE: *out = integer(SQL_OIC_CORE); return true;
    case SQL_PARAM_ARRAY_ROW_COUNTS: *out = integer(SQL_PARC_NO_BATCH); return true;
    case SQL_PARAM_ARRAY_SELECTS: *out = integer(SQL_PAS_NO_SELECT); return true;
    case SQL_BATCH_SUPPORT: case SQL_BATCH_ROW_COUNT: *out = integer(0); return true;
    case SQL_ASYNC_MODE: *out = integer(SQL_AM_NONE); return true;
    case SQL_MAX_ASYNC_CONCURRENT_STATEMENTS: *out = integer(0); return true;
    case SQL_STRING_FUNCTIONS: *out = integer(kStringFunctions); return true;
    case SQL_NUMERIC_FUNCTIONS: *out = integer(kNumericFunctions); return true;
    case SQL_TIMEDATE_FUNCTIONS: *out = integer(kDateFunctions); return true;
    case SQL_SYSTEM_FUNCTIONS: *out = integer(SQL_FN_SYS_IFNULL | SQL_FN_SYS_USERNAME); return true;
    case SQL_TIMEDATE_ADD_INTERVALS: case SQL_TIMEDATE_DIFF_INTERVALS:
        *out = integer(0); return true;
    // Count(*) and the five functions of a value; neither ALL nor DISTINCT inside them.
    case SQL_AGGREGATE_FUNCTIONS:
        *out = integer(SQL_AF_AVG | SQL_AF_COUNT | SQL_AF_MAX | SQL_AF_MIN | SQL_AF_SUM);
        return true;
    case SQL_SUBQUERIES:
        *out = integer(SQL_SQ_CORRELATED_SUBQUERIES | SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN
                         | SQL_SQ_QUANTIFIED);
        return true;
    case SQL_UNION: *out = integer(SQL_U_UNION | SQL_U_UNION_ALL); return true;
    case SQL_OJ_CAPABILITIES:
        *out = integer(SQL_OJ_LEFT | SQL_OJ_RIGHT | SQL_OJ_NESTED | SQL_OJ_NOT_ORDERED | SQL_OJ_INNER
                       | SQL_OJ_ALL_COMPARISON_OPS);
        return true;
    case SQL_SQL92_PREDICATES: case SQL_SQL92_RELATIONAL_JOIN_OPERATORS: case SQL_SQL92_VALUE_EXPRESSIONS:
    case SQL_SQL92_STRING_FUNCTIONS: case SQL_SQL92_NUMERIC_VALUE_FUNCTIONS: case SQL_SQL92_DATETIME_FUNCTIONS:
    case SQL_SQL92_FOREIGN_KEY_DELETE_RULE: case SQL_SQL92_FOREIGN_KEY_UPDATE_RULE: case SQL_SQL92_GRANT:
    case SQL_SQL92_REVOKE: case SQL_SQL92_ROW_VALUE_CONSTRUCTOR:
        *out = integer(0); return true;
    case SQL_MAX_ROW_SIZE: case SQL_MAX_STATEMENT_LEN: case SQL_MAX_CHAR_LITERAL_LEN:
    case SQL_MAX_BINARY_LITERAL_LEN: case SQL_MAX_INDEX_SIZE:
        *out = integer(0); return true;
    // SQL-92's DATE '…' literals are not Access SQL; ODBC's {d '…'} escapes are.
    case SQL_DATETIME_LITERALS: *out = integer(0); return true;
    case SQL_INFO_SCHEMA_VIEWS: *out = integer(0); return true;
    default: return false;
    }
}

// Every entry point the driver exports, by the ODBC function number.
const SQLUSMALLINT kSupported[] = {
    SQL_API_SQLALLOCHANDLE, SQL_API_SQLFREEHANDLE, SQL_API_SQLSETENVATTR, SQL_API_SQLGETENVATTR,
    SQL_API_SQLCONNECT, SQL_API_SQLDRIVERCONNECT, SQL_API_SQLDISCONNECT, SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLGETCONNECTATTR, SQL_API_SQLGETINFO, SQL_API_SQLGETFUNCTIONS, SQL_API_SQLSETSTMTATTR,
    SQL_API_SQLGETSTMTATTR, SQL_API_SQLPREPARE, SQL_API_SQLEXECUTE, SQL_API_SQLEXECDIRECT,
    SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLDESCRIBECOL, SQL_API_SQLCOLATTRIBUTE, SQL_API_SQLBINDCOL,
    SQL_API_SQLFETCH, SQL_API_SQLFETCHSCROLL, SQL_API_SQLGETDATA, SQL_API_SQLROWCOUNT,
    SQL_API_SQLMORERESULTS, SQL_API_SQLGETDIAGREC, SQL_API_SQLGETDIAGFIELD, SQL_API_SQLFREESTMT,
    SQL_API_SQLCLOSECURSOR, SQL_API_SQLCANCEL, SQL_API_SQLENDTRAN, SQL_API_SQLGETTYPEINFO,
    SQL_API_SQLTABLES, SQL_API_SQLCOLUMNS, SQL_API_SQLNUMPARAMS, SQL_API_SQLNATIVESQL,
    SQL_API_SQLBINDPARAMETER, SQL_API_SQLPRIMARYKEYS, SQL_API_SQLSTATISTICS, SQL_API_SQLPARAMDATA,
    SQL_API_SQLPUTDATA, SQL_API_SQLDESCRIBEPARAM, SQL_API_SQLSPECIALCOLUMNS,
};

} // namespace

SQLRETURN getInfo(Connection *connection, SQLUSMALLINT infoType, InfoValue *out)
{
    if (textInfo(connection, infoType, out) || smallInfo(infoType, out) || integerInfo(infoType, out))
        return SQL_SUCCESS;
    return connection->diag.error("HY096", "Information type out of range.");
}

SQLRETURN getFunctions(Connection *, SQLUSMALLINT functionId, SQLUSMALLINT *supported)
{
    const SQLUSMALLINT *begin = std::begin(kSupported);
    const SQLUSMALLINT *end = std::end(kSupported);
    if (functionId == SQL_API_ODBC3_ALL_FUNCTIONS) {
        std::memset(supported, 0, sizeof(SQLUSMALLINT) * SQL_API_ODBC3_ALL_FUNCTIONS_SIZE);
        for (const SQLUSMALLINT *f = begin; f != end; ++f)
            supported[*f >> 4] |= SQLUSMALLINT(1 << (*f & 0x000F));
        return SQL_SUCCESS;
    }
    if (functionId == SQL_API_ALL_FUNCTIONS) {
        std::memset(supported, 0, sizeof(SQLUSMALLINT) * 100);
        for (const SQLUSMALLINT *f = begin; f != end; ++f) {
            if (*f < 100)
                supported[*f] = SQL_TRUE;
        }
        return SQL_SUCCESS;
    }
    *supported = std::find(begin, end, functionId) != end ? SQL_TRUE : SQL_FALSE;
    return SQL_SUCCESS;
}

} // namespace accessodbc
