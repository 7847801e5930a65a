#include "jet/jet_table_copier.h"
#include "jet/jet_schema.h"

#include <cstring>
#include <vector>

namespace accessodbc {
namespace jet {
namespace {

// Each detail is a sentence of the refusal that follows the file's name.
std::string damaged(const std::string &what)
{
    return "The database is damaged: " + what;
}

std::string damagedDefinition(const char *name)
{
    return std::string("The definition of table ") + name + " is damaged";
}

// What mdb_fetch_row and mdb_crack_row take for granted of a definition libmdb has read:
// a usage map to find the table's data pages (libmdb leaves it out when the row it
// points to is missing, and then reads address 0), and as many columns as the
// definition counts, no more than a row can hold.
bool definitionUsable(const MdbTableDef &table)
{
    return table.usage_map && table.map_sz > 0 && table.columns && table.columns->len == table.num_cols
        && table.num_cols <= MDB_MAX_COLS;
}

TablePointer readTableDefinition(MdbCatalogEntry *entry, std::string *detail)
{
    TablePointer table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get()) || !definitionUsable(*table)) {
        *detail = damagedDefinition(entry->object_name);
        return nullptr;
    }
    return table;
}

// A table definition records how many rows the table holds. Fewer found means pages
// are missing (a file cut at a page boundary reads as if those rows never existed),
// and a sync must not take a part of a table for the whole.
bool rowsAllThere(const MdbTableDef &table, unsigned found, std::string *detail)
{
    if (found >= table.num_rows)
        return true;
    *detail = damaged(std::string("table ") + table.name + " holds " + std::to_string(table.num_rows)
                      + " rows, of which only " + std::to_string(found) + " can be read");
    return false;
}

unsigned countRows(MdbTableDef *table)
{
    unsigned rows = 0;
    mdb_rewind_table(table);
    while (mdb_fetch_row(table))
        ++rows;
    return rows;
}

// The catalog itself is a table, MSysObjects on page 2; checked like the others, it
// tells whether any table is missing from the list libmdb reads.
bool catalogAllThere(MdbHandle *mdb, std::string *detail)
{
    MdbCatalogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = 2;
    std::strcpy(entry.object_name, "MSysObjects");
    TablePointer catalog = readTableDefinition(&entry, detail);
    return catalog && rowsAllThere(*catalog, countRows(catalog.get()), detail);
}

bool execute(sqlite3 *db, const std::string &sql, std::string *error)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    *error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

} // namespace

bool copyUserTables(MdbHandle *mdb, sqlite3 *db, const Header &header, std::string *detail)
{
    if (!catalogAllThere(mdb, detail))
        return false;
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        *detail = damaged("the catalog of tables cannot be read");
        return false;
    }
    TableCopier copier(mdb, db, header);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        if (!copier.copy(entry, detail))
            return false;
    }
    return true;
}

TableCopier::TableCopier(MdbHandle *mdb, sqlite3 *db, const Header &header)
    : mdb_(mdb), db_(db), kind_(header.kind), binder_(mdb, header)
{
}

bool TableCopier::copy(MdbCatalogEntry *entry, std::string *detail)
{
    TablePointer table = readTableDefinition(entry, detail);
    return table && createTable(*table, detail) && copyRows(table.get(), detail);
}

bool TableCopier::createTable(const MdbTableDef &table, std::string *detail)
{
    for (const std::string &sql : schemaStatements(table, kind_)) {
        std::string error;
        if (!execute(db_, sql, &error)) {
            *detail = damaged(std::string("table ") + table.name + " cannot be copied: " + error);
            return false;
        }
    }
    return true;
}

bool TableCopier::copyRows(MdbTableDef *table, std::string *detail)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db_, insertStatement(*table).c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        *detail = damaged(sqlite3_errmsg(db_));
        return false;
    }
    StatementPointer insert(raw);

    std::vector<MdbField> fields(MDB_MAX_COLS);
    unsigned copied = 0;
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        if (!crackCurrentRow(table, fields.data()))
            continue;
        if (!insertRow(insert.get(), table, fields.data(), detail))
            return false;
        ++copied;
    }
    return rowsAllThere(*table, copied, detail);
}

// mdb_fetch_row leaves the row's page in pg_buf; cracking it again tells a NULL from an
// empty text, which the values it records do not.
bool TableCopier::crackCurrentRow(MdbTableDef *table, MdbField *fields)
{
    int start = 0;
    size_t size = 0;
    return mdb_find_row(mdb_, int(table->cur_row) - 1, &start, &size) == 0
        && mdb_crack_row(table, start, size, fields) == int(table->num_cols);
}

bool TableCopier::insertRow(sqlite3_stmt *insert, MdbTableDef *table, const MdbField *fields, std::string *detail)
{
    for (unsigned i = 0; i < table->num_cols; ++i)
        binder_.bind(insert, int(i) + 1, columnAt(table, i), fields[i]);
    const bool inserted = sqlite3_step(insert) == SQLITE_DONE;
    if (!inserted)
        *detail = damaged(sqlite3_errmsg(db_));
    sqlite3_reset(insert);
    return inserted;
}

} // namespace jet
} // namespace accessodbc
