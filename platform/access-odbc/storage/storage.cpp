#include "storage/storage.h"
#include "storage/jet/jet_header.h"
#include "storage/jet/jet_storage.h"
#include "storage/sqlite_support.h"
#include "storage/storage_format.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

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

    static void share(Database *database, std::shared_ptr<const void> snapshot,
                      std::shared_ptr<const SnapshotPreparation> preparation)
    {
        database->snapshot_ = std::move(snapshot);
        database->preparation_ = std::move(preparation);
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

// A file is the same as when it was read while it is the same file (device and inode) with
// the same size and modification time.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    time_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;

    bool operator<(const FileIdentity &other) const
    {
        return std::tie(device, inode, size, modifiedSeconds, modifiedNanoseconds)
             < std::tie(other.device, other.inode, other.size, other.modifiedSeconds, other.modifiedNanoseconds);
    }
};

bool identify(const std::string &path, FileIdentity *identity)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return false;
    *identity = {info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    return true;
}

// A Jet file's tables in a named in-memory database with a shared cache: every connection
// opens a handle of its own on it (its own functions, authorizer and statements), while
// the snapshot's own handle keeps the database alive. Closing that last handle frees it.
struct JetSnapshot {
    std::string uri;
    std::unique_ptr<Database> own;
    jet::Header header;
    std::shared_ptr<const SnapshotPreparation> preparation;
};

// The snapshots of this process, by the identity of the file they were read from; an entry
// whose snapshot has gone is dropped at the next connect.
struct SnapshotRegistry {
    std::mutex lock;
    std::map<FileIdentity, std::weak_ptr<const JetSnapshot>> snapshots;
    unsigned long long made = 0;
};

SnapshotRegistry &snapshotRegistry()
{
    static SnapshotRegistry registry;
    return registry;
}

void dropGoneSnapshots(SnapshotRegistry *registry)
{
    for (auto it = registry->snapshots.begin(); it != registry->snapshots.end();)
        it = it->second.expired() ? registry->snapshots.erase(it) : std::next(it);
}

// Named per process and per snapshot, so that a changed file's copy never meets the old one.
std::string snapshotUri(unsigned long long number)
{
    return "file:fernwick-jet-" + std::to_string(getpid()) + "-" + std::to_string(number)
         + "?mode=memory&cache=shared";
}

OpenResult makeSnapshot(const std::string &path, const std::string &password, AccessEngine engine,
                        const PrepareSnapshot &prepare, unsigned long long number,
                        std::shared_ptr<const JetSnapshot> *made)
{
    auto snapshot = std::make_shared<JetSnapshot>();
    snapshot->uri = snapshotUri(number);
    JetOpenResult jet = openJetFile(path, password, engine, snapshot->uri);
    if (jet.failure != OpenFailure::None)
        return failure(jet.failure, jet.detail);
    snapshot->header = jet.header;
    OpenResult ready = readyForStatements(DatabaseOpener::wrap(jet.db, path, std::move(jet.savedQueries)));
    snapshot->own = std::move(ready.database);
    if (prepare) {
        snapshot->preparation = prepare(*snapshot->own);
        if (!snapshot->preparation)
            return failure(OpenFailure::OutOfMemory);
    }
    *made = std::move(snapshot);
    return OpenResult();
}

bool snapshotMadeOf(const std::string &path)
{
    FileIdentity identity;
    if (!identify(path, &identity))
        return false;
    SnapshotRegistry &registry = snapshotRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    const auto found = registry.snapshots.find(identity);
    return found != registry.snapshots.end() && !found->second.expired();
}

// The snapshot of the file as it is now: the one already made of it, or a new one.
OpenResult currentSnapshot(const std::string &path, const std::string &password, AccessEngine engine,
                           const PrepareSnapshot &prepare, std::shared_ptr<const JetSnapshot> *snapshot)
{
    FileIdentity identity;
    if (!identify(path, &identity))
        return failure(OpenFailure::Unreadable);
    SnapshotRegistry &registry = snapshotRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    dropGoneSnapshots(&registry);
    auto found = registry.snapshots.find(identity);
    *snapshot = found == registry.snapshots.end() ? nullptr : found->second.lock();
    if (*snapshot) {
        JetOpenResult admission = admitted((*snapshot)->header, password, engine);
        return admission.failure == OpenFailure::None ? OpenResult() : failure(admission.failure, admission.detail);
    }
    OpenResult result = makeSnapshot(path, password, engine, prepare, ++registry.made, snapshot);
    if (result.failure == OpenFailure::None)
        registry.snapshots[identity] = *snapshot;
    return result;
}

// A handle of the connection's own on the shared snapshot, which it only reads.
OpenResult openOnSnapshot(const std::string &path, std::shared_ptr<const JetSnapshot> snapshot)
{
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(snapshot->uri.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr);
    if (!db)
        return failure(OpenFailure::OutOfMemory);
    std::unique_ptr<Database> database = DatabaseOpener::wrap(db, path, snapshot->own->savedQueries());
    // Large sorts stay in memory; and nothing this handle runs may change what the others read.
    if (rc != SQLITE_OK || !executeSql(db, "PRAGMA temp_store = MEMORY", nullptr)
        || !executeSql(db, "PRAGMA query_only = ON", nullptr))
        return failure(OpenFailure::OutOfMemory);
    std::shared_ptr<const SnapshotPreparation> preparation = snapshot->preparation;
    DatabaseOpener::share(database.get(), std::move(snapshot), std::move(preparation));
    return readyForStatements(std::move(database));
}

OpenResult openJet(const std::string &path, const std::string &password, AccessEngine engine,
                   const PrepareSnapshot &prepare)
{
    std::shared_ptr<const JetSnapshot> snapshot;
    OpenResult result = currentSnapshot(path, password, engine, prepare, &snapshot);
    if (result.failure != OpenFailure::None)
        return result;
    return openOnSnapshot(path, std::move(snapshot));
}

} // namespace

OpenResult openDatabaseFile(const std::string &path, const std::string &password, AccessEngine engine,
                            const PrepareSnapshot &prepare)
{
    // A file already copied is not read again, not even its header.
    const FileFormat format = snapshotMadeOf(path) ? FileFormat::Jet : sniffFormat(path);
    switch (format) {
    case FileFormat::Missing:
        return failure(OpenFailure::FileNotFound);
    case FileFormat::Unreadable:
        return failure(OpenFailure::Unreadable);
    case FileFormat::Unknown:
        return failure(OpenFailure::UnrecognisedFormat);
    case FileFormat::Jet:
        return openJet(path, password, engine, prepare);
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
