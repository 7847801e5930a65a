#include "storage/jet/jet_catalog.h"
#include "storage/jet/jet_long_value.h"
#include "storage/jet/jet_properties.h"
#include "storage/jet/jet_table_reading.h"
#include "storage/jet/jet_text.h"
#include "storage/jet/jet_values.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace accessodbc {
namespace jet {
namespace {

const unsigned long kCatalogPage = 2;
const char kCatalogName[] = "MSysObjects";
const char kQueriesName[] = "MSysQueries";
// MSysObjects' type of a saved query.
const int kQueryObject = 5;
// The flags that mark system and hidden objects, as mdb_is_user_table reads them.
const uint32_t kSystemObject = 0x80000002;
// The Id of a table is its definition page, in the low three bytes.
const uint32_t kPageOfId = 0x00FFFFFF;

struct CatalogColumns {
    int id = -1;
    int name = -1;
    int type = -1;
    int flags = -1;
    int properties = -1;
};

int columnNamed(const MdbTableDef &table, const char *name, int type)
{
    for (unsigned i = 0; i < table.num_cols; ++i) {
        const MdbColumn *column = columnAt(&table, i);
        if (g_ascii_strcasecmp(column->name, name) == 0)
            return column->col_type == type ? int(i) : -1;
    }
    return -1;
}

// A catalog whose columns are missing or of another type is not one.
bool findCatalogColumns(const MdbTableDef &catalog, CatalogColumns *columns)
{
    columns->id = columnNamed(catalog, "Id", MDB_LONGINT);
    columns->name = columnNamed(catalog, "Name", MDB_TEXT);
    columns->type = columnNamed(catalog, "Type", MDB_INT);
    columns->flags = columnNamed(catalog, "Flags", MDB_LONGINT);
    columns->properties = columnNamed(catalog, "LvProp", MDB_OLE);
    return columns->id >= 0 && columns->name >= 0 && columns->type >= 0 && columns->flags >= 0
        && columns->properties >= 0;
}

int64_t integerField(const MdbField &field, int size)
{
    if (field.is_null || !field.value || field.siz < size)
        return 0;
    return littleEndianInteger(static_cast<const unsigned char *>(field.value), size);
}

class CatalogReader {
public:
    CatalogReader(MdbHandle *mdb, const Header &header, SavedQueryObjects *queries)
        : mdb_(mdb), text_(header.kind, header.codePage), longValues_(mdb), queries_(queries)
    {
    }

    bool read(std::string *detail);

private:
    bool addIfUserTable(MdbTableDef *catalog, const MdbField *fields, std::string *detail);
    void noteSavedQueries(const MdbField *fields);
    std::string nameOf(const MdbField &field);
    bool readProperties(MdbTableDef *catalog, const MdbField &field, MdbCatalogEntry *entry, std::string *detail);
    void add(MdbCatalogEntry *entry);

    MdbHandle *mdb_;
    TextDecoder text_;
    LongValueReader longValues_;
    CatalogColumns columns_;
    SavedQueryObjects *queries_;
};

bool CatalogReader::read(std::string *detail)
{
    MdbCatalogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.mdb = mdb_;
    entry.object_type = MDB_TABLE;
    entry.table_pg = kCatalogPage;
    std::snprintf(entry.object_name, sizeof entry.object_name, "%s", kCatalogName);
    TablePointer catalog = readTableDefinition(&entry, detail);
    if (!catalog)
        return false;
    if (!findCatalogColumns(*catalog, &columns_)) {
        *detail = std::string("The definition of table ") + kCatalogName + " is damaged";
        return false;
    }

    std::vector<MdbField> fields(MDB_MAX_COLS);
    unsigned rows = 0;
    mdb_rewind_table(catalog.get());
    while (mdb_fetch_row(catalog.get())) {
        ++rows;
        if (!crackCurrentRow(catalog.get(), fields.data()))
            continue;
        noteSavedQueries(fields.data());
        if (!addIfUserTable(catalog.get(), fields.data(), detail))
            return false;
    }
    return rowsAllThere(*catalog, rows, detail);
}

bool CatalogReader::addIfUserTable(MdbTableDef *catalog, const MdbField *fields, std::string *detail)
{
    const auto flags = uint32_t(integerField(fields[columns_.flags], 4));
    if (integerField(fields[columns_.type], 2) != MDB_TABLE || (flags & kSystemObject) != 0)
        return true;
    const MdbField &name = fields[columns_.name];
    if (name.is_null || !name.value || name.siz <= 0) {
        *detail = damaged("a table in the catalog has no name");
        return false;
    }

    auto *entry = static_cast<MdbCatalogEntry *>(g_malloc0(sizeof(MdbCatalogEntry)));
    entry->mdb = mdb_;
    entry->object_type = MDB_TABLE;
    entry->flags = flags;
    entry->table_pg = uint32_t(integerField(fields[columns_.id], 4)) & kPageOfId;
    std::snprintf(entry->object_name, sizeof entry->object_name, "%s", nameOf(name).c_str());
    // Added first, so that mdb_close frees it whatever follows.
    add(entry);
    return readProperties(catalog, fields[columns_.properties], entry, detail);
}

std::string CatalogReader::nameOf(const MdbField &field)
{
    if (field.is_null || !field.value || field.siz <= 0)
        return std::string();
    return text_.decode(static_cast<const unsigned char *>(field.value), size_t(field.siz));
}

// The saved queries users see (not the hidden ~sq_ ones behind forms and reports), and
// where their rows are.
void CatalogReader::noteSavedQueries(const MdbField *fields)
{
    const int64_t type = integerField(fields[columns_.type], 2);
    const auto flags = uint32_t(integerField(fields[columns_.flags], 4));
    const std::string name = nameOf(fields[columns_.name]);
    const auto id = int32_t(integerField(fields[columns_.id], 4));
    if (type == MDB_TABLE && name == kQueriesName)
        queries_->rowsPage = uint32_t(id) & kPageOfId;
    if (type == kQueryObject && (flags & kSystemObject) == 0 && !name.empty() && name[0] != '~')
        queries_->queries.emplace_back(id, name);
}

bool CatalogReader::readProperties(MdbTableDef *catalog, const MdbField &field, MdbCatalogEntry *entry,
                                   std::string *detail)
{
    std::string block;
    if (field.is_null || !longValues_.read(columnAt(catalog, unsigned(columns_.properties)), field, &block)
        || block.empty())
        return true;
    if (!propertyBlockWalkable(reinterpret_cast<const unsigned char *>(block.data()), block.size())) {
        *detail = damaged(std::string("the properties of table ") + entry->object_name + " cannot be read");
        return false;
    }
    entry->props = mdb_kkd_to_props(mdb_, &block[0], block.size());
    return true;
}

void CatalogReader::add(MdbCatalogEntry *entry)
{
    if (!mdb_->catalog)
        mdb_->catalog = g_ptr_array_new();
    g_ptr_array_add(mdb_->catalog, entry);
    mdb_->num_catalog = mdb_->catalog->len;
}

} // namespace

bool readUserTables(MdbHandle *mdb, const Header &header, SavedQueryObjects *queries, std::string *detail)
{
    return CatalogReader(mdb, header, queries).read(detail);
}

} // namespace jet
} // namespace accessodbc
