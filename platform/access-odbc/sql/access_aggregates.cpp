// First and Last: the value of the first and of the last row an aggregate sees, Null
// included, in the table's own scan order. SQLite may read a table through an index that
// covers the argument (Products by ProductName), so the rows come with the rowids of the
// FROM clause's tables and the value kept is the one of the lowest (First) or highest
// (Last) rowids, compared table by table; without rowids, the order the rows are read.

#include "sql/access_function_support.h"

#include "values/numbers.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace accessodbc {
namespace {

struct Kept {
    sqlite3_value *value;
    std::vector<sqlite3_int64> *rowids;
    bool seen;
};

Kept *keptOf(sqlite3_context *context, bool create)
{
    return static_cast<Kept *>(sqlite3_aggregate_context(context, create ? int(sizeof(Kept)) : 0));
}

// The missing side of an outer join has no rowid; it counts as the lowest.
std::vector<sqlite3_int64> rowidsOf(int argc, sqlite3_value **argv)
{
    std::vector<sqlite3_int64> rowids;
    for (int i = 1; i < argc; ++i)
        rowids.push_back(isNull(argv[i]) ? std::numeric_limits<sqlite3_int64>::min() : sqlite3_value_int64(argv[i]));
    return rowids;
}

bool replaces(const Kept &kept, const std::vector<sqlite3_int64> &rowids, bool last)
{
    if (!kept.seen)
        return true;
    return last ? rowids >= *kept.rowids : rowids < *kept.rowids;
}

void keep(sqlite3_context *context, int argc, sqlite3_value **argv, bool last)
{
    Kept *kept = keptOf(context, true);
    if (!kept) {
        sqlite3_result_error_nomem(context);
        return;
    }
    std::vector<sqlite3_int64> rowids = rowidsOf(argc, argv);
    if (!replaces(*kept, rowids, last))
        return;
    sqlite3_value *copy = sqlite3_value_dup(argv[0]);
    if (!copy) {
        sqlite3_result_error_nomem(context);
        return;
    }
    sqlite3_value_free(kept->value);
    kept->value = copy;
    if (!kept->rowids)
        kept->rowids = new std::vector<sqlite3_int64>;
    kept->rowids->swap(rowids);
    kept->seen = true;
}

void firstStep(sqlite3_context *context, int argc, sqlite3_value **argv) { keep(context, argc, argv, false); }

void lastStep(sqlite3_context *context, int argc, sqlite3_value **argv) { keep(context, argc, argv, true); }

// SQLite also calls this when a statement is reset before its aggregate finished, so it
// is where what was kept is freed.
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
    delete kept->rowids;
    kept->rowids = nullptr;
}

// StDev, StDevP, Var and VarP over the values that are not Null, by Welford's running
// mean, which keeps its precision where a sum of squares would not.
struct Spread {
    sqlite3_int64 count;
    double mean;
    double squares; // the sum of squared distances from the mean
};

enum SpreadKind { SampleVariance, PopulationVariance, SampleDeviation, PopulationDeviation };

void spreadStep(sqlite3_context *context, int, sqlite3_value **argv)
{
    Spread *spread = static_cast<Spread *>(sqlite3_aggregate_context(context, int(sizeof(Spread))));
    if (!spread) {
        sqlite3_result_error_nomem(context);
        return;
    }
    // A value that is no number sets the error, which ends the statement.
    Number number;
    if (isNull(argv[0]) || !numericArgument(context, argv[0], &number))
        return;
    const double x = number.asDouble();
    ++spread->count;
    const double delta = x - spread->mean;
    spread->mean += delta / double(spread->count);
    spread->squares += delta * (x - spread->mean);
}

// A sample needs two values and a population one; with fewer the answer is Null.
void spreadFinish(sqlite3_context *context)
{
    const Spread *spread = static_cast<Spread *>(sqlite3_aggregate_context(context, 0));
    const auto kind = SpreadKind(reinterpret_cast<intptr_t>(sqlite3_user_data(context)));
    const bool sample = kind == SampleVariance || kind == SampleDeviation;
    if (!spread || spread->count < (sample ? 2 : 1)) {
        sqlite3_result_null(context);
        return;
    }
    const double variance = spread->squares / double(sample ? spread->count - 1 : spread->count);
    const bool deviation = kind == SampleDeviation || kind == PopulationDeviation;
    sqlite3_result_double(context, deviation ? std::sqrt(variance) : variance);
}

} // namespace

bool registerAggregateFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | SQLITE_DETERMINISTIC;
    const struct {
        const char *name;
        SpreadKind kind;
    } spreads[] = {{"fw_var", SampleVariance}, {"fw_varp", PopulationVariance}, {"fw_stdev", SampleDeviation},
                   {"fw_stdevp", PopulationDeviation}};
    bool ok = sqlite3_create_function(db, "fw_first", -1, flags, nullptr, nullptr, firstStep, finish) == SQLITE_OK
              && sqlite3_create_function(db, "fw_last", -1, flags, nullptr, nullptr, lastStep, finish) == SQLITE_OK;
    for (const auto &spread : spreads) {
        void *kind = reinterpret_cast<void *>(intptr_t(spread.kind));
        ok = ok && sqlite3_create_function(db, spread.name, 1, flags, kind, nullptr, spreadStep, spreadFinish) == SQLITE_OK;
    }
    return ok;
}

} // namespace accessodbc
