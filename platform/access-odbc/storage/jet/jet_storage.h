#pragma once

// Jet 3 and Jet 4 databases (.mdb): read whole with libmdb and copied into an in-memory
// SQLite database, on which the same Access SQL runs as on the SQLite storage.

#include "storage/jet/jet_header.h"
#include "storage/storage.h"

#include <string>
#include <vector>

struct sqlite3;

namespace accessodbc {

struct JetOpenResult {
    sqlite3 *db = nullptr; // owned by the caller on success
    OpenFailure failure = OpenFailure::None;
    std::string detail;
    std::vector<SavedQuery> savedQueries;
    jet::Header header; // what a later connection to the same file is admitted by
};

// A database only this process can reach, private to one handle.
constexpr char kPrivateDatabase[] = ":memory:";

// For files whose header jet::recognise() takes for a Jet or ACE one; an ACE file only
// under the ACE driver's name. The file is read once into memory; libmdb never sees its
// path, so it cannot write to it or beside it. The tables go into the in-memory database
// the SQLite URI names (a named one with a shared cache can be opened again by other
// handles while the returned one stays open).
JetOpenResult openJetFile(const std::string &path, const std::string &password, AccessEngine engine,
                          const std::string &databaseUri);

// Whether a connection under that name and password may read a file with that header:
// the checks a connection to a file already read makes again.
JetOpenResult admitted(const jet::Header &header, const std::string &password, AccessEngine engine);

// The same for a file already in memory; libmdb reads the bytes in place.
JetOpenResult openJetImage(std::vector<unsigned char> &bytes, const std::string &password,
                           AccessEngine engine = AccessEngine::Jet);

} // namespace accessodbc
