#include "jet/jet_storage.h"
#include "datetime.h"
#include "jet/jet_header.h"
#include "jet/jet_text.h"
#include "jet/jet_values.h"

#include <mdbtools.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace accessodbc {
namespace {

// A Jet database cannot grow past 2 GB; anything larger is not one.
const off_t kLargestJetFile = off_t(2) << 30;

// The first pages libmdb reads before it finds any table: the header, and the
// definition of the system catalog on page 2.
const size_t kLeastPages = 3;

JetOpenResult failed(OpenFailure kind, const std::string &detail = std::string())
{
    JetOpenResult result;
    result.failure = kind;
    result.detail = detail;
    return result;
}

bool readWholeFile(const std::string &path, std::vector<unsigned char> *bytes, std::string *detail)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *detail = std::strerror(errno);
        return false;
    }
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLargestJetFile;
    if (ok) {
        bytes->resize(size_t(info.st_size));
        size_t done = 0;
        while (ok && done < bytes->size()) {
            const ssize_t got = ::read(fd, bytes->data() + done, bytes->size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            ok = got > 0;
            done += ok ? size_t(got) : 0;
        }
    }
    if (!ok)
        *detail = "the file could not be read whole";
    ::close(fd);
    return ok;
}

struct MdbCloser {
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
using MdbPointer = std::unique_ptr<MdbHandle, MdbCloser>;

struct TableCloser {
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
using TablePointer = std::unique_ptr<MdbTableDef, TableCloser>;

struct SqliteCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using SqlitePointer = std::unique_ptr<sqlite3, SqliteCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using StatementPointer = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

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

// Declared types that give each Jet type its SQLite affinity and, through the driver's
// type mapping, its ODBC type. Currency and Numeric need REAL affinity, so that division
// by a whole number stays exact arithmetic rather than becoming integer division.
std::string declaredType(const MdbColumn &column, jet::Kind kind)
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
        const int characters = kind == jet::Kind::Jet4 ? column.col_size / 2 : column.col_size;
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

MdbColumn *columnAt(MdbTableDef *table, unsigned i)
{
    return static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
}

// A table definition records how many rows the table holds. Fewer found means pages
// are missing (a file cut at a page boundary reads as if those rows never existed),
// and a sync must not take a part of a table for the whole.
bool rowsAllThere(MdbTableDef *table, unsigned found, std::string *detail)
{
    if (found >= table->num_rows)
        return true;
    *detail = std::string("table ") + table->name + " holds " + std::to_string(table->num_rows) + " rows, of which only "
            + std::to_string(found) + " can be read";
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
    TablePointer catalog(mdb_read_table(&entry));
    if (!catalog || !mdb_read_columns(catalog.get())) {
        *detail = "the catalog of tables cannot be read";
        return false;
    }
    return rowsAllThere(catalog.get(), countRows(catalog.get()), detail);
}

class TableCopier {
public:
    TableCopier(MdbHandle *mdb, sqlite3 *db, const jet::Header &header)
        : mdb_(mdb), db_(db), kind_(header.kind), codePage_(header.codePage),
          chunk_(size_t(MDB_PGSIZE) * 2)
    {
    }

    bool copy(MdbCatalogEntry *entry, std::string *detail);

private:
    bool createTable(MdbTableDef *table, std::string *detail);
    bool copyRows(MdbTableDef *table, std::string *detail);
    void bindField(sqlite3_stmt *insert, int parameter, MdbColumn *column, const MdbField &field);
    void bindFixed(sqlite3_stmt *insert, int parameter, int type, const unsigned char *value, int size);
    void bindLongValue(sqlite3_stmt *insert, int parameter, MdbColumn *column, const MdbField &field);
    bool readLongValue(MdbColumn *column, const MdbField &field, std::string *out);
    std::string decodeText(const unsigned char *bytes, size_t length);

    MdbHandle *mdb_;
    sqlite3 *db_;
    jet::Kind kind_;
    jet::CodePageDecoder codePage_;
    std::vector<char> chunk_;
};

bool TableCopier::copy(MdbCatalogEntry *entry, std::string *detail)
{
    TablePointer table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get()) || table->num_cols > MDB_MAX_COLS) {
        *detail = std::string("the definition of table ") + entry->object_name + " is damaged";
        return false;
    }
    return createTable(table.get(), detail) && copyRows(table.get(), detail);
}

bool TableCopier::createTable(MdbTableDef *table, std::string *detail)
{
    std::string sql = "CREATE TABLE " + quotedIdentifier(table->name) + " (";
    for (unsigned i = 0; i < table->num_cols; ++i) {
        MdbColumn *column = columnAt(table, i);
        sql += (i ? ", " : "") + quotedIdentifier(column->name) + " " + declaredType(*column, kind_);
    }
    sql += ")";
    char *message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    *detail = std::string("table ") + table->name + " cannot be copied: " + (message ? message : "");
    sqlite3_free(message);
    return false;
}

bool TableCopier::copyRows(MdbTableDef *table, std::string *detail)
{
    std::string sql = "INSERT INTO " + quotedIdentifier(table->name) + " VALUES (";
    for (unsigned i = 0; i < table->num_cols; ++i)
        sql += i ? ",?" : "?";
    sql += ")";
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        *detail = sqlite3_errmsg(db_);
        return false;
    }
    StatementPointer insert(raw);

    std::vector<MdbField> fields(MDB_MAX_COLS);
    unsigned copied = 0;
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        // mdb_fetch_row leaves the row's page in pg_buf; cracking it again tells a NULL
        // from an empty text, which the values it records do not.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb_, int(table->cur_row) - 1, &start, &size) != 0
            || mdb_crack_row(table, start, size, fields.data()) != int(table->num_cols))
            continue;
        for (unsigned i = 0; i < table->num_cols; ++i)
            bindField(insert.get(), int(i) + 1, columnAt(table, i), fields[i]);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            *detail = sqlite3_errmsg(db_);
            return false;
        }
        sqlite3_reset(insert.get());
        ++copied;
    }
    return rowsAllThere(table, copied, detail);
}

int64_t littleEndian(const unsigned char *bytes, int size)
{
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    // Sign-extend from the field's width.
    const int unused = 64 - 8 * size;
    return unused > 0 ? int64_t(value << unused) >> unused : int64_t(value);
}

int fixedSize(int type)
{
    switch (type) {
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
        return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    case MDB_REPID:
        return 16;
    case MDB_NUMERIC:
        return 17;
    default:
        return 0;
    }
}

void TableCopier::bindField(sqlite3_stmt *insert, int parameter, MdbColumn *column, const MdbField &field)
{
    const auto *value = static_cast<const unsigned char *>(field.value);
    // A Yes/No field has no bytes of its own: its value is its bit in the null mask.
    if (column->col_type == MDB_BOOL) {
        sqlite3_bind_int(insert, parameter, field.is_null ? 0 : 1);
        return;
    }
    if (field.is_null || !value || field.siz < 0) {
        sqlite3_bind_null(insert, parameter);
        return;
    }
    switch (column->col_type) {
    case MDB_TEXT:
        sqlite3_bind_text(insert, parameter, decodeText(value, size_t(field.siz)).c_str(), -1, SQLITE_TRANSIENT);
        return;
    case MDB_MEMO:
    case MDB_OLE:
        bindLongValue(insert, parameter, column, field);
        return;
    case MDB_BINARY:
        sqlite3_bind_blob(insert, parameter, value, field.siz, SQLITE_TRANSIENT);
        return;
    case MDB_NUMERIC: {
        double number = 0;
        char *text = field.siz >= fixedSize(MDB_NUMERIC)
                         ? mdb_numeric_to_string(mdb_, field.start, column->col_scale, column->col_prec)
                         : nullptr;
        if (jet::decimalTextValue(text, &number))
            sqlite3_bind_double(insert, parameter, number);
        else
            sqlite3_bind_null(insert, parameter);
        g_free(text);
        return;
    }
    default:
        bindFixed(insert, parameter, column->col_type, value, field.siz);
    }
}

void TableCopier::bindFixed(sqlite3_stmt *insert, int parameter, int type, const unsigned char *value, int size)
{
    if (fixedSize(type) == 0 || size < fixedSize(type)) {
        sqlite3_bind_null(insert, parameter);
        return;
    }
    switch (type) {
    case MDB_BYTE:
        sqlite3_bind_int(insert, parameter, value[0]);
        return;
    case MDB_INT:
    case MDB_LONGINT:
        sqlite3_bind_int64(insert, parameter, littleEndian(value, fixedSize(type)));
        return;
    case MDB_MONEY:
        sqlite3_bind_double(insert, parameter, jet::currencyValue(littleEndian(value, 8)));
        return;
    case MDB_FLOAT:
        sqlite3_bind_double(insert, parameter, jet::singleValue(mdb_get_single(const_cast<unsigned char *>(value), 0)));
        return;
    case MDB_DOUBLE:
        sqlite3_bind_double(insert, parameter, mdb_get_double(const_cast<unsigned char *>(value), 0));
        return;
    case MDB_DATETIME: {
        const double serial = mdb_get_double(const_cast<unsigned char *>(value), 0);
        DateTime when;
        // Outside Access's range of dates the serial is kept, as the SQLite storage would hold it.
        if (dateTimeFromSerial(serial, &when))
            sqlite3_bind_text(insert, parameter, formatDateTime(when).c_str(), -1, SQLITE_TRANSIENT);
        else
            sqlite3_bind_double(insert, parameter, serial);
        return;
    }
    case MDB_REPID:
        sqlite3_bind_text(insert, parameter, jet::guidText(value).c_str(), -1, SQLITE_TRANSIENT);
        return;
    default:
        sqlite3_bind_null(insert, parameter);
    }
}

void TableCopier::bindLongValue(sqlite3_stmt *insert, int parameter, MdbColumn *column, const MdbField &field)
{
    std::string bytes;
    if (!readLongValue(column, field, &bytes)) {
        sqlite3_bind_null(insert, parameter);
        return;
    }
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    if (column->col_type == MDB_MEMO)
        sqlite3_bind_text(insert, parameter, decodeText(data, bytes.size()).c_str(), -1, SQLITE_TRANSIENT);
    else
        sqlite3_bind_blob(insert, parameter, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
}

// A memo or OLE value: a 12-byte reference in the row, the data in the row itself or in a
// chain of pages. The length the reference declares bounds the reading, so a damaged
// chain that loops back on itself ends instead of growing without limit.
bool TableCopier::readLongValue(MdbColumn *column, const MdbField &field, std::string *out)
{
    if (field.siz < MDB_MEMO_OVERHEAD)
        return false;
    unsigned char reference[MDB_MEMO_OVERHEAD];
    std::memcpy(reference, field.value, sizeof reference);
    const size_t declared = size_t(littleEndian(reference, 4) & 0x00FFFFFF);

    column->cur_value_start = field.start;
    column->cur_value_len = field.siz;
    // libmdb reads each part into the column's bound buffer; binding it only here keeps
    // mdb_fetch_row from converting the column to text on every row.
    column->bind_ptr = chunk_.data();
    size_t got = mdb_ole_read(mdb_, column, reference, chunk_.size());
    while (got > 0 && got <= chunk_.size() && out->size() + got <= declared) {
        out->append(chunk_.data(), got);
        got = mdb_ole_read_next(mdb_, column, reference);
    }
    column->bind_ptr = nullptr;
    return true;
}

std::string TableCopier::decodeText(const unsigned char *bytes, size_t length)
{
    return kind_ == jet::Kind::Jet4 ? jet::decodeJet4Text(bytes, length) : codePage_.decode(bytes, length);
}

std::string fileProblem(const std::vector<unsigned char> &bytes, jet::Kind kind)
{
    const size_t page = jet::pageSize(kind);
    if (bytes.size() < kLeastPages * page)
        return "the file is too short to be a Jet database";
    if (bytes.size() % page != 0)
        return "the file is truncated: its length is not a whole number of pages";
    return std::string();
}

bool copyUserTables(MdbHandle *mdb, sqlite3 *db, const jet::Header &header, std::string *detail)
{
    if (!catalogAllThere(mdb, detail))
        return false;
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        *detail = "the catalog of tables cannot be read";
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

bool execute(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

JetOpenResult openJetFile(const std::string &path, const std::string &password)
{
    std::vector<unsigned char> bytes;
    std::string detail;
    if (!readWholeFile(path, &bytes, &detail))
        return failed(OpenFailure::Unreadable, detail);

    const jet::Kind kind = jet::recognise(bytes.data(), bytes.size());
    if (kind == jet::Kind::Ace)
        return failed(OpenFailure::UnsupportedDatabase, "An Access 2007 or later database (.accdb) cannot be read; "
                                                        "save it in the Access 2002-2003 format (.mdb)");
    if (kind == jet::Kind::NotJet)
        return failed(OpenFailure::UnrecognisedFormat);
    const std::string problem = fileProblem(bytes, kind);
    if (!problem.empty())
        return failed(OpenFailure::UnsupportedDatabase, "The database is damaged: " + problem);

    jet::Header header;
    if (!jet::readHeader(bytes.data(), bytes.size(), kind, &header))
        return failed(OpenFailure::UnsupportedDatabase, "The database header is damaged");
    if (!jet::passwordMatches(header, password))
        return failed(OpenFailure::WrongPassword);

    MdbPointer mdb(mdb_open_buffer(bytes.data(), bytes.size(), MDB_NOFLAGS));
    if (!mdb)
        return failed(OpenFailure::UnsupportedDatabase, "The database cannot be read");

    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    SqlitePointer db(raw);
    if (rc != SQLITE_OK)
        return failed(OpenFailure::OutOfMemory);
    // Large sorts stay in memory too: nothing of the database is written anywhere.
    if (!execute(db.get(), "PRAGMA temp_store = MEMORY") || !execute(db.get(), "BEGIN"))
        return failed(OpenFailure::OutOfMemory);
    if (!copyUserTables(mdb.get(), db.get(), header, &detail))
        return failed(OpenFailure::UnsupportedDatabase, "The database is damaged: " + detail);
    if (!execute(db.get(), "COMMIT"))
        return failed(OpenFailure::OutOfMemory);

    JetOpenResult result;
    result.db = db.release();
    return result;
}

} // namespace accessodbc
