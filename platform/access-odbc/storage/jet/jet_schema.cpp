#include "storage/jet/jet_schema.h"
#include "storage/jet/jet_handles.h"
#include "values/sql_names.h"

#include <cstring>

namespace accessodbc {
namespace jet {


// A declared type gives the value its SQLite affinity and, through the driver's type
// mapping, its ODBC type. Numeric needs REAL affinity, so that division by a whole number
// stays exact arithmetic rather than becoming integer division. Currency's declared type
// has NUMERIC affinity, which would turn 3.0 into the integer 3 on the way in; it is given
// once the rows are in, which keeps every value as it was bound.
std::string declaredType(const MdbColumn &column, Kind kind, Stage stage)
{
    switch (column.col_type) {
    case MDB_BOOL:
        return "BIT";
    case MDB_BYTE:
        return "TINYINT";
    case MDB_INT:
        return "SMALLINT";
    case MDB_LONGINT:
        // Jet's own names, COUNTER for an AutoNumber; "INTEGER" would make a one-column
        // primary key SQLite's rowid, and a table would then read in key order instead of
        // as the file holds it.
        return column.is_long_auto ? "COUNTER" : "LONG";
    case MDB_FLOAT:
        return "REAL";
    case MDB_MONEY:
        return stage == Stage::Described ? "CURRENCY" : "";
    case MDB_DOUBLE:
    case MDB_NUMERIC:
        return "DOUBLE";
    case MDB_DATETIME:
        return "DATETIME";
    case MDB_TEXT: {
        const int characters = kind != Kind::Jet3 ? column.col_size / 2 : column.col_size;
        return "TEXT(" + std::to_string(characters > 0 ? characters : 255) + ")";
    }
    case MDB_REPID:
        return "GUID";
    case MDB_MEMO:
        return "LONGTEXT";
    case MDB_BINARY:
        return "BINARY(" + std::to_string(column.col_size > 0 ? column.col_size : 255) + ")";
    default:
        return "BLOB";
    }
}

namespace {

const unsigned char kPrimaryKeyIndex = 1;
const unsigned char kRelationshipIndex = 2; // the other side of a relationship, not an index of its own

std::vector<MdbIndex *> indexesOf(const MdbTableDef &table)
{
    std::vector<MdbIndex *> indexes;
    for (unsigned i = 0; table.indices && i < table.indices->len; ++i)
        indexes.push_back(static_cast<MdbIndex *>(g_ptr_array_index(table.indices, i)));
    return indexes;
}

// An index whose key names a column the table does not have is left out: it describes
// nothing that can be read.
bool keysValid(const MdbTableDef &table, const MdbIndex &index)
{
    if (index.num_keys == 0 || index.num_keys > MDB_MAX_IDX_COLS)
        return false;
    for (unsigned j = 0; j < index.num_keys; ++j) {
        if (index.key_col_num[j] < 1 || unsigned(index.key_col_num[j]) > table.num_cols)
            return false;
    }
    return true;
}

const MdbIndex *primaryKey(const MdbTableDef &table)
{
    for (const MdbIndex *index : indexesOf(table)) {
        if (index->index_type == kPrimaryKeyIndex && keysValid(table, *index))
            return index;
    }
    return nullptr;
}

bool inPrimaryKey(const MdbIndex *key, unsigned column)
{
    for (unsigned j = 0; key && j < key->num_keys; ++j) {
        if (unsigned(key->key_col_num[j]) == column + 1)
            return true;
    }
    return false;
}

// A Yes/No field is never NULL; others say so in their Required property.
bool required(const MdbColumn &column)
{
    if (column.col_type == MDB_BOOL)
        return true;
    const char *property = mdb_col_get_prop(&column, "Required");
    return property && std::strcmp(property, "yes") == 0;
}

std::string keyColumns(const MdbTableDef &table, const MdbIndex &index, bool withOrder)
{
    std::string columns;
    for (unsigned j = 0; j < index.num_keys; ++j) {
        columns += (j ? ", " : "") + quotedIdentifier(columnAt(&table, unsigned(index.key_col_num[j] - 1))->name);
        if (withOrder && index.key_col_order[j] == MDB_DESC)
            columns += " DESC";
    }
    return columns;
}

std::string createIndexStatement(const MdbTableDef &table, const MdbIndex &index)
{
    const std::string name = std::string(table.name) + "." + index.name;
    return std::string("CREATE ") + ((index.flags & MDB_IDX_UNIQUE) ? "UNIQUE " : "") + "INDEX "
         + quotedIdentifier(name) + " ON " + quotedIdentifier(table.name) + " (" + keyColumns(table, index, true) + ")";
}

} // namespace

std::string createTableStatement(const MdbTableDef &table, Kind kind, Stage stage)
{
    const MdbIndex *key = primaryKey(table);
    std::string create = "CREATE TABLE " + quotedIdentifier(table.name) + " (";
    for (unsigned i = 0; i < table.num_cols; ++i) {
        const MdbColumn &column = *columnAt(&table, i);
        const std::string type = declaredType(column, kind, stage);
        create += (i ? ", " : "") + quotedIdentifier(column.name) + (type.empty() ? "" : " " + type);
        if (inPrimaryKey(key, i) || (stage == Stage::Described && required(column)))
            create += " NOT NULL";
    }
    if (key)
        create += ", PRIMARY KEY (" + keyColumns(table, *key, false) + ")";
    return create + ")";
}

std::vector<std::string> schemaStatements(const MdbTableDef &table, Kind kind)
{
    std::vector<std::string> statements{createTableStatement(table, kind, Stage::Loading)};
    for (const MdbIndex *index : indexesOf(table)) {
        if (index->index_type != kPrimaryKeyIndex && index->index_type != kRelationshipIndex
            && keysValid(table, *index))
            statements.push_back(createIndexStatement(table, *index));
    }
    return statements;
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
