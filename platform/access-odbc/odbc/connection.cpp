#include "odbc/connection.h"
#include "odbc/catalog.h"
#include "odbc/connection_string.h"
#include "odbc/statement.h"
#include "sql/access_errors.h"
#include "sql/access_functions.h"
#include "storage/sqlite_support.h"
#include "values/sql_names.h"

#include "fernwick_driver_names.h"

#include <odbcinst.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <strings.h>
#include <sys/stat.h>

namespace accessodbc {

namespace {

std::string attribute(const ConnectionAttributes &attributes, const char *key)
{
    const auto found = attributes.find(key);
    return found == attributes.end() ? std::string() : found->second;
}

// A DSN supplies the settings the connection string leaves out.
void addDsnSettings(ConnectionAttributes *attributes, const std::string &dsn)
{
    for (const char *key : {"DBQ", "PWD", "DRIVER"}) {
        if (attributes->count(key))
            continue;
        char value[4096] = {};
        if (SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, "odbc.ini") > 0)
            (*attributes)[key] = value;
    }
}

// Under Wine, a Windows program names its files by drive letter ("Z:\srv\site.mdb"), and Wine
// maps each letter to a folder through the links in its prefix's dosdevices. A path on a drive
// that the prefix maps is opened in that folder; any other path as it is.
std::string pathUnderWine(const std::string &path)
{
    if (path.size() < 3 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':'
        || (path[2] != '\\' && path[2] != '/'))
        return path;
    const char *prefix = std::getenv("WINEPREFIX");
    const char *home = std::getenv("HOME");
    const std::string prefixFolder = prefix && *prefix ? prefix : std::string(home ? home : "") + "/.wine";
    const std::string drive = prefixFolder + "/dosdevices/" + char(std::tolower(static_cast<unsigned char>(path[0]))) + ':';
    struct stat folder = {};
    if (::stat(drive.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return path;
    std::string rest = path.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return drive + rest;
}

// A refusal followed by what the storage said about it, as a sentence of its own.
SQLRETURN withDetail(Diagnostics *diag, AccessError error, const std::string &path, const std::string &detail)
{
    const AccessErrorEntry &entry = accessError(error);
    const std::string text = accessErrorText(error, path) + (detail.empty() ? std::string() : " " + detail + ".");
    return diag->error(entry.sqlState, text, entry.nativeError);
}

SQLRETURN reportOpenFailure(Connection *connection, const OpenResult &result, const std::string &path)
{
    Diagnostics &diag = connection->diag;
    switch (result.failure) {
    case OpenFailure::FileNotFound:
        return diag.error(AccessError::FileNotFound, path);
    case OpenFailure::Unreadable:
        return withDetail(&diag, AccessError::CannotOpen, path, result.detail);
    case OpenFailure::UnrecognisedFormat:
        return diag.error(AccessError::UnrecognizedFormat, path);
    case OpenFailure::UnsupportedDatabase:
        return withDetail(&diag, AccessError::UnrecognizedFormat, path, result.detail);
    case OpenFailure::InUse:
        return diag.error(AccessError::FileInUse, path);
    case OpenFailure::WrongPassword:
        return diag.error(AccessError::WrongPassword);
    case OpenFailure::OutOfMemory:
        return diag.error("HY001", "Memory allocation error.");
    case OpenFailure::None:
        break;
    }
    return SQL_SUCCESS;
}

// The storage hands over a bare SQLite handle; the statements run on it speak Access SQL,
// whose functions come from the dialect, and the catalog calls read the schema through
// functions of their own.
bool registerSqlFunctions(sqlite3 *db)
{
    allowCancelling(db);
    return registerAccessFunctions(db) && registerCatalogFunctions(db);
}

bool createView(sqlite3 *db, const std::string &name, const std::vector<std::string> &columns, const std::string &body)
{
    std::string list;
    for (const std::string &column : columns)
        list += (list.empty() ? "" : ", ") + quotedIdentifier(column);
    return executeSql(db, "CREATE VIEW " + quotedIdentifier(name) + (list.empty() ? "" : " (" + list + ")") + " AS " + body,
                      nullptr);
}

// The saved queries of a Jet file's snapshot that are listed but cannot run, made once for
// every connection to it.
struct RefusedSavedQueries : SnapshotPreparation {
    sql::Refusals refusals;
};

// A saved query that cannot run is listed all the same, as a view without rows; a
// statement that names it gets the reason.
void refuseSavedQuery(Database &database, sql::Refusals *refused, const std::string &name, const sql::Refusal &refusal)
{
    refused->emplace_back(name, refusal);
    createView(database.handle(), name, {}, "SELECT NULL AS Expr1000 WHERE 0");
}

sql::Refusal refusal(AccessError error, const std::string &argument = std::string())
{
    return sql::Refusal{accessErrorText(error, argument), accessError(error).sqlState, accessError(error).nativeError};
}

sql::Refusal refusalOf(const SavedQuery &query)
{
    if (query.action)
        return refusal(AccessError::ReadOnly);
    return sql::Refusal{"The saved query '" + query.name + "' cannot be read: " + query.unreadable + ".", "HY000",
                        accessError(AccessError::QueryRefused).nativeError};
}

// Whether the statement names another saved query that is not a view yet.
bool waitsForAnother(const sql::Translation &translation, const std::vector<const SavedQuery *> &pending)
{
    return translation.state == "42S02"
           && std::any_of(pending.begin(), pending.end(), [&translation](const SavedQuery *other) {
                  return translation.error.find("'" + other->name + "'") != std::string::npos;
              });
}

void offerSavedQuery(Database &database, sql::Refusals *refused, const SavedQuery &query,
                     const sql::Translation &translation)
{
    sqlite3 *db = database.handle();
    if (!translation.error.empty())
        refuseSavedQuery(database, refused, query.name,
                         sql::Refusal{translation.error, translation.state, translation.nativeError});
    else if (!translation.parameterColumns.empty())
        refuseSavedQuery(database, refused, query.name,
                         refusal(AccessError::TooFewParameters, std::to_string(translation.parameterColumns.size())));
    else if (!createView(db, query.name, translation.columnNames, translation.sql))
        refuseSavedQuery(database, refused, query.name,
                         sql::Refusal{sqlite3_errmsg(db) + std::string("."), "HY000",
                                      accessError(AccessError::QueryRefused).nativeError});
}

// Saved queries become views, each translated as a statement is. One that reads another
// waits until that one is made, so the rounds go on while any is made; what still waits
// then reads a query that cannot be made, and is refused with that one's reason.
void offerSavedQueries(Database &database, sql::Refusals *refused)
{
    sqlite3 *db = database.handle();
    std::vector<const SavedQuery *> pending;
    database.setTrusted(true);
    for (const SavedQuery &query : database.savedQueries()) {
        if (query.statement.empty())
            refuseSavedQuery(database, refused, query.name, refusalOf(query));
        else
            pending.push_back(&query);
    }
    for (bool madeAny = true; madeAny && !pending.empty();) {
        madeAny = false;
        for (auto it = pending.begin(); it != pending.end();) {
            const sql::Translation translation = sql::translate((*it)->statement, db, {}, *refused);
            if (waitsForAnother(translation, pending)) {
                ++it;
                continue;
            }
            offerSavedQuery(database, refused, **it, translation);
            it = pending.erase(it);
            madeAny = true;
        }
    }
    for (const SavedQuery *query : pending)
        offerSavedQuery(database, refused, *query, sql::translate(query->statement, db, {}, *refused));
    database.setTrusted(false);
}

// Run once on a Jet file's snapshot, before any connection reads it: its views need the
// dialect's functions to be made.
std::shared_ptr<const SnapshotPreparation> prepareSnapshot(Database &snapshot)
{
    if (!registerSqlFunctions(snapshot.handle()))
        return nullptr;
    auto refused = std::make_shared<RefusedSavedQueries>();
    offerSavedQueries(snapshot, &refused->refusals);
    return refused;
}

sql::Refusals refusedQueriesOf(const Database &database)
{
    const auto *refused = static_cast<const RefusedSavedQueries *>(database.preparation());
    return refused ? refused->refusals : sql::Refusals();
}

// The driver manager passes the name the application asked for on to the driver.
AccessEngine engineNamed(const std::string &driver)
{
    return strcasecmp(driver.c_str(), accessdriver::aceName) == 0 ? AccessEngine::Ace : AccessEngine::Jet;
}

SQLRETURN openWith(Connection *connection, const ConnectionAttributes &attributes)
{
    if (connection->connected())
        return connection->diag.error("08002", "Connection name in use.");
    const std::string path = attribute(attributes, "DBQ");
    OpenResult result = openDatabaseFile(pathUnderWine(path), attribute(attributes, "PWD"),
                                         engineNamed(attribute(attributes, "DRIVER")), prepareSnapshot);
    if (result.failure != OpenFailure::None)
        return reportOpenFailure(connection, result, path);
    if (!registerSqlFunctions(result.database->handle()))
        return connection->diag.error("HY001", "Memory allocation error.");
    connection->refusedQueries = refusedQueriesOf(*result.database);
    connection->database = std::move(result.database);
    ++connection->environment->connectionCount;
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN connectWithString(Connection *connection, const std::string &connectionString)
{
    ConnectionAttributes attributes;
    std::string error;
    if (!parseConnectionString(connectionString, &attributes, &error))
        return connection->diag.error("08001", "Invalid connection string: " + error);
    const std::string dsn = attribute(attributes, "DSN");
    if (!dsn.empty())
        addDsnSettings(&attributes, dsn);
    const SQLRETURN rc = openWith(connection, attributes);
    if (rc == SQL_SUCCESS)
        connection->connectionString = connectionString;
    return rc;
}

SQLRETURN connectWithDsn(Connection *connection, const std::string &dsn, const std::string &password)
{
    ConnectionAttributes attributes;
    if (!password.empty())
        attributes["PWD"] = password;
    addDsnSettings(&attributes, dsn);
    const SQLRETURN rc = openWith(connection, attributes);
    if (rc == SQL_SUCCESS)
        connection->connectionString = "DSN=" + dsn;
    return rc;
}

SQLRETURN disconnect(Connection *connection)
{
    if (!connection->connected())
        return connection->diag.error("08003", "Connection not open.");
    // Statements die with their connection, as ODBC has it.
    while (!connection->statements.empty())
        freeStatement(connection->statements.back());
    connection->database.reset();
    connection->refusedQueries.clear();
    connection->connectionString.clear();
    --connection->environment->connectionCount;
    return SQL_SUCCESS;
}

SQLRETURN setConnectionAttribute(Connection *connection, SQLINTEGER attribute, SQLPOINTER value)
{
    const SQLUINTEGER number = SQLUINTEGER(reinterpret_cast<uintptr_t>(value));
    switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT:
        connection->autocommit = number;
        return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT:
        connection->loginTimeout = number;
        return SQL_SUCCESS;
    case SQL_ATTR_ACCESS_MODE:
        if (number != SQL_MODE_READ_ONLY) {
            connection->diag.warning("01S02", "Option value changed: the database is always read-only.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    default:
        // Settings that mean nothing to a read-only file driver (timeouts, tracing,
        // packet size, the driver manager's own hints) are accepted and ignored.
        return SQL_SUCCESS;
    }
}

SQLRETURN getConnectionAttribute(Connection *connection, SQLINTEGER attribute, ConnectionAttributeValue *out)
{
    switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT:
        out->number = connection->autocommit;
        return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT:
        out->number = connection->loginTimeout;
        return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT:
        out->number = 0;
        return SQL_SUCCESS;
    case SQL_ATTR_ACCESS_MODE:
        out->number = SQL_MODE_READ_ONLY;
        return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_DEAD:
        out->number = connection->connected() ? SQL_CD_FALSE : SQL_CD_TRUE;
        return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION:
        out->number = SQL_TXN_READ_COMMITTED;
        return SQL_SUCCESS;
    case SQL_ATTR_CURRENT_CATALOG:
        out->isText = true;
        out->text = connection->connected() ? connection->database->path() : std::string();
        return SQL_SUCCESS;
    default:
        return connection->diag.error("HY092", "Invalid attribute/option identifier.");
    }
}

} // namespace accessodbc
