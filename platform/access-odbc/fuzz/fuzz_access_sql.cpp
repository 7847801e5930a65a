// libFuzzer target for the Access SQL translator: any text is tokenized and translated
// against a small schema; what translates is prepared and run for a bounded number of
// steps. A crash, a sanitizer report or a translated statement that would write is a
// finding.

#include "sql/access_functions.h"
#include "sql/sql_translate.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const char kSchema[] = R"(
CREATE TABLE t (id INTEGER, name TEXT(50), memo LONGTEXT, born DATETIME, price DOUBLE, flag BIT);
INSERT INTO t VALUES (1, '2021-05-30', '12:30', '2021-05-30 08:05:09', 2.5, 1), (2, NULL, 'x', NULL, -1, 0);
CREATE TABLE u (n INTEGER, g TEXT(5));
INSERT INTO u VALUES (1, 'a'), (2, 'A'), (3, 'b');
CREATE TABLE w (k INTEGER, s REAL, b BYTE);
INSERT INTO w VALUES (1, 0.150000005960464477539, 255), (2, NULL, 0);
CREATE VIEW v AS SELECT n, g FROM u WHERE n > 1;
)";

int stopLongQueries(void *) { return 1; }

sqlite3 *dialectDatabase()
{
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    accessodbc::registerAccessFunctions(db);
    sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    sqlite3_progress_handler(db, 100000, stopLongQueries, nullptr);
    return db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static sqlite3 *db = dialectDatabase();
    const std::string text(reinterpret_cast<const char *>(data), size);
    const accessodbc::sql::Translation translation = accessodbc::sql::translate(text, db);
    if (!translation.error.empty())
        return 0;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, translation.sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && stmt) {
        if (!sqlite3_stmt_readonly(stmt))
            std::abort();
        for (int rows = 0; rows < 1000 && sqlite3_step(stmt) == SQLITE_ROW; ++rows) {
        }
    }
    sqlite3_finalize(stmt);
    return 0;
}
