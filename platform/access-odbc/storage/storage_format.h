#pragma once

// How a guard-tour database file in the stand-in's format carries its password.
// Shared by the driver, which checks it, and by the fixture library, which writes it.

#include <string>

struct sqlite3;

namespace accessodbc {

// One row (salt, digest): digest is the SHA-256 of salt followed by the password, both
// as hexadecimal text. A database without this table has no password.
extern const char *const kPasswordTable;

// Sets the password of a writable database; an empty password removes it.
bool storePassword(sqlite3 *db, const std::string &password, std::string *error);

enum class PasswordCheck { Accepted, Rejected, Unreadable };

PasswordCheck checkPassword(sqlite3 *db, const std::string &password);

} // namespace accessodbc
