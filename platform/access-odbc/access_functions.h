#pragma once

struct sqlite3;

namespace accessodbc {

// Makes Access's conversion functions callable from SQL on db: CStr, CInt, CLng, CDbl,
// IIf and Nz, under any case of their names.
bool registerAccessFunctions(sqlite3 *db);

} // namespace accessodbc
