#include "storage/jet/jet_table_reading.h"

namespace accessodbc {
namespace jet {
namespace {

// Access allows 32 indexes to a table. mdb_read_indices takes each index's row count from
// the definition page at a place its number gives, and allocates an index for each one
// counted before it finds the list cut short; a count far past any real one reads past
// the page.
const unsigned kMostIndexes = 256;

// What mdb_fetch_row, mdb_crack_row and mdb_read_indices take for granted of a definition
// libmdb has read: a usage map to find the table's data pages (libmdb leaves it out when
// the row it points to is missing, and then reads address 0), as many columns as the
// definition counts, no more than a row can hold, and a count of indexes a table can have.
bool definitionUsable(const MdbTableDef &table)
{
    return table.usage_map && table.map_sz > 0 && table.columns && table.columns->len == table.num_cols
        && table.num_cols <= MDB_MAX_COLS && table.num_idxs <= kMostIndexes && table.num_real_idxs <= kMostIndexes;
}

// The top bits of a row's offset on its page are flags (deleted, moved); libmdb clears
// them before it reads the row, and so must anything that reads it again.
const int kRowOffsetMask = 0x1fff;

} // namespace

std::string damaged(const std::string &what)
{
    return "The database is damaged: " + what;
}

TablePointer readTableDefinition(MdbCatalogEntry *entry, std::string *detail)
{
    TablePointer table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get()) || !definitionUsable(*table)) {
        *detail = std::string("The definition of table ") + entry->object_name + " is damaged";
        return nullptr;
    }
    return table;
}

bool crackCurrentRow(MdbTableDef *table, MdbField *fields)
{
    int start = 0;
    size_t size = 0;
    return mdb_find_row(table->entry->mdb, int(table->cur_row) - 1, &start, &size) == 0
        && mdb_crack_row(table, start & kRowOffsetMask, size, fields) == int(table->num_cols);
}

bool rowsAllThere(const MdbTableDef &table, unsigned found, std::string *detail)
{
    if (found >= table.num_rows)
        return true;
    *detail = damaged(std::string("table ") + table.name + " holds " + std::to_string(table.num_rows)
                      + " rows, of which only " + std::to_string(found) + " can be read");
    return false;
}

} // namespace jet
} // namespace accessodbc
