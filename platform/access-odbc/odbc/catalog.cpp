#include "odbc/catalog.h"
#include "odbc/results.h"
#include "storage/storage_format.h"

#include <cctype>
#include <cstring>

namespace accessodbc {
namespace {

// fw_type_info(declared type, field, ODBC version): one property of the ODBC
// description of a declared column type, for SQLColumns.
void typeInfoFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const char *declared = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const char *field = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    const ColumnInfo info = columnInfoFor(declared, SQLITE_TEXT, 0, SQLINTEGER(sqlite3_value_int(argv[2])));
    if (!field) {
        sqlite3_result_null(context);
    } else if (std::strcmp(field, "type") == 0) {
        sqlite3_result_int(context, info.sqlType);
    } else if (std::strcmp(field, "name") == 0) {
        sqlite3_result_text(context, info.typeName.c_str(), -1, SQLITE_TRANSIENT);
    } else if (std::strcmp(field, "size") == 0) {
        sqlite3_result_int64(context, sqlite3_int64(info.columnSize));
    } else if (std::strcmp(field, "octets") == 0) {
        sqlite3_result_int64(context, info.octetLength);
    } else if (std::strcmp(field, "verbose") == 0) {
        const bool datetime = info.sqlType == SQL_TYPE_TIMESTAMP || info.sqlType == SQL_TIMESTAMP;
        sqlite3_result_int(context, datetime ? SQL_DATETIME : info.sqlType);
    } else if (std::strcmp(field, "subcode") == 0) {
        const bool datetime = info.sqlType == SQL_TYPE_TIMESTAMP || info.sqlType == SQL_TIMESTAMP;
        if (datetime)
            sqlite3_result_int(context, SQL_CODE_TIMESTAMP);
        else
            sqlite3_result_null(context);
    } else if (std::strcmp(field, "digits") == 0) {
        if (info.sqlType == SQL_DECIMAL || info.sqlType == SQL_NUMERIC)
            sqlite3_result_int(context, info.decimalDigits);
        else
            sqlite3_result_null(context);
    } else if (std::strcmp(field, "radix") == 0) {
        if (info.type->radix)
            sqlite3_result_int(context, info.type->radix);
        else
            sqlite3_result_null(context);
    } else {
        sqlite3_result_null(context);
    }
}

std::vector<std::string> requestedTableTypes(const std::string &list)
{
    std::vector<std::string> types;
    std::string current;
    for (size_t i = 0; i <= list.size(); ++i) {
        const char c = i < list.size() ? list[i] : ',';
        if (c == ',') {
            if (!current.empty())
                types.push_back(current);
            current.clear();
        } else if (c != '\'' && !std::isspace(static_cast<unsigned char>(c))) {
            current += char(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return types;
}

// Which SQLite object types answer a table-type list; empty or "%" means all.
std::string objectTypeCondition(const std::string *tableTypes)
{
    if (!tableTypes || tableTypes->empty())
        return "m.type IN ('table', 'view')";
    bool tables = false, views = false;
    for (const std::string &type : requestedTableTypes(*tableTypes)) {
        tables = tables || type == "TABLE" || type == "%";
        views = views || type == "VIEW" || type == "%";
    }
    if (tables && views)
        return "m.type IN ('table', 'view')";
    if (tables)
        return "m.type = 'table'";
    if (views)
        return "m.type = 'view'";
    return "0";
}

const char *const kVisibleObjects =
    "m.name <> ?1 AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND m.name LIKE ?2 ESCAPE '\\'";

std::string sqlLiteral(const char *text)
{
    if (!text)
        return "NULL";
    std::string literal = "'";
    for (const char *c = text; *c; ++c)
        literal += *c == '\'' ? std::string("''") : std::string(1, *c);
    return literal + "'";
}

std::string numberOrNull(long value) { return value ? std::to_string(value) : "NULL"; }

std::string typeRowSql(const AccessType &type, SQLINTEGER odbcVersion)
{
    const bool timestamp = type.sqlType == SQL_TYPE_TIMESTAMP;
    const bool fixedScale = type.decimalDigits > 0;
    const bool scaled = type.maximumScale > 0;
    const std::string minimumScale = scaled ? std::to_string(type.decimalDigits) : "NULL";
    const std::string maximumScale = scaled ? std::to_string(type.maximumScale) : "NULL";
    const int dataType = (timestamp && odbcVersion == SQL_OV_ODBC2) ? SQL_TIMESTAMP : type.sqlType;
    std::string sql = "SELECT '";
    sql += type.name;
    sql += "' AS TYPE_NAME, " + std::to_string(dataType) + " AS DATA_TYPE, " + std::to_string(type.columnSize)
         + " AS COLUMN_SIZE, " + sqlLiteral(type.literalQuote) + " AS LITERAL_PREFIX, " + sqlLiteral(type.literalQuote)
         + " AS LITERAL_SUFFIX, " + sqlLiteral(type.createParams) + " AS CREATE_PARAMS, "
         + std::to_string(SQL_NULLABLE) + " AS NULLABLE, " + std::to_string(SQL_FALSE) + " AS CASE_SENSITIVE, "
         + std::to_string(type.searchable) + " AS SEARCHABLE, " + (isNumberClass(type) ? (isSignedNumber(type) ? "0" : "1") : "NULL")
         + " AS UNSIGNED_ATTRIBUTE, " + (fixedScale ? "1" : "0") + " AS FIXED_PREC_SCALE, 0 AS AUTO_UNIQUE_VALUE, '"
         + type.name + "' AS LOCAL_TYPE_NAME, " + minimumScale + " AS MINIMUM_SCALE, " + maximumScale + " AS MAXIMUM_SCALE, "
         + std::to_string(timestamp ? SQL_DATETIME : type.sqlType) + " AS SQL_DATA_TYPE, "
         + (timestamp ? std::to_string(SQL_CODE_TIMESTAMP) : "NULL") + " AS SQL_DATETIME_SUB, "
         + numberOrNull(type.radix) + " AS NUM_PREC_RADIX, NULL AS INTERVAL_PRECISION";
    return sql;
}

// SQLTables answers three special requests with lists instead of tables: "%" as the
// catalog, the schema or the table type, with every other name given as the empty string.
enum class TablesEnumeration { None, Catalogs, Schemas, TableTypes };

bool isEmpty(const std::string *argument) { return argument && argument->empty(); }
bool isAll(const std::string *argument) { return argument && *argument == SQL_ALL_CATALOGS; }

TablesEnumeration tablesEnumeration(const TablesRequest &request)
{
    if (isAll(request.catalog) && isEmpty(request.schema) && isEmpty(request.table))
        return TablesEnumeration::Catalogs;
    if (isAll(request.schema) && isEmpty(request.catalog) && isEmpty(request.table))
        return TablesEnumeration::Schemas;
    if (isAll(request.tableTypes) && isEmpty(request.catalog) && isEmpty(request.schema) && isEmpty(request.table))
        return TablesEnumeration::TableTypes;
    return TablesEnumeration::None;
}

// The columns of SQLTables over a list of (cat, type) rows. There are neither catalogs
// nor schemas, as SQLGetInfo says (SQL_CATALOG_NAME "N", SQL_SCHEMA_USAGE 0).
const char *const kTablesColumns = "SELECT cat AS TABLE_CAT, NULL AS TABLE_SCHEM, NULL AS TABLE_NAME, "
                                   "type AS TABLE_TYPE, NULL AS REMARKS";

// A user table named exactly (case aside, as in Access), as the pragma functions over it
// see it.
const char *const kNamedUserTable = "m.type = 'table' AND m.name <> ?1 AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                                    "AND m.name = ?2 COLLATE NOCASE";

// The columns of a catalog result set typed as the ODBC reference lists them, one letter
// a column: t text, s SMALLINT, i INTEGER.
std::vector<std::string> columnTypes(const char *letters)
{
    std::vector<std::string> types;
    for (const char *letter = letters; *letter; ++letter)
        types.push_back(*letter == 's' ? "SMALLINT" : *letter == 'i' ? "INTEGER" : "TEXT(128)");
    return types;
}

const char *const kTablesTypes = "ttttt";
const char *const kColumnsTypes = "ttttstiisssttssiit";
const char *const kTypeInfoTypes = "tsitttsssssstssssis";
const char *const kPrimaryKeysTypes = "ttttst";
const char *const kStatisticsTypes = "tttsttssttiit";
const char *const kSpecialColumnsTypes = "ststiiss";

// The storage does not keep a primary key's own name; Access names it PrimaryKey.
const char *const kPrimaryKeyName = "'PrimaryKey'";

} // namespace

bool registerCatalogFunctions(sqlite3 *db)
{
    return sqlite3_create_function(db, "fw_type_info", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY,
                                   nullptr, typeInfoFunction, nullptr, nullptr) == SQLITE_OK;
}

SQLRETURN catalogTables(Statement *statement, const TablesRequest &request)
{
    switch (tablesEnumeration(request)) {
    case TablesEnumeration::Catalogs:
    case TablesEnumeration::Schemas:
        return executeCatalogQuery(statement, std::string(kTablesColumns) + " FROM (SELECT NULL AS cat, NULL AS type) "
                                              "WHERE 0", {}, columnTypes(kTablesTypes));
    case TablesEnumeration::TableTypes:
        return executeCatalogQuery(statement, std::string(kTablesColumns) + " FROM (SELECT NULL AS cat, 'TABLE' AS "
                                              "type UNION ALL SELECT NULL, 'VIEW') ORDER BY TABLE_TYPE", {},
                                   columnTypes(kTablesTypes));
    case TablesEnumeration::None:
        break;
    }
    const std::string sql =
        "SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, m.name AS TABLE_NAME, "
        "CASE m.type WHEN 'view' THEN 'VIEW' ELSE 'TABLE' END AS TABLE_TYPE, NULL AS REMARKS "
        "FROM sqlite_master AS m WHERE " + objectTypeCondition(request.tableTypes) + " AND " + kVisibleObjects +
        " ORDER BY TABLE_TYPE, TABLE_NAME";
    return executeCatalogQuery(statement, sql, {kPasswordTable, request.table ? *request.table : "%"},
                               columnTypes(kTablesTypes));
}

SQLRETURN catalogColumns(Statement *statement, const std::string *tablePattern, const std::string *columnPattern)
{
    const std::string version = std::to_string(statement->connection->environment->odbcVersion);
    const std::string info = "fw_type_info(p.type, '%s', " + version + ")";
    auto field = [&info](const char *name) {
        std::string text = info;
        text.replace(text.find("%s"), 2, name);
        return text;
    };
    const std::string sql =
        "SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, m.name AS TABLE_NAME, p.name AS COLUMN_NAME, "
        + field("type") + " AS DATA_TYPE, " + field("name") + " AS TYPE_NAME, " + field("size") + " AS COLUMN_SIZE, "
        + field("octets") + " AS BUFFER_LENGTH, " + field("digits") + " AS DECIMAL_DIGITS, " + field("radix") + " AS NUM_PREC_RADIX, "
        "CASE WHEN p.\"notnull\" THEN 0 ELSE 1 END AS NULLABLE, NULL AS REMARKS, p.dflt_value AS COLUMN_DEF, "
        + field("verbose") + " AS SQL_DATA_TYPE, " + field("subcode") + " AS SQL_DATETIME_SUB, "
        + field("octets") + " AS CHAR_OCTET_LENGTH, p.cid + 1 AS ORDINAL_POSITION, "
        "CASE WHEN p.\"notnull\" THEN 'NO' ELSE 'YES' END AS IS_NULLABLE "
        "FROM sqlite_master AS m JOIN pragma_table_info(m.name) AS p "
        "WHERE m.type IN ('table', 'view') AND " + kVisibleObjects + " AND p.name LIKE ?3 ESCAPE '\\' "
        "ORDER BY m.name, p.cid";
    return executeCatalogQuery(statement, sql, {kPasswordTable, tablePattern ? *tablePattern : "%",
                                                columnPattern ? *columnPattern : "%"},
                               columnTypes(kColumnsTypes));
}

SQLRETURN catalogTypeInfo(Statement *statement, SQLSMALLINT dataType)
{
    const SQLINTEGER odbcVersion = statement->connection->environment->odbcVersion;
    std::string rows;
    for (const AccessType *type = accessTypesBegin(); type != accessTypesEnd(); ++type) {
        const bool wanted = dataType == SQL_ALL_TYPES || dataType == type->sqlType
                         || (type->sqlType == SQL_TYPE_TIMESTAMP && dataType == SQL_TIMESTAMP);
        if (!wanted)
            continue;
        if (!rows.empty())
            rows += " UNION ALL ";
        rows += typeRowSql(*type, odbcVersion);
    }
    if (rows.empty())
        rows = typeRowSql(*accessTypesBegin(), odbcVersion) + " LIMIT 0";
    return executeCatalogQuery(statement, "SELECT * FROM (" + rows + ")", {}, columnTypes(kTypeInfoTypes));
}

SQLRETURN catalogPrimaryKeys(Statement *statement, const std::string &table)
{
    const std::string sql =
        std::string("SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, m.name AS TABLE_NAME, p.name AS COLUMN_NAME, "
                    "p.pk AS KEY_SEQ, ") + kPrimaryKeyName + " AS PK_NAME "
        "FROM sqlite_master AS m JOIN pragma_table_info(m.name) AS p WHERE " + kNamedUserTable + " AND p.pk > 0 "
        "ORDER BY KEY_SEQ";
    return executeCatalogQuery(statement, sql, {kPasswordTable, table}, columnTypes(kPrimaryKeysTypes));
}

// One SQL_TABLE_STAT row, then every index column: the primary key from the table's
// columns (an INTEGER primary key has no index of its own in SQLite), the other indexes
// under their names without the "<table>." the Jet loader puts before them.
SQLRETURN catalogStatistics(Statement *statement, const std::string &table, SQLUSMALLINT unique)
{
    const std::string indexTypeOther = std::to_string(SQL_INDEX_OTHER);
    const std::string sql =
        "SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, TABLE_NAME, NON_UNIQUE, NULL AS INDEX_QUALIFIER, INDEX_NAME, "
        "TYPE, ORDINAL_POSITION, COLUMN_NAME, ASC_OR_DESC, NULL AS CARDINALITY, NULL AS PAGES, "
        "NULL AS FILTER_CONDITION FROM ("
        "SELECT m.name AS TABLE_NAME, NULL AS NON_UNIQUE, NULL AS INDEX_NAME, " + std::to_string(SQL_TABLE_STAT)
        + " AS TYPE, NULL AS ORDINAL_POSITION, NULL AS COLUMN_NAME, NULL AS ASC_OR_DESC "
        "FROM sqlite_master AS m WHERE " + kNamedUserTable +
        " UNION ALL "
        "SELECT m.name, 0, " + kPrimaryKeyName + ", " + indexTypeOther + ", p.pk, p.name, 'A' "
        "FROM sqlite_master AS m JOIN pragma_table_info(m.name) AS p WHERE " + kNamedUserTable + " AND p.pk > 0"
        " UNION ALL "
        "SELECT m.name, NOT l.\"unique\", "
        "CASE WHEN substr(l.name, 1, length(m.name) + 1) = m.name || '.' THEN substr(l.name, length(m.name) + 2) "
        "ELSE l.name END, " + indexTypeOther + ", x.seqno + 1, x.name, CASE WHEN x.\"desc\" THEN 'D' ELSE 'A' END "
        "FROM sqlite_master AS m JOIN pragma_index_list(m.name) AS l JOIN pragma_index_xinfo(l.name) AS x "
        "WHERE " + kNamedUserTable + " AND l.origin <> 'pk' AND x.key AND x.cid >= 0"
        ")" + std::string(unique == SQL_INDEX_UNIQUE ? " WHERE NON_UNIQUE IS NULL OR NON_UNIQUE = 0" : "") +
        " ORDER BY NON_UNIQUE, TYPE, INDEX_QUALIFIER, INDEX_NAME, ORDINAL_POSITION";
    return executeCatalogQuery(statement, sql, {kPasswordTable, table}, columnTypes(kStatisticsTypes));
}

// The primary key is the best row identifier, valid for the session (the database is
// never written); there is no row version column.
SQLRETURN catalogSpecialColumns(Statement *statement, SQLUSMALLINT identifierType, const std::string &table)
{
    const std::string version = std::to_string(statement->connection->environment->odbcVersion);
    const auto field = [&version](const char *name) {
        return "fw_type_info(p.type, '" + std::string(name) + "', " + version + ")";
    };
    const std::string sql =
        "SELECT " + std::to_string(SQL_SCOPE_SESSION) + " AS SCOPE, p.name AS COLUMN_NAME, " + field("type")
        + " AS DATA_TYPE, " + field("name") + " AS TYPE_NAME, " + field("size") + " AS COLUMN_SIZE, "
        + field("octets") + " AS BUFFER_LENGTH, " + field("digits") + " AS DECIMAL_DIGITS, "
        + std::to_string(SQL_PC_NOT_PSEUDO) + " AS PSEUDO_COLUMN "
        "FROM sqlite_master AS m JOIN pragma_table_info(m.name) AS p WHERE " + kNamedUserTable + " AND p.pk > 0"
        + (identifierType == SQL_BEST_ROWID ? "" : " AND 0") + " ORDER BY p.pk";
    return executeCatalogQuery(statement, sql, {kPasswordTable, table}, columnTypes(kSpecialColumnsTypes));
}

} // namespace accessodbc
