#include "storage/storage.h"
#include "storage/jet/jet_header.h"
#include "storage/jet/jet_storage.h"
#include "storage/storage_format.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace accessodbc {
namespace {

enum class FileFormat { Missing, Unreadable, SQLite, SQLiteWal, Jet, Unknown };

FileFormat sniffFormat(const std::string &path)
{
    struct stat info;
    if (path.empty() || stat(path.c_str(), &info) != 0)
        return FileFormat::Missing;
    if (!S_ISREG(info.st_mode))
        return FileFormat::Unreadable;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return FileFormat::Unreadable;
    unsigned char header[jet::kSignatureLength] = {};
    const size_t read = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    if (jet::recognise(header, read) != jet::Kind::NotJet)
        return FileFormat::Jet;
    if (read < 20 || std::memcmp(header, "SQLite format 3", 16) != 0)
        return FileFormat::Unknown;
    // Bytes 18 and 19 are the read and write versions; 2 means write-ahead logging.
    return header[18] == 2 || header[19] == 2 ? FileFormat::SQLiteWal : FileFormat::SQLite;
}

// A file: URI lets us ask for read-only mode, and for WAL files "immutable", which keeps
// SQLite from creating the -shm and -wal files beside the database.
std::string readOnlyUri(const std::string &path, bool immutable)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                        || c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            uri += char(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    uri += "?mode=ro";
    if (immutable)
        uri += "&immutable=1";
    return uri;
}

bool isWriteAction(int action)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
    case SQLITE_PRAGMA:
        return false;
    default:
        return true;
    }
}

OpenResult failure(OpenFailure kind, const std::string &detail = std::string())
{
    OpenResult result;
    result.failure = kind;
    result.detail = detail;
    return result;
}

// A program writing the file holds it locked until its transaction ends; a short wait
// lets a brief write finish before the file counts as in use.
const int kBusyWaitMilliseconds = 1000;

bool lockedByAnother(sqlite3 *db)
{
    const int code = sqlite3_errcode(db);
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

// A file with the right header can still be damaged; reading the schema finds out.
bool schemaReadable(sqlite3 *db, std::string *detail)
{
    char *message = nullptr;
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    *detail = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

} // namespace

struct DatabaseOpener {
    static std::unique_ptr<Database> wrap(sqlite3 *db, const std::string &path,
                                          std::vector<SavedQuery> savedQueries = {})
    {
        return std::unique_ptr<Database>(new Database(db, path, std::move(savedQueries)));
    }
};

Database::~Database()
{
    sqlite3_close_v2(db_);
}

int Database::authorize(void *self, int action, const char *name, const char *, const char *, const char *)
{
    Database *database = static_cast<Database *>(self);
    if (action == SQLITE_READ && name && sqlite3_stricmp(name, kPasswordTable) == 0)
        return SQLITE_DENY;
    // The driver's own catalog SQL reads the schema through pragma functions, which
    // SQLite reports with actions of their own; sqlite3_stmt_readonly still guards it.
    if (database->trusted_)
        return SQLITE_OK;
    if (action == SQLITE_PRAGMA)
        return SQLITE_DENY;
    if (isWriteAction(action)) {
        database->writeRefused_ = true;
        return SQLITE_DENY;
    }
    return SQLITE_OK;
}

namespace {

// What every storage shares once its tables are in an sqlite3 handle: an authorizer that
// lets nothing write. The SQL dialect's functions are the connection's to register.
OpenResult readyForStatements(std::unique_ptr<Database> database)
{
    sqlite3 *db = database->handle();
    sqlite3_extended_result_codes(db, 1);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_set_authorizer(db, &Database::authorize, database.get());

    OpenResult result;
    result.database = std::move(database);
    return result;
}

OpenResult openJet(const std::string &path, const std::string &password, AccessEngine engine)
{
    JetOpenResult jet = openJetFile(path, password, engine);
    if (jet.failure != OpenFailure::None)
        return failure(jet.failure, jet.detail);
    return readyForStatements(DatabaseOpener::wrap(jet.db, path, std::move(jet.savedQueries)));
}

} // namespace

OpenResult openDatabaseFile(const std::string &path, const std::string &password, AccessEngine engine)
{
    const FileFormat format = sniffFormat(path);
    switch (format) {
    case FileFormat::Missing:
        return failure(OpenFailure::FileNotFound);
    case FileFormat::Unreadable:
        return failure(OpenFailure::Unreadable);
    case FileFormat::Unknown:
        return failure(OpenFailure::UnrecognisedFormat);
    case FileFormat::Jet:
        return openJet(path, password, engine);
    case FileFormat::SQLite:
    case FileFormat::SQLiteWal:
        break;
    }

    sqlite3 *db = nullptr;
    const std::string uri = readOnlyUri(path, format == FileFormat::SQLiteWal);
    const int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (!db)
        return failure(OpenFailure::OutOfMemory);
    std::unique_ptr<Database> database = DatabaseOpener::wrap(db, path);
    if (rc != SQLITE_OK)
        return failure(OpenFailure::Unreadable, sqlite3_errmsg(db));

    sqlite3_busy_timeout(db, kBusyWaitMilliseconds);
    std::string detail;
    const bool readable = schemaReadable(db, &detail);
    if (!readable && lockedByAnother(db))
        return failure(OpenFailure::InUse);
    if (!readable)
        return failure(OpenFailure::UnrecognisedFormat, detail);
    switch (checkPassword(db, password)) {
    case PasswordCheck::Accepted:
        break;
    case PasswordCheck::Rejected:
        return failure(OpenFailure::WrongPassword);
    case PasswordCheck::Unreadable:
        return failure(lockedByAnother(db) ? OpenFailure::InUse : OpenFailure::UnrecognisedFormat, sqlite3_errmsg(db));
    }

    return readyForStatements(std::move(database));
}

} // namespace accessodbc
