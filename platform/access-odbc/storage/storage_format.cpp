#include "storage/storage_format.h"
#include "storage/sha256.h"
#include "storage/sqlite_support.h"

#include <sqlite3.h>

namespace accessodbc {

const char *const kPasswordTable = "fw_database_password";

namespace {

std::string freshSalt()
{
    unsigned char bytes[16];
    sqlite3_randomness(sizeof bytes, bytes);
    static const char digits[] = "0123456789abcdef";
    std::string salt;
    for (unsigned char byte : bytes) {
        salt += digits[byte >> 4];
        salt += digits[byte & 15];
    }
    return salt;
}

bool hasPasswordTable(sqlite3 *db, bool *present)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1",
                           -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    sqlite3_bind_text(stmt, 1, kPasswordTable, -1, SQLITE_STATIC);
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    *present = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

std::string columnText(sqlite3_stmt *stmt, int column)
{
    const unsigned char *text = sqlite3_column_text(stmt, column);
    return text ? reinterpret_cast<const char *>(text) : std::string();
}

} // namespace

bool storePassword(sqlite3 *db, const std::string &password, std::string *error)
{
    const std::string table = kPasswordTable;
    if (!executeSql(db, "DROP TABLE IF EXISTS " + table, error))
        return false;
    if (password.empty())
        return true;
    if (!executeSql(db, "CREATE TABLE " + table + " (salt TEXT NOT NULL, digest TEXT NOT NULL)", error))
        return false;

    const std::string salt = freshSalt();
    sqlite3_stmt *stmt = nullptr;
    const std::string insert = "INSERT INTO " + table + " (salt, digest) VALUES (?1, ?2)";
    if (sqlite3_prepare_v2(db, insert.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        if (error)
            *error = sqlite3_errmsg(db);
        return false;
    }
    const std::string digest = sha256Hex(salt + password);
    sqlite3_bind_text(stmt, 1, salt.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, digest.c_str(), -1, SQLITE_TRANSIENT);
    const bool stored = sqlite3_step(stmt) == SQLITE_DONE;
    if (!stored && error)
        *error = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    return stored;
}

PasswordCheck checkPassword(sqlite3 *db, const std::string &password)
{
    bool present = false;
    if (!hasPasswordTable(db, &present))
        return PasswordCheck::Unreadable;
    if (!present)
        return PasswordCheck::Accepted;

    sqlite3_stmt *stmt = nullptr;
    const std::string select = std::string("SELECT salt, digest FROM ") + kPasswordTable;
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return PasswordCheck::Unreadable;
    // A table without a row is a password that was never completed: nothing can match it.
    PasswordCheck verdict = PasswordCheck::Rejected;
    if (sqlite3_step(stmt) == SQLITE_ROW
        && sha256Hex(columnText(stmt, 0) + password) == columnText(stmt, 1))
        verdict = PasswordCheck::Accepted;
    sqlite3_finalize(stmt);
    return verdict;
}

} // namespace accessodbc
