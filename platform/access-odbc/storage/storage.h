#pragma once

// The storage behind a connection: a database file becomes an sqlite3 handle that only
// reads. Files are told apart by their header, never by their extension, so that other
// formats can be opened here later behind the same call.

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace accessodbc {

// A saved query of the database, as Access SQL; the ODBC layer offers it as a view.
struct SavedQuery {
    std::string name;
    std::string statement;  // empty for an action query or one that cannot be read
    bool action = false;    // it changes the database (make-table, append, update, delete, ...)
    std::string unreadable; // why its parts make no statement, when they do not
};

// What the connection layer makes once of a database a Jet file was copied into (the saved
// queries as views, and the reasons of those that cannot run), which every later connection
// to the unchanged file shares.
struct SnapshotPreparation {
    virtual ~SnapshotPreparation() = default;
};

class Database;
using PrepareSnapshot = std::function<std::shared_ptr<const SnapshotPreparation>(Database &snapshot)>;

class Database {
public:
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    sqlite3 *handle() const { return db_; }
    const std::string &path() const { return path_; }
    const std::vector<SavedQuery> &savedQueries() const { return savedQueries_; }
    // For a Jet file, what was made of the snapshot this handle reads; null otherwise.
    const SnapshotPreparation *preparation() const { return preparation_.get(); }

    // Catalog queries read the schema through pragmas that application statements may not use.
    // Like the rest of a Database, not synchronised: whoever owns it calls it from one
    // thread at a time (the ODBC layer, under its connection's lock).
    void setTrusted(bool trusted) { trusted_ = trusted; }

    // Set when the last statement prepared was refused because it would write.
    bool writeRefused() const { return writeRefused_; }
    void clearWriteRefused() { writeRefused_ = false; }

    // SQLite's authorizer callback: lets reads through and refuses anything that would write.
    static int authorize(void *self, int action, const char *name, const char *, const char *, const char *);

private:
    friend struct DatabaseOpener;
    Database(sqlite3 *db, std::string path, std::vector<SavedQuery> savedQueries)
        : db_(db), path_(std::move(path)), savedQueries_(std::move(savedQueries))
    {
    }
    sqlite3 *db_;
    std::string path_;
    std::vector<SavedQuery> savedQueries_;
    // The shared snapshot this handle reads, kept as long as the handle is open.
    std::shared_ptr<const void> snapshot_;
    std::shared_ptr<const SnapshotPreparation> preparation_;
    bool trusted_ = false;
    bool writeRefused_ = false;
};

// UnsupportedDatabase: a database file the driver knows but cannot read (an .accdb, a
// damaged .mdb); the detail says which. InUse: another program holds the file locked
// while it writes, for longer than the driver waits.
enum class OpenFailure { None, FileNotFound, Unreadable, UnrecognisedFormat, UnsupportedDatabase, WrongPassword, InUse, OutOfMemory };

struct OpenResult {
    std::unique_ptr<Database> database;
    OpenFailure failure = OpenFailure::None;
    std::string detail;
};

// The Access driver's name a connection came in under: the Jet driver reads .mdb files
// only, the ACE driver .accdb files of Access 2007 and later as well.
enum class AccessEngine { Jet, Ace };

// A Jet file is copied into memory once for all connections to it while it stays the same
// file with the same size and modification time, checked at every connect: prepare runs on
// that copy once, before any connection reads it. A changed file gets a copy of its own;
// connections to the old one go on reading it, and a copy's memory goes when the last
// connection to it closes. Connects that make a copy take turns.
OpenResult openDatabaseFile(const std::string &path, const std::string &password,
                            AccessEngine engine = AccessEngine::Jet, const PrepareSnapshot &prepare = PrepareSnapshot());

} // namespace accessodbc
