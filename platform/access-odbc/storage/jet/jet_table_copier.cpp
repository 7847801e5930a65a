#include "storage/jet/jet_table_copier.h"
#include "storage/jet/jet_catalog.h"
#include "storage/jet/jet_schema.h"
#include "storage/jet/jet_table_reading.h"

#include <vector>

namespace accessodbc {
namespace jet {

bool copyUserTables(MdbHandle *mdb, sqlite3 *db, const Header &header, SavedQueryObjects *queries,
                    std::string *detail)
{
    if (!readUserTables(mdb, header, queries, detail))
        return false;
    TableCopier copier(mdb, db, header);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        if (!copier.copy(static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i)), detail))
            return false;
    }
    return true;
}

TableCopier::TableCopier(MdbHandle *mdb, sqlite3 *db, const Header &header)
    : db_(db), kind_(header.kind), binder_(mdb, header)
{
}

bool TableCopier::copy(MdbCatalogEntry *entry, std::string *detail)
{
    TablePointer table = readDefinition(entry, detail);
    return table && createTable(*table, detail) && copyRows(table.get(), detail) && describeTable(*table, detail);
}

// The definition with its indexes, which give the table its primary key and indexes.
TablePointer TableCopier::readDefinition(MdbCatalogEntry *entry, std::string *detail)
{
    TablePointer table = readTableDefinition(entry, detail);
    if (table)
        mdb_read_indices(table.get());
    return table;
}

bool TableCopier::createTable(const MdbTableDef &table, std::string *detail)
{
    for (const std::string &sql : schemaStatements(table, kind_)) {
        std::string error;
        if (!executeSql(db_, sql, &error)) {
            *detail = damaged(std::string("table ") + table.name + " cannot be copied: " + error);
            return false;
        }
    }
    return true;
}

// The definition SQL and the catalog functions see replaces the one the rows were copied
// into. The two differ only in declared types and NOT NULL, which SQLite reads from the
// recorded definition and never checks against rows already stored.
bool TableCopier::describeTable(const MdbTableDef &table, std::string *detail)
{
    const std::string described = createTableStatement(table, kind_, Stage::Described);
    if (described == createTableStatement(table, kind_, Stage::Loading))
        return true;
    // The loader's own database: statements are defended once it is handed over.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 0, nullptr);
    std::string error;
    const bool replaced =
        executeSql(db_, "PRAGMA writable_schema = ON", &error) && replaceDefinition(table.name, described, &error);
    // RESET turns writing to the schema off again and reloads it from the replaced text.
    const bool reloaded = executeSql(db_, "PRAGMA writable_schema = RESET", &error);
    if (replaced && reloaded)
        return true;
    *detail = damaged(std::string("table ") + table.name + " cannot be copied: " + error);
    return false;
}

bool TableCopier::replaceDefinition(const char *name, const std::string &sql, std::string *error)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db_, "UPDATE sqlite_schema SET sql = ?1 WHERE type = 'table' AND name = ?2", -1, &raw,
                           nullptr) != SQLITE_OK) {
        *error = sqlite3_errmsg(db_);
        return false;
    }
    StatementPointer update(raw);
    sqlite3_bind_text(raw, 1, sql.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, 2, name, -1, SQLITE_TRANSIENT);
    if (sqlite3_step(raw) == SQLITE_DONE)
        return true;
    *error = sqlite3_errmsg(db_);
    return false;
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
