#pragma once

// Copies the user tables of an open Jet database into an SQLite database, table by
// table: read the definition, create the table, copy every row, check none is missing.

#include "storage/jet/jet_catalog.h"
#include "storage/jet/jet_field_binder.h"
#include "storage/jet/jet_handles.h"
#include "storage/jet/jet_header.h"

#include <string>

namespace accessodbc {
namespace jet {

// Every user table the catalog lists; queries gets the saved queries it lists. The detail
// says, as a sentence, what stopped the copy.
bool copyUserTables(MdbHandle *mdb, sqlite3 *db, const Header &header, SavedQueryObjects *queries,
                    std::string *detail);

class TableCopier {
public:
    TableCopier(MdbHandle *mdb, sqlite3 *db, const Header &header);

    bool copy(MdbCatalogEntry *entry, std::string *detail);

private:
    TablePointer readDefinition(MdbCatalogEntry *entry, std::string *detail);
    bool createTable(const MdbTableDef &table, std::string *detail);
    bool copyRows(MdbTableDef *table, std::string *detail);
    bool describeTable(const MdbTableDef &table, std::string *detail);
    bool replaceDefinition(const char *name, const std::string &sql, std::string *error);
    bool insertRow(sqlite3_stmt *insert, MdbTableDef *table, const MdbField *fields, std::string *detail);

    sqlite3 *db_;
    Kind kind_;
    FieldBinder binder_;
};

} // namespace jet
} // namespace accessodbc
