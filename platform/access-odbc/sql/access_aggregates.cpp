// First and Last: the value of the first and of the last row an aggregate sees, Null
// included, in the order the rows are read (a table's own order when nothing sorts them).

#include "sql/access_function_support.h"

namespace accessodbc {
namespace {

struct Kept {
    sqlite3_value *value;
    bool seen;
};

Kept *keptOf(sqlite3_context *context, bool create)
{
    return static_cast<Kept *>(sqlite3_aggregate_context(context, create ? int(sizeof(Kept)) : 0));
}

void keep(sqlite3_context *context, sqlite3_value *value, bool replace)
{
    Kept *kept = keptOf(context, true);
    if (!kept) {
        sqlite3_result_error_nomem(context);
        return;
    }
    if (kept->seen && !replace)
        return;
    sqlite3_value *copy = sqlite3_value_dup(value);
    if (!copy) {
        sqlite3_result_error_nomem(context);
        return;
    }
    sqlite3_value_free(kept->value);
    kept->value = copy;
    kept->seen = true;
}

void firstStep(sqlite3_context *context, int, sqlite3_value **argv) { keep(context, argv[0], false); }

void lastStep(sqlite3_context *context, int, sqlite3_value **argv) { keep(context, argv[0], true); }

void finish(sqlite3_context *context)
{
    Kept *kept = keptOf(context, false);
    if (!kept || !kept->seen) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_value(context, kept->value);
    sqlite3_value_free(kept->value);
    kept->value = nullptr;
}

} // namespace

bool registerAggregateFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | SQLITE_DETERMINISTIC;
    return sqlite3_create_function(db, "fw_first", 1, flags, nullptr, nullptr, firstStep, finish) == SQLITE_OK
           && sqlite3_create_function(db, "fw_last", 1, flags, nullptr, nullptr, lastStep, finish) == SQLITE_OK;
}

} // namespace accessodbc
