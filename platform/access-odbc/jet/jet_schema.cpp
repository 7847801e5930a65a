#include "jet/jet_schema.h"
#include "jet/jet_handles.h"

namespace accessodbc {
namespace jet {

std::string quotedIdentifier(const std::string &name)
{
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

// Currency and Numeric need REAL affinity, so that division by a whole number stays
// exact arithmetic rather than becoming integer division.
std::string declaredType(const MdbColumn &column, Kind kind)
{
    switch (column.col_type) {
    case MDB_BOOL:
        return "BIT";
    case MDB_BYTE:
        return "TINYINT";
    case MDB_INT:
        return "SMALLINT";
    case MDB_LONGINT:
        return "INTEGER";
    case MDB_FLOAT:
        return "REAL";
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_NUMERIC:
        return "DOUBLE";
    case MDB_DATETIME:
        return "DATETIME";
    case MDB_TEXT: {
        const int characters = kind == Kind::Jet4 ? column.col_size / 2 : column.col_size;
        return "TEXT(" + std::to_string(characters > 0 ? characters : 255) + ")";
    }
    case MDB_REPID:
        return "TEXT(38)";
    case MDB_MEMO:
        return "LONGTEXT";
    default:
        return "BLOB";
    }
}

std::string columnDefinition(const MdbColumn &column, Kind kind)
{
    return quotedIdentifier(column.name) + " " + declaredType(column, kind);
}

std::vector<std::string> schemaStatements(const MdbTableDef &table, Kind kind)
{
    std::string create = "CREATE TABLE " + quotedIdentifier(table.name) + " (";
    for (unsigned i = 0; i < table.num_cols; ++i)
        create += (i ? ", " : "") + columnDefinition(*columnAt(&table, i), kind);
    create += ")";
    return {create};
}

std::string insertStatement(const MdbTableDef &table)
{
    std::string sql = "INSERT INTO " + quotedIdentifier(table.name) + " VALUES (";
    for (unsigned i = 0; i < table.num_cols; ++i)
        sql += i ? ",?" : "?";
    return sql + ")";
}

} // namespace jet
} // namespace accessodbc
